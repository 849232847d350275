// Exits with the code given as its first argument (decimal or 0x hexadecimal), or with the
// show state it was started with when that argument is "show", and writes its argument
// text to the file named by the environment variable EXIT_WITH_RECORD.
#include <windows.h>

#include <cstdlib>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    wchar_t record[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"EXIT_WITH_RECORD", record, MAX_PATH)) {
        HANDLE file = CreateFileW(record, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            const wchar_t* line = GetCommandLineW();
            DWORD written = 0;
            WriteFile(file, line, static_cast<DWORD>(wcslen(line) * sizeof(wchar_t)), &written,
                      nullptr);
            CloseHandle(file);
        }
    }
    if (argc > 1 && wcscmp(argv[1], L"show") == 0) {
        STARTUPINFOW startup{};
        GetStartupInfoW(&startup);
        ExitProcess(startup.wShowWindow);
    }
    ExitProcess(argc > 1 ? static_cast<UINT>(std::wcstoul(argv[1], nullptr, 0)) : 0);
}
