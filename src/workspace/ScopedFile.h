#pragma once

#include <string>

// Owns a file for the length of a scope: destroyed while armed and with a path, it
// deletes the file, retrying for up to 2000 ms while something else holds it open.
// Owners set the path only once the file has been written in full.
struct ScopedFile {
    bool armed = true;
    std::wstring path;

    ScopedFile() = default;
    ScopedFile(const ScopedFile&) = delete;
    ScopedFile& operator=(const ScopedFile&) = delete;
    ~ScopedFile();
};

// Deletes the file, trying again every millisecond until 2000 ms have passed since the
// first attempt. Returns whether the file was deleted.
bool DeleteWithRetry(const std::wstring& path);
