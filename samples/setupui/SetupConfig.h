#pragma once

#include <string>

// What the setup UI's configuration file ("<program>.config" beside it) names. The file is
// a small XML document in the shape of an application configuration:
//   <configuration><appSettings>
//     <add key="Package" value="Orvanta.msi" />
//     <add key="LogFile" value="OrvantaInstall.log" />
//   </appSettings></configuration>
struct SetupConfig {
    std::wstring package; // a file name beside the program
    std::wstring logFile; // a file name beside the program, for the installer's log
};

// Parses the configuration text (UTF-8, with or without a byte order mark). Raises
// std::runtime_error when it is not well formed, names no package, or names a file
// anywhere else than beside the program.
SetupConfig ParseSetupConfig(const std::string& text);

// Reads and parses the file; raises std::runtime_error when it cannot be read or is over
// 64 KiB.
SetupConfig ReadSetupConfig(const std::wstring& path);
