#include "SystemLibrary.h"

#include <stdexcept>
#include <string>

void RestrictLibrarySearch() {
    // Windows 7 has SetDefaultDllDirectories only with its KB2533623 update.
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    FARPROC address = kernel ? GetProcAddress(kernel, "SetDefaultDllDirectories") : nullptr;
    if (address) {
        reinterpret_cast<SetDefaultDllDirectoriesFunction>(reinterpret_cast<void*>(address))(
            LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
    // Takes the current directory out of the search where the call above is missing.
    SetDllDirectoryW(L"");
}

UniqueLibrary LoadSystemLibrary(const wchar_t* name) {
    UniqueLibrary library(LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    if (!library && GetLastError() == ERROR_INVALID_PARAMETER) {
        // Without the search flags, name the file in the system directory in full.
        wchar_t system[MAX_PATH] = {};
        const UINT length = GetSystemDirectoryW(system, MAX_PATH);
        if (length > 0 && length < MAX_PATH) {
            const std::wstring path = std::wstring(system) + L"\\" + name;
            library.reset(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
        }
    }
    if (!library) {
        throw std::runtime_error("LoadLibrary failed");
    }
    return library;
}
