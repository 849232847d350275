#include "PackageFiles.h"

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
    TestMsiHandle database;
    if (MsiOpenDatabaseW(path.c_str(), MSIDBOPEN_READONLY, &database.value) != ERROR_SUCCESS) {
        throw std::runtime_error("not a package");
    }
    TestMsiHandle view;
    if (MsiDatabaseOpenViewW(database.value, L"SELECT `Property`, `Value` FROM `Property`",
                             &view.value) != ERROR_SUCCESS ||
        MsiViewExecute(view.value, 0) != ERROR_SUCCESS) {
        throw std::runtime_error("no Property table");
    }
    std::multimap<std::wstring, std::wstring> rows;
    for (;;) {
        TestMsiHandle record;
        if (MsiViewFetch(view.value, &record.value) != ERROR_SUCCESS) {
            break;
        }
        rows.emplace(Field(record.value, 1), Field(record.value, 2));
    }
    return rows;
}

std::wstring PackageProperty(const std::wstring& path, const std::wstring& name) {
    const auto rows = ReadPropertyTable(path);
    const auto row = rows.find(name);
    return row == rows.end() ? std::wstring() : row->second;
}
