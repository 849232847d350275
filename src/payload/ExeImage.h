#pragma once

#include <windows.h>

#include <imagehlp.h>

#include <cstdint>
#include <string>

#include "payload/CopyObserver.h"

// The bootstrapper's own executable file opened as a PE image: a read-only view of the
// whole file, its section table and a file handle to read the payloads through.
class ExeImage {
  public:
    // Loads the running executable's own file; every failure is logged with its step and
    // raised as "Image loading failed".
    ExeImage();
    ~ExeImage();
    ExeImage(const ExeImage&) = delete;
    ExeImage& operator=(const ExeImage&) = delete;

    // Copies the "BIN" resource with the id to a new file at the path, telling the observer,
    // if there is one, how far it has got.
    void ExtractResource(uint16_t id, const std::wstring& path, CopyObserver* observer = nullptr);
    // The size of the "BIN" resource with the id, or 0 when it cannot be found.
    uint32_t ResourceSize(uint16_t id) const;

    const LOADED_IMAGE* image() const { return image_; }

  private:
    LOADED_IMAGE* image_ = nullptr;
};

// The process's current directory, however long it is; fails with "GetCurrentDirectory failed".
std::wstring ReadCurrentDirectory();

// Sets the process's current directory back to the saved one when it goes.
class CurrentDirectoryGuard {
  public:
    explicit CurrentDirectoryGuard(std::wstring saved) : saved_(std::move(saved)) {}
    ~CurrentDirectoryGuard() { SetCurrentDirectoryW(saved_.c_str()); }
    CurrentDirectoryGuard(const CurrentDirectoryGuard&) = delete;
    CurrentDirectoryGuard& operator=(const CurrentDirectoryGuard&) = delete;

  private:
    std::wstring saved_;
};
