#pragma once

#include <windows.h>
#include <msi.h>

#include <map>
#include <string>

// Every row of an installer package's Property table, name to value. A name that the
// table holds twice appears twice. Raises when the file cannot be read as a package.
std::multimap<std::wstring, std::wstring> ReadPropertyTable(const std::wstring& path);

// One value of the package's Property table; empty when the row is missing.
std::wstring PackageProperty(const std::wstring& path, const std::wstring& name);
