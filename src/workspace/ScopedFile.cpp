#include "workspace/ScopedFile.h"

#include <windows.h>

#include <stdexcept>

namespace {
constexpr ULONGLONG kDeleteRetryMilliseconds = 2000;
}

bool DeleteWithRetry(const std::wstring& path) {
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        if (DeleteFileW(path.c_str())) {
            return true;
        }
        if (GetTickCount64() >= start + kDeleteRetryMilliseconds) {
            return false;
        }
        Sleep(1);
    }
}

void ScopedFile::Lock() {
    lock.reset(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!lock) {
        throw std::runtime_error("Payload lock failed");
    }
}

ScopedFile::~ScopedFile() {
    lock.reset();
    if (!armed || path.empty()) {
        return;
    }
    // Existence is checked once: a file that is absent now is not waited for.
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        return;
    }
    DeleteWithRetry(path);
}
