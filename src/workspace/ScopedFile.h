#pragma once

#include "common/UniqueHandle.h"

#include <string>

// Owns a file for the length of a scope: destroyed while armed and with a path, it
// deletes the file, retrying for up to 2000 ms while something else holds it open.
// Owners set the path only once the file has been written in full.
struct ScopedFile {
    bool armed = true;
    std::wstring path;
    // Held from Lock() until just before the deletion.
    UniqueFileHandle lock;

    ScopedFile() = default;
    ScopedFile(const ScopedFile&) = delete;
    ScopedFile& operator=(const ScopedFile&) = delete;
    ~ScopedFile();

    // Opens the file at path again, for reading and sharing only reading: until the
    // deletion, nobody can write, replace, rename or delete it, while programs can still
    // be started from it and read it. Raises "Payload lock failed" when someone else has it
    // open for writing or deleting.
    void Lock();
};

// Deletes the file, trying again every millisecond until 2000 ms have passed since the
// first attempt. Returns whether the file was deleted.
bool DeleteWithRetry(const std::wstring& path);
