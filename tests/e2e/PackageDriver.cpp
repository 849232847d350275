#include "PackageDriver.h"

#include "resources/ResourceIds.h"

#include "Driver.h"
#include "TestFiles.h"

#include <tlhelp32.h>

HWND WaitForResult(DWORD processId) {
    return WaitForWindowWhere(processId, [](HWND window) {
        return WindowText(window) == kResult && GetDlgItem(window, IDC_SHOW_IN_EXPLORER);
    });
}

bool ChooseSaveFile(DWORD processId, const std::wstring& path) {
    HWND saveAs = WaitForWindow(processId, L"#32770", L"Save As");
    if (!saveAs) {
        return false;
    }
    ChooseFile(saveAs, path);
    return true;
}

HWND WaitForBoxWithText(DWORD processId, const std::wstring& text, DWORD milliseconds) {
    return WaitForWindowWhere(
        processId,
        [&text](HWND window) {
            return WindowClass(window) == L"#32770" &&
                   MessageBoxText(window).find(text) != std::wstring::npos;
        },
        milliseconds);
}

std::vector<DWORD> ChildProcesses(DWORD parentId, const std::wstring& fileName) {
    std::vector<DWORD> children;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return children;
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ParentProcessID == parentId &&
            _wcsicmp(entry.szExeFile, fileName.c_str()) == 0) {
            children.push_back(entry.th32ProcessID);
        }
    }
    CloseHandle(snapshot);
    return children;
}

void EndProcess(DWORD processId) {
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId);
    if (process) {
        TerminateProcess(process, 0);
        WaitForSingleObject(process, 5000);
        CloseHandle(process);
    }
}

std::vector<std::wstring> HostCommandLinesContaining(const std::wstring& text) {
    std::vector<std::wstring> found;
    WIN32_FIND_DATAW entry{};
    HANDLE search = FindFirstFileW(L"Z:\\proc\\*", &entry);
    if (search == INVALID_HANDLE_VALUE) {
        return found;
    }
    do {
        const std::wstring name = entry.cFileName;
        if (name.empty() || name.find_first_not_of(L"0123456789") != std::wstring::npos) {
            continue;
        }
        std::string bytes;
        try {
            bytes = ReadBytes(L"Z:\\proc\\" + name + L"\\cmdline");
        } catch (const std::exception&) {
            continue; // the process has ended meanwhile
        }
        for (char& c : bytes) {
            c = c ? c : ' ';
        }
        const std::wstring commandLine = Utf8ToWide(bytes);
        if (commandLine.find(text) != std::wstring::npos) {
            found.push_back(commandLine);
        }
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return found;
}

std::wstring SetupRun::Log() const {
    const std::wstring parent = temp / L"OrvantaSetup\\";
    const std::vector<std::wstring> workspaces = ListDirectory(parent);
    return workspaces.size() == 1 ? Utf8ToWide(ReadBytes(parent + workspaces[0] + L"\\Setup.log"))
                                  : L"(" + std::to_wstring(workspaces.size()) + L" workspaces)";
}
