#include "package/WindowsInstaller.h"

#include <optional>

#include "common/SystemPaths.h"

namespace {

template <typename Function> bool Resolve(HMODULE library, const char* name, Function& function) {
    // Through a plain function pointer type, which the compiler accepts as a cast target.
    function =
        reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
    return function != nullptr;
}

std::optional<WindowsInstaller> Load() {
    HMODULE library = LoadLibraryW(SystemDirectoryFile(L"msi.dll").c_str());
    if (!library) {
        return std::nullopt;
    }
    WindowsInstaller api{};
    const bool complete = Resolve(library, "MsiOpenDatabaseW", api.OpenDatabase) &&
                          Resolve(library, "MsiDatabaseOpenViewW", api.DatabaseOpenView) &&
                          Resolve(library, "MsiViewExecute", api.ViewExecute) &&
                          Resolve(library, "MsiCreateRecord", api.CreateRecord) &&
                          Resolve(library, "MsiRecordSetStringW", api.RecordSetString) &&
                          Resolve(library, "MsiViewModify", api.ViewModify) &&
                          Resolve(library, "MsiDatabaseCommit", api.DatabaseCommit) &&
                          Resolve(library, "MsiCloseHandle", api.CloseHandle);
    if (!complete) {
        FreeLibrary(library);
        return std::nullopt;
    }
    return api;
}

} // namespace

WindowsInstaller* GetWindowsInstaller() {
    static std::optional<WindowsInstaller> api = Load();
    return api ? &*api : nullptr;
}
