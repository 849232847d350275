#pragma once

#include "Driver.h"
#include "TestFiles.h"

#include <windows.h>

#include <string>
#include <vector>

// Driving what package creation opens and starts, from outside the bootstrapper.

// The process's result dialog, waited for: the progress window of a slow run has the same
// caption.
HWND WaitForResult(DWORD processId);

// Waits for the process's save dialog, types the path into its file name box and presses
// Save. Returns false when no save dialog appeared.
bool ChooseSaveFile(DWORD processId, const std::wstring& path);

// A visible message box of the process whose text contains the text, waited for up to
// the time; null when none appeared.
HWND WaitForBoxWithText(DWORD processId, const std::wstring& text, DWORD milliseconds = 20000);

// The ids of the running processes started by the parent whose program has the file name
// (compared without case).
std::vector<DWORD> ChildProcesses(DWORD parentId, const std::wstring& fileName);

// Ends a process that a test caused to be started.
void EndProcess(DWORD processId);

// The command lines of the host's processes, as Wine hands them to the host (arguments
// joined by blanks, quotes removed), that contain the text. Under Wine this is the only
// view of another process's command line, which Windows' own calls do not give here.
std::vector<std::wstring> HostCommandLinesContaining(const std::wstring& text);

// One run of a bootstrapper variant (a program of the build, named without ".exe" and
// relative to the build's programs, or the full path of a copy) with a temporary directory of its
// own, so that its workspace and log can be found. It is also the current directory, where the save
// dialog opens (Wine's cannot show the build directory on drive Z:, and would then accept no file).
struct SetupRun {
    SetupRun(const std::wstring& variant, const std::wstring& arguments)
        : setup(variant.find(L':') != std::wstring::npos ? variant
                                                         : BinDirectory() + variant + L".exe",
                arguments, TempAt(temp.path()), temp.path()) {}

    // The run's dialog with the caption, waited for.
    HWND Window(const std::wstring& caption) const {
        return WaitForWindow(setup.id(), L"#32770", caption);
    }
    HWND Result() const { return WaitForResult(setup.id()); }
    // The workspace's log, or how many workspaces there are when not exactly one.
    std::wstring Log() const;

    TempDir temp{L"pkg"};
    Launched setup;
};
