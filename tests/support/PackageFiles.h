#pragma once

#include <map>
#include <string>

// Every row of an installer package's Property table, name to value. A name that the
// table holds twice appears twice. Raises when the file cannot be read as a package.
std::multimap<std::wstring, std::wstring> ReadPropertyTable(const std::wstring& path);
