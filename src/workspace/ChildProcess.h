#pragma once

#include <windows.h>

#include <string>

// A program started through the shell and waited for without a time limit.
struct ChildProcess {
    std::wstring program;    // the file to open; passed as its own item, so it needs no quoting
    std::wstring parameters; // the argument text, exactly as given
    bool minimised = false;  // minimised without activation, or the default show state
    DWORD startError = 0;    // the system's error code of a start that failed, if it gave one

    // Starts the program and returns its process handle, or null; the caller owns the handle.
    HANDLE Start();
    // True when the child was started and has ended, with its exit code; false with
    // 0xFFFFFFFF when it was not started.
    bool RunAndWait(DWORD& exitCode);
};
