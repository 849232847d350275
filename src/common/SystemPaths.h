#pragma once

#include <windows.h>

#include <string>

// Full paths of files in the system and Windows directories. Libraries and programs of
// Windows are always named this way: a bare name is looked for beside the executable
// first, where anyone's file may lie (a Downloads folder). Empty when the directory cannot
// be read, so that nothing is looked for anywhere else.
inline std::wstring SystemDirectoryFile(const std::wstring& name) {
    wchar_t directory[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(directory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return {};
    }
    return std::wstring(directory, length) + L"\\" + name;
}

inline std::wstring WindowsDirectoryFile(const std::wstring& name) {
    wchar_t directory[MAX_PATH] = {};
    const UINT length = GetWindowsDirectoryW(directory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return {};
    }
    return std::wstring(directory, length) + L"\\" + name;
}
