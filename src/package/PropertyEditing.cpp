#include "package/PropertyEditing.h"

#include <stdexcept>

MsiHandle OpenPackageDatabase(const std::wstring& path) {
    const WindowsInstaller* msi = GetWindowsInstaller();
    MSIHANDLE database = 0;
    if (!msi || msi->OpenDatabase(path.c_str(), MSIDBOPEN_DIRECT, &database) != ERROR_SUCCESS) {
        throw std::runtime_error("MsiOpenDatabase failed");
    }
    return MsiHandle(database);
}

MsiHandle OpenPropertyView(const MsiHandle& database) {
    const WindowsInstaller* msi = GetWindowsInstaller();
    MSIHANDLE handle = 0;
    if (msi->DatabaseOpenView(database.get(), L"SELECT * FROM `Property`", &handle) !=
        ERROR_SUCCESS) {
        throw std::runtime_error("MsiDatabaseOpenView failed");
    }
    MsiHandle view(handle);
    if (msi->ViewExecute(view.get(), 0) != ERROR_SUCCESS) {
        throw std::runtime_error("MsiViewExecute failed");
    }
    return view;
}

void SetProperty(MSIHANDLE view, const std::wstring& name, const std::wstring& value) {
    const WindowsInstaller* msi = GetWindowsInstaller();
    // A failure to make or fill the record shows as a failure of the modify below.
    const MsiHandle record(msi->CreateRecord(2));
    msi->RecordSetString(record.get(), 1, name.c_str());
    msi->RecordSetString(record.get(), 2, value.c_str());
    if (msi->ViewModify(view, MSIMODIFY_INSERT, record.get()) != ERROR_SUCCESS &&
        msi->ViewModify(view, MSIMODIFY_ASSIGN, record.get()) != ERROR_SUCCESS) {
        throw std::runtime_error("MsiViewModify failed");
    }
}

void CommitDatabase(const MsiHandle& database) {
    if (GetWindowsInstaller()->DatabaseCommit(database.get()) != ERROR_SUCCESS) {
        throw std::runtime_error("MsiDatabaseCommit failed");
    }
}
