#include "app/DllSearch.h"

#include <windows.h>

void RestrictDllSearchToSystemDirectory() {
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const auto setDefaultDllDirectories = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (setDefaultDllDirectories) {
        setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
}
