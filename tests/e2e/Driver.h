#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "Controls.h"
#include "common/UniqueHandle.h"
#include "TestFiles.h"

// Starts a program of the build as a separate process, with chosen environment variables
// replaced, so that the tests can find its windows, press its buttons and read its full
// 32-bit exit code.
class Launched {
  public:
    Launched(const std::wstring& program, const std::wstring& arguments,
             const std::map<std::wstring, std::wstring>& environment = {},
             const std::wstring& currentDirectory = {});
    Launched(const Launched&) = delete;
    Launched& operator=(const Launched&) = delete;
    // A process still running when the test ends is killed.
    ~Launched();

    DWORD id() const { return processId_; }
    // Waits for the process to end; returns false when it is still running after the time.
    bool Wait(DWORD milliseconds);
    // The exit code once ended; fails the test when the process does not end in time.
    DWORD ExitCode(DWORD milliseconds = 60000);
    // How many processes the run has had: the program and every process it started,
    // directly or through another, whether still running or not.
    DWORD ProcessesStarted() const;
    // Waits until the program and every process it started have ended.
    bool WaitForEveryProcess(DWORD milliseconds = 60000);
    // Ends the program by force, as the Task Manager does, or the program and every process
    // it started, and waits until they have ended.
    bool Kill(bool everyProcess = false);

  private:
    HANDLE process_ = nullptr;
    DWORD processId_ = 0;
    // Every process the program starts joins its job, which reports to the port when the
    // last of them has ended.
    UniqueKernelHandle job_;
    UniqueKernelHandle jobEvents_;
};

// Whether the name is a link: Wine shows a Unix link to a directory as a reparse point.
bool IsDirectoryLink(const std::wstring& path);

// Runs a Unix command in the folder, as Wine's process start does for a Unix program (it
// gives no handle to wait on), and waits until the name in the folder is a link or not.
// Wine's CreateSymbolicLinkW makes nothing.
bool RunUnixUntil(const std::wstring& folder, const std::wstring& program, std::wstring commandLine,
                  const std::wstring& name, bool linked);

// msiexec from the system directory, run to its end (two minutes at most); its full exit
// code.
DWORD Msiexec(const std::wstring& arguments);

// A program of the build, from the directory of the running test.
std::wstring BuiltProgram(const std::wstring& name);

// Writes a copy of the bootstrapper with one byte changed in the middle of its "BIN"
// resource id, as a broken download or a failing medium would leave it.
void WriteDamagedCopy(const std::wstring& program, uint16_t id, const std::wstring& copy);

// A top-level window of the class (and, when given, the caption) owned by the process,
// waited for up to the time; null when none appeared.
HWND WaitForWindow(DWORD processId, const std::wstring& className, const std::wstring& caption = {},
                   DWORD milliseconds = 20000);
// A visible top-level window of the process (of any process for 0) that the predicate
// accepts, waited for up to the time; null when none appeared.
HWND WaitForWindowWhere(DWORD processId, const std::function<bool(HWND)>& matches,
                        DWORD milliseconds = 20000);
std::wstring WindowClass(HWND window);
std::wstring WindowText(HWND window);
// The message text of a message box (its static control 0xFFFF).
std::wstring MessageBoxText(HWND box);
// The ids of the push buttons of a dialog or message box, in creation order.
std::vector<int> ButtonIds(HWND dialog);

// The style bits of a message box's icon, compared by the system icon it shows:
// MB_ICONINFORMATION, MB_ICONERROR, MB_ICONWARNING, MB_ICONQUESTION or 0.
UINT MessageBoxIcon(HWND box);
