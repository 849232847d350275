#pragma once

#include <string>

enum class RunMode { Install = 0, Extract = 1, Defaults = 2 };

struct CommandLineOptions {
    bool showHelp = false;
    RunMode mode = RunMode::Install;
};

// Splits the argument text at blanks only (no quoting) and matches each piece exactly:
// the last of /extract and /defaults wins, and /help, /? or any unknown piece asks for help.
CommandLineOptions ParseCommandLine(const std::wstring& arguments);

// The list of switches shown for /help: five lines, each ended by a line feed.
std::wstring GetHelpText();
