#include "PackageFiles.h"

#include "package/WindowsInstaller.h"

#include <windows.h>
#include <msiquery.h>

#include <stdexcept>
#include <vector>

namespace {

std::wstring Field(MSIHANDLE record, UINT field) {
    DWORD size = 0;
    wchar_t empty[1] = {};
    MsiRecordGetStringW(record, field, empty, &size);
    std::vector<wchar_t> text(size + 1);
    size = static_cast<DWORD>(text.size());
    MsiRecordGetStringW(record, field, text.data(), &size);
    return std::wstring(text.data(), size);
}

} // namespace

std::multimap<std::wstring, std::wstring> ReadPropertyTable(const std::wstring& path) {
    MSIHANDLE handle = 0;
    if (MsiOpenDatabaseW(path.c_str(), MSIDBOPEN_READONLY, &handle) != ERROR_SUCCESS) {
        throw std::runtime_error("not a package");
    }
    const MsiHandle database(handle);
    if (MsiDatabaseOpenViewW(database.get(), L"SELECT `Property`, `Value` FROM `Property`",
                             &handle) != ERROR_SUCCESS) {
        throw std::runtime_error("no Property table");
    }
    const MsiHandle view(handle);
    if (MsiViewExecute(view.get(), 0) != ERROR_SUCCESS) {
        throw std::runtime_error("no Property table");
    }
    std::multimap<std::wstring, std::wstring> rows;
    while (MsiViewFetch(view.get(), &handle) == ERROR_SUCCESS) {
        const MsiHandle record(handle);
        rows.emplace(Field(record.get(), 1), Field(record.get(), 2));
    }
    return rows;
}

std::wstring PackageProperty(const std::wstring& path, const std::wstring& name) {
    const auto rows = ReadPropertyTable(path);
    const auto row = rows.find(name);
    return row == rows.end() ? std::wstring() : row->second;
}
