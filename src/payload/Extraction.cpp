#include "payload/Extraction.h"

#include "common/Cancelled.h"
#include "common/UniqueHandle.h"
#include "payload/ImageError.h"
#include "payload/ResourceReader.h"
#include "workspace/ScopedFile.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace {

constexpr uint32_t kChunkSize = 1024 * 1024;

// The output file while it is being written: unless it is kept, it is closed and deleted,
// so a payload that was not copied whole never stays behind.
class PartialFile {
  public:
    explicit PartialFile(const std::wstring& path)
        : path_(path), handle_(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL, nullptr)) {
        if (!handle_) {
            ThrowImageError("CreateFile failed");
        }
    }
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;
    ~PartialFile() { Discard(); }

    HANDLE get() const { return handle_.get(); }

    void Keep() {
        handle_.reset();
        kept_ = true;
    }

    // Removes the file, then logs the step with the code and raises the step as the text.
    [[noreturn]] void Fail(const char* step, DWORD code) {
        Discard();
        LogImageError(step, code);
        throw std::runtime_error(step);
    }

  private:
    void Discard() {
        if (kept_) {
            return;
        }
        kept_ = true;
        handle_.reset();
        DeleteWithRetry(path_);
    }

    std::wstring path_;
    UniqueFileHandle handle_;
    bool kept_ = false;
};

} // namespace

ResourceLocation LocateResource(const LOADED_IMAGE* image, uint16_t id) {
    const ResourceSection section(image);
    const IMAGE_RESOURCE_DATA_ENTRY data =
        ResourceDir(section.Data()).GetChildWithName(L"BIN").GetChildWithId(id).GetResourceData();
    return {section.RvaToFilePosition(data.OffsetToData, data.Size), data.Size};
}

uint32_t FindResourceSize(const LOADED_IMAGE* image, uint16_t id) {
    // Only a probe: a resource that cannot be found fails later, where it is copied.
    try {
        return LocateResource(image, id).size;
    } catch (const std::runtime_error&) {
        return 0;
    }
}

void CopyResourceBytes(HANDLE source, uint64_t position, uint32_t size, const std::wstring& path,
                       CopyObserver* observer) {
    const auto stopRequested = [observer] { return observer && !observer->ShouldContinue(); };
    LARGE_INTEGER distance{};
    distance.QuadPart = static_cast<LONGLONG>(position);
    if (!SetFilePointerEx(source, distance, nullptr, FILE_BEGIN)) {
        const DWORD code = GetLastError();
        LogImageError("SetFilePointerEx failed", code);
        throw std::runtime_error("SetFilePointerEx failed");
    }

    if (stopRequested()) {
        throw Cancelled();
    }
    PartialFile output(path);
    std::vector<char> buffer(kChunkSize);
    for (uint32_t remaining = size; remaining != 0;) {
        if (stopRequested()) {
            throw Cancelled(); // the partial file goes with the unwinding
        }
        const DWORD chunk = std::min(remaining, kChunkSize);
        DWORD read = 0;
        if (!ReadFile(source, buffer.data(), chunk, &read, nullptr)) {
            output.Fail("ReadFile failed", GetLastError());
        }
        if (read != chunk) {
            // The data ran past the end of the file.
            output.Fail("ReadFile failed", ERROR_HANDLE_EOF);
        }
        DWORD written = 0;
        if (!WriteFile(output.get(), buffer.data(), chunk, &written, nullptr)) {
            output.Fail("WriteFile failed", GetLastError());
        }
        if (written != chunk) {
            output.Fail("WriteFile failed", ERROR_DISK_FULL);
        }
        remaining -= chunk;
        if (observer) {
            observer->Copied(chunk);
        }
    }
    output.Keep();
}

void ExtractResourceFrom(const LOADED_IMAGE* image, uint16_t id, const std::wstring& path,
                         CopyObserver* observer) {
    const ResourceLocation location = LocateResource(image, id);
    CopyResourceBytes(image->hFile, location.position, location.size, path, observer);
}
