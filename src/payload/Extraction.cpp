#include "payload/Extraction.h"

#include "common/Cancelled.h"
#include "common/DamagedSetup.h"
#include "common/UniqueHandle.h"
#include "log/Logger.h"
#include "payload/ConcurrentDigest.h"
#include "payload/DigestTable.h"
#include "payload/ImageError.h"
#include "payload/ResourceReader.h"
#include "workspace/ScopedFile.h"

#include <algorithm>
#include <optional>
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

    // Closes and deletes the file now, unless it was kept.
    void Discard() {
        if (kept_) {
            return;
        }
        kept_ = true;
        handle_.reset();
        DeleteWithRetry(path_);
    }

  private:
    std::wstring path_;
    UniqueFileHandle handle_;
    bool kept_ = false;
};

} // namespace

ResourceLocation LocateResource(const LOADED_IMAGE* image, uint16_t id) {
    const ResourceSection section(image);
    const IMAGE_RESOURCE_DATA_ENTRY data =
        ResourceDir(section.Data()).GetChildWithName(L"BIN").GetChildWithId(id).GetResourceData();
    return {id, section.RvaToFilePosition(data.OffsetToData, data.Size), data.Size, 0};
}

uint32_t FindResourceSize(const LOADED_IMAGE* image, uint16_t id) {
    // Only a probe: a resource that cannot be found fails later, where it is copied.
    try {
        return LocateResource(image, id).size;
    } catch (const std::runtime_error&) {
        return 0;
    }
}

void CopyResourceBytes(HANDLE source, const ResourceLocation& resource, const std::wstring& path,
                       CopyObserver* observer) {
    const auto stopRequested = [observer] { return observer && !observer->ShouldContinue(); };
    LARGE_INTEGER distance{};
    distance.QuadPart = static_cast<LONGLONG>(resource.position);
    if (!SetFilePointerEx(source, distance, nullptr, FILE_BEGIN)) {
        const DWORD code = GetLastError();
        LogImageError("SetFilePointerEx failed", code);
        throw std::runtime_error("SetFilePointerEx failed");
    }

    if (stopRequested()) {
        throw Cancelled();
    }
    PartialFile output(path);
    // Digested as it is copied, so that a slow medium is read once. A resource of more than
    // one chunk is digested beside the copy, in two buffers: one is digested while the other
    // is read into.
    const bool beside = resource.size > kChunkSize;
    std::vector<char> buffers[2]{std::vector<char>(kChunkSize),
                                 std::vector<char>(beside ? kChunkSize : 0)};
    PayloadDigest digestHere;
    std::optional<ConcurrentDigest> concurrent;
    if (beside) {
        concurrent.emplace();
    }
    size_t next = 0;
    for (uint32_t remaining = resource.size; remaining != 0;) {
        if (stopRequested()) {
            throw Cancelled(); // the partial file goes with the unwinding
        }
        const DWORD chunk = std::min(remaining, kChunkSize);
        // This buffer last held the chunk before the previous one, which was digested before
        // Add took the previous one.
        char* const buffer = buffers[next].data();
        next = beside ? 1 - next : 0;
        DWORD read = 0;
        if (!ReadFile(source, buffer, chunk, &read, nullptr)) {
            output.Fail("ReadFile failed", GetLastError());
        }
        if (read != chunk) {
            // The data ran past the end of the file.
            output.Fail("ReadFile failed", ERROR_HANDLE_EOF);
        }
        concurrent ? concurrent->Add(buffer, chunk) : digestHere.Update(buffer, chunk);
        DWORD written = 0;
        if (!WriteFile(output.get(), buffer, chunk, &written, nullptr)) {
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
    if ((concurrent ? concurrent->Value() : digestHere.Value()) != resource.digest) {
        output.Discard();
        Logger << "ExeImage: resource " << resource.id
               << " is damaged: its bytes do not match their digest" << std::endl;
        throw DamagedSetup();
    }
    output.Keep();
}

void ExtractResourceFrom(const LOADED_IMAGE* image, uint16_t id, const std::wstring& path,
                         CopyObserver* observer) {
    ResourceLocation resource = LocateResource(image, id);
    // Looked up before any file is made: without a digest nothing is written.
    resource.digest = RecordedDigest(image, id);
    CopyResourceBytes(image->hFile, resource, path, observer);
}
