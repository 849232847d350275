#pragma once

#include <windows.h>

#include <utility>

// One move-only owner for every kind of Windows handle: the traits name the handle type,
// the value that means "none" and how to close it.
template <typename Traits> class UniqueHandle {
  public:
    using pointer = typename Traits::pointer;

    UniqueHandle() = default;
    explicit UniqueHandle(pointer value) : value_(value) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        reset(other.release());
        return *this;
    }
    ~UniqueHandle() { reset(); }

    pointer get() const { return value_; }
    explicit operator bool() const { return value_ != Traits::invalid(); }

    void reset(pointer value = Traits::invalid()) {
        if (value_ != Traits::invalid()) {
            // Closing must not overwrite the error code a caller is about to report.
            const DWORD error = GetLastError();
            Traits::close(value_);
            SetLastError(error);
        }
        value_ = value;
    }

    [[nodiscard]] pointer release() { return std::exchange(value_, Traits::invalid()); }

  private:
    pointer value_ = Traits::invalid();
};

struct KernelHandleTraits {
    using pointer = HANDLE;
    static pointer invalid() { return nullptr; }
    static void close(pointer value) { CloseHandle(value); }
};

struct FileHandleTraits {
    using pointer = HANDLE;
    static pointer invalid() { return INVALID_HANDLE_VALUE; }
    static void close(pointer value) { CloseHandle(value); }
};

struct FindTraits {
    using pointer = HANDLE;
    static pointer invalid() { return INVALID_HANDLE_VALUE; }
    static void close(pointer value) { FindClose(value); }
};

struct RegistryKeyTraits {
    using pointer = HKEY;
    static pointer invalid() { return nullptr; }
    static void close(pointer value) { RegCloseKey(value); }
};

struct LibraryTraits {
    using pointer = HMODULE;
    static pointer invalid() { return nullptr; }
    static void close(pointer value) { FreeLibrary(value); }
};

struct IconTraits {
    using pointer = HICON;
    static pointer invalid() { return nullptr; }
    static void close(pointer value) { DestroyIcon(value); }
};

struct LocalMemoryTraits {
    using pointer = void*;
    static pointer invalid() { return nullptr; }
    static void close(pointer value) { LocalFree(value); }
};

// A process, thread or event handle: null means none.
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;
// A file handle from CreateFileW: INVALID_HANDLE_VALUE means none.
using UniqueFileHandle = UniqueHandle<FileHandleTraits>;
// A directory listing from FindFirstFileW.
using UniqueFind = UniqueHandle<FindTraits>;
using UniqueRegistryKey = UniqueHandle<RegistryKeyTraits>;
using UniqueLibrary = UniqueHandle<LibraryTraits>;
// Memory the system allocated for the caller with LocalAlloc (security descriptors, SID
// strings).
using UniqueLocalMemory = UniqueHandle<LocalMemoryTraits>;
// An icon from LoadImageW without LR_SHARED.
using UniqueIcon = UniqueHandle<IconTraits>;
