#include "workspace/ChildProcess.h"

#include <shellapi.h>

#include "common/UniqueHandle.h"
#include "log/Logger.h"

HANDLE ChildProcess::Start() {
    SHELLEXECUTEINFOW request{};
    request.cbSize = sizeof(request);
    // Return the process handle, and show no error dialog of the shell's own.
    request.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    request.hwnd = nullptr;
    request.lpVerb = L"open";
    request.lpFile = program.c_str();
    request.lpParameters = parameters.c_str();
    request.lpDirectory = nullptr;
    request.nShow = minimised ? SW_SHOWMINNOACTIVE : SW_SHOWDEFAULT;

    Logger << L"Trying to start process: " << program << L" " << parameters << std::endl;
    const BOOL started = ShellExecuteExW(&request);
    startError = started ? 0 : GetLastError();
    Logger << L"  Succeeded: " << static_cast<int>(started != FALSE) << std::endl;
    return request.hProcess;
}

bool ChildProcess::RunAndWait(DWORD& exitCode) {
    exitCode = 0xFFFFFFFF;
    UniqueKernelHandle process(Start());
    if (!process) {
        return false;
    }
    Logger << L"Waiting for process to finish..." << std::endl;
    WaitForSingleObject(process.get(), INFINITE);
    GetExitCodeProcess(process.get(), &exitCode);
    process.reset();
    Logger << L"  Exit code: " << static_cast<int>(exitCode) << std::endl;
    return true;
}
