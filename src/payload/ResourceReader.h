#pragma once

#include <windows.h>

#include <imagehlp.h>

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

// A run of bytes of the image that is not trusted. Every structure is read through
// StructureAt, which checks it against the end of the run, so no read can stray outside.
class ByteRange {
  public:
    ByteRange() = default;
    ByteRange(const uint8_t* start, uint64_t size) : start_(start), size_(size) {}

    uint64_t size() const { return size_; }
    const uint8_t* data() const { return start_; }

    // A copy of the T at offset, after checking that count consecutive Ts from there lie
    // inside the run; otherwise the operation fails with its own name as the text.
    template <typename T>
    T StructureAt(uint64_t offset, const char* operation, uint64_t count = 1) const {
        // Even a run of no elements needs the first one to be readable.
        if (count == 0) {
            count = 1;
        }
        if (start_ == nullptr || offset > size_ || (size_ - offset) / sizeof(T) < count) {
            throw std::runtime_error(operation);
        }
        T value;
        std::memcpy(&value, start_ + offset, sizeof(T));
        return value;
    }

    // The part [offset, offset + length); the caller has checked it lies inside.
    ByteRange Part(uint64_t offset, uint64_t length) const {
        return ByteRange(start_ + offset, length);
    }

  private:
    const uint8_t* start_ = nullptr;
    uint64_t size_ = 0;
};

// The resource section of a loaded image: the last section named ".rsrc", whose raw data
// must lie inside the file.
class ResourceSection {
  public:
    explicit ResourceSection(const LOADED_IMAGE* image);

    // The section's raw data in the view; all offsets of the resource tree count from here.
    const ByteRange& Data() const { return data_; }
    // The file position of the data range [rva, rva + size), which must lie inside the
    // section's raw data.
    uint64_t RvaToFilePosition(uint32_t rva, uint32_t size) const;
    // The same range as bytes of the view.
    ByteRange RvaToBytes(uint32_t rva, uint32_t size) const;

  private:
    uint64_t RvaToSectionOffset(uint32_t rva, uint32_t size) const;

    IMAGE_SECTION_HEADER header_{};
    ByteRange data_;
};

// One directory of the resource tree. A child keeps its parent's data: every offset of
// the tree counts from the start of the resource data, at every level.
class ResourceDir {
  public:
    // The root directory, at the start of the resource data.
    explicit ResourceDir(const ByteRange& data);
    // The subdirectory an entry points to.
    ResourceDir(const ByteRange& data, const IMAGE_RESOURCE_DIRECTORY_ENTRY& entry);

    // The offset of the first entry, once the directory's whole run of entries is known to
    // lie inside the resource data.
    uint64_t GetFirstEntry() const;
    // The subdirectory of the named entry whose name is exactly the given one.
    ResourceDir GetChildWithName(const std::wstring& name) const;
    // The subdirectory of the id entry with the given id.
    ResourceDir GetChildWithId(uint16_t id) const;
    // The data entry of a directory that holds exactly one entry, which must not be a
    // subdirectory.
    IMAGE_RESOURCE_DATA_ENTRY GetResourceData() const;

  private:
    ResourceDir(const ByteRange& data, uint64_t offset);
    bool NameMatches(uint64_t offset, const std::wstring& name) const;

    ByteRange data_;
    uint64_t offset_ = 0;
    IMAGE_RESOURCE_DIRECTORY directory_{};
};
