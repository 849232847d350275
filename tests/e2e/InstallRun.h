#pragma once

#include "Driver.h"
#include "log/Logger.h"
#include "TestFiles.h"

#include <memory>
#include <sstream>
#include <string>
#include <vector>

// One run of a bootstrapper variant with its own temporary directory; the stand-ins it
// starts record themselves in a file of the run.
class InstallRun {
  public:
    explicit InstallRun(const std::wstring& program, DWORD setupUiExitCode = 0,
                        const std::wstring& currentDirectory = {},
                        const std::wstring& setupUiHold = {}) {
        auto environment = TempAt(temp.path());
        environment[L"STANDIN_RECORD"] = record;
        environment[L"STANDIN_EXIT_CODE"] = std::to_wstring(setupUiExitCode);
        environment[L"STANDIN_HOLD"] = setupUiHold;
        process = std::make_unique<Launched>(program, L"", environment, currentDirectory);
    }

    std::wstring Workspace() const {
        const std::vector<std::wstring> runs = ListDirectory(temp / L"OrvantaSetup");
        return runs.size() == 1 ? temp / (L"OrvantaSetup\\" + runs[0] + L"\\") : std::wstring();
    }
    std::string Log() const { return ReadBytes(Workspace() + L"Setup.log"); }
    // One entry per started stand-in: path, argument text and the names beside it.
    std::vector<std::vector<std::wstring>> Started() const {
        std::vector<std::vector<std::wstring>> lines;
        if (!FileExists(record)) {
            return lines;
        }
        std::wstringstream all(Utf8ToWide(ReadBytes(record)));
        for (std::wstring line; std::getline(all, line);) {
            std::vector<std::wstring> fields;
            std::wstringstream parts(line);
            for (std::wstring field; std::getline(parts, field, L'\t');) {
                fields.push_back(field);
            }
            lines.push_back(fields);
        }
        return lines;
    }

    TempDir temp{L"install"};
    const std::wstring record = temp / L"started.txt";
    std::unique_ptr<Launched> process;
};

// The log of an install run whose setup UI ended with the code.
inline std::string ExpectedLog(const std::wstring& program, const std::wstring& workspace,
                               int exitCode) {
    return "ExeImage: module path is " + WideToUtf8(program) + "\n" +
           "Trying to start process: " + WideToUtf8(workspace) + "SetupUI.exe /log=true\n" +
           "  Succeeded: 1\nWaiting for process to finish...\n  Exit code: " +
           std::to_string(exitCode) + "\n";
}
