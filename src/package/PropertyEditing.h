#pragma once

#include <string>

#include "package/WindowsInstaller.h"

// Editing the Property table of an installer package. Each step raises its own error
// text; the handles obtained so far close as the error propagates.

// Opens the package for direct reading and writing. Raises "MsiOpenDatabase failed".
MsiHandle OpenPackageDatabase(const std::wstring& path);

// Opens and executes the view on the Property table. Raises "MsiDatabaseOpenView failed"
// or "MsiViewExecute failed".
MsiHandle OpenPropertyView(const MsiHandle& database);

// Adds the property, or gives an existing one the new value. Raises "MsiViewModify failed".
void SetProperty(MSIHANDLE view, const std::wstring& name, const std::wstring& value);

// Raises "MsiDatabaseCommit failed".
void CommitDatabase(const MsiHandle& database);
