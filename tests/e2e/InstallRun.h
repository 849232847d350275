#pragma once

#include "Driver.h"
#include "common/UniqueHandle.h"
#include "log/Logger.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

// The one directory in the parent that is not among the earlier ones, ending in a
// backslash; empty when there is not exactly one.
inline std::wstring NewDirectory(const std::wstring& parent,
                                 const std::vector<std::wstring>& earlier) {
    std::vector<std::wstring> made;
    for (const std::wstring& name : ListDirectory(parent)) {
        if (std::find(earlier.begin(), earlier.end(), name) == earlier.end()) {
            made.push_back(name);
        }
    }
    return made.size() == 1 ? parent + made[0] + L"\\" : std::wstring();
}

// One run of a bootstrapper variant with its own temporary directory (in the parent given,
// or in this process's), or with that of an earlier run beside which it runs; the stand-ins it
// starts record themselves in a file of that directory.
class InstallRun {
  public:
    explicit InstallRun(const std::wstring& program, DWORD setupUiExitCode = 0,
                        const std::wstring& currentDirectory = {},
                        const std::wstring& setupUiHold = {}, const InstallRun* besides = nullptr,
                        const std::wstring& tempParent = {})
        : temp(besides ? besides->temp : std::make_shared<TempDir>(L"install", tempParent)) {
        auto environment = TempAt(temp->path());
        environment[L"STANDIN_RECORD"] = record;
        environment[L"STANDIN_EXIT_CODE"] = std::to_wstring(setupUiExitCode);
        environment[L"STANDIN_HOLD"] = setupUiHold;
        process = std::make_unique<Launched>(program, L"", environment, currentDirectory);
    }

    // Asked before a later run beside this one has made its own.
    std::wstring Workspace() const { return NewDirectory(*temp / L"OrvantaSetup\\", earlier); }
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

    std::shared_ptr<TempDir> temp;
    const std::wstring record = *temp / L"started.txt";
    // The workspaces of the runs before this one.
    const std::vector<std::wstring> earlier = ListDirectory(*temp / L"OrvantaSetup");
    std::unique_ptr<Launched> process;
};

// A stand-in setup UI started with the name says that it has started and then waits until
// it is let go, at the latest when this goes.
class SetupUiHold {
  public:
    explicit SetupUiHold(const std::wstring& label)
        : name(L"OrvantaStandInHold" + std::to_wstring(GetCurrentProcessId()) + label),
          release_(CreateEventW(nullptr, TRUE, FALSE, name.c_str())),
          started_(CreateEventW(nullptr, TRUE, FALSE, (name + L"-started").c_str())) {}
    SetupUiHold(const SetupUiHold&) = delete;
    SetupUiHold& operator=(const SetupUiHold&) = delete;
    ~SetupUiHold() { Release(); }

    bool Started(DWORD milliseconds = 60000) const {
        return release_ && started_ &&
               WaitForSingleObject(started_.get(), milliseconds) == WAIT_OBJECT_0;
    }
    void Release() const { SetEvent(release_.get()); }

    const std::wstring name;

  private:
    UniqueKernelHandle release_;
    UniqueKernelHandle started_;
};

// The log of an install run whose setup UI ended with the code.
inline std::string ExpectedLog(const std::wstring& program, const std::wstring& workspace,
                               int exitCode) {
    return "ExeImage: module path is " + WideToUtf8(program) + "\n" +
           "Trying to start process: " + WideToUtf8(workspace) + "SetupUI.exe /log=true\n" +
           "  Succeeded: 1\nWaiting for process to finish...\n  Exit code: " +
           std::to_string(exitCode) + "\n";
}

// A copy of a file, removed again at the end of the scope. A copy that stays (in the
// system directory of the prefix, say) would change every later run, so failing to remove
// it fails the test; a program started from it may still be ending.
class PlacedCopy {
  public:
    PlacedCopy(const std::wstring& from, const std::wstring& to) : path_(to) {
        EXPECT_TRUE(CopyFileW(from.c_str(), to.c_str(), FALSE)) << GetLastError();
    }
    ~PlacedCopy() {
        DWORD error = ERROR_SUCCESS;
        const bool removed = WaitUntil([&] {
            if (DeleteFileW(path_.c_str())) {
                return true;
            }
            error = GetLastError();
            return error == ERROR_FILE_NOT_FOUND;
        });
        if (!removed) {
            ADD_FAILURE() << "cannot remove " << testing::PrintToString(path_) << ": " << error;
        }
    }

  private:
    std::wstring path_;
};
