#include "payload/ResourceReader.h"

namespace {

constexpr uint32_t kHighBit = 0x80000000u;
constexpr uint32_t kSectionNameLength = IMAGE_SIZEOF_SHORT_NAME;

bool IsResourceSectionName(const BYTE (&name)[kSectionNameLength]) {
    static const char kName[] = ".rsrc";
    std::size_t length = 0;
    while (length < kSectionNameLength && name[length] != 0) {
        ++length;
    }
    return length == sizeof(kName) - 1 && std::memcmp(name, kName, length) == 0;
}

// Where an entry's subdirectory lies; an entry that leads to data has none.
uint64_t SubdirectoryOffset(const IMAGE_RESOURCE_DIRECTORY_ENTRY& entry) {
    if (!(entry.OffsetToData & kHighBit)) {
        throw std::runtime_error("ResourceDir::ResourceDir");
    }
    return entry.OffsetToData & ~kHighBit;
}

} // namespace

ResourceSection::ResourceSection(const LOADED_IMAGE* image) {
    const char* const operation = "ResourceSection::ResourceSection";
    if (image == nullptr || image->NumberOfSections == 0) {
        throw std::runtime_error(operation);
    }
    // The view is laid out like the file and spans all of it.
    LARGE_INTEGER fileSize{};
    if (!GetFileSizeEx(image->hFile, &fileSize) || fileSize.QuadPart < 0) {
        throw std::runtime_error(operation);
    }
    const ByteRange view(image->MappedAddress, static_cast<uint64_t>(fileSize.QuadPart));
    const auto mapped = reinterpret_cast<uintptr_t>(image->MappedAddress);
    const auto sections = reinterpret_cast<uintptr_t>(image->Sections);
    if (sections < mapped) {
        throw std::runtime_error(operation);
    }
    const uint64_t table = sections - mapped;

    bool found = false;
    for (ULONG index = 0; index < image->NumberOfSections; ++index) {
        const auto header = view.StructureAt<IMAGE_SECTION_HEADER>(
            table + uint64_t{index} * sizeof(IMAGE_SECTION_HEADER), operation);
        // Every match is taken, so the last ".rsrc" in the table wins.
        if (IsResourceSectionName(header.Name)) {
            header_ = header;
            found = true;
        }
    }
    if (!found) {
        throw std::runtime_error(operation);
    }
    const uint64_t start = header_.PointerToRawData;
    const uint64_t length = header_.SizeOfRawData;
    if (start > view.size() || length > view.size() - start) {
        throw std::runtime_error(operation);
    }
    data_ = view.Part(start, length);
}

uint64_t ResourceSection::RvaToSectionOffset(uint32_t rva, uint32_t size) const {
    const uint64_t rawSize = header_.SizeOfRawData;
    if (rva < header_.VirtualAddress) {
        throw std::runtime_error("ResourceSection::RvaToFilePosition");
    }
    const uint64_t offset = uint64_t{rva} - header_.VirtualAddress;
    if (offset >= rawSize || size > rawSize - offset) {
        throw std::runtime_error("ResourceSection::RvaToFilePosition");
    }
    return offset;
}

uint64_t ResourceSection::RvaToFilePosition(uint32_t rva, uint32_t size) const {
    return RvaToSectionOffset(rva, size) + header_.PointerToRawData;
}

ByteRange ResourceSection::RvaToBytes(uint32_t rva, uint32_t size) const {
    return data_.Part(RvaToSectionOffset(rva, size), size);
}

ResourceDir::ResourceDir(const ByteRange& data) : ResourceDir(data, 0) {}

ResourceDir::ResourceDir(const ByteRange& data, const IMAGE_RESOURCE_DIRECTORY_ENTRY& entry)
    : ResourceDir(data, SubdirectoryOffset(entry)) {}

ResourceDir::ResourceDir(const ByteRange& data, uint64_t offset)
    : data_(data), offset_(offset),
      directory_(data.StructureAt<IMAGE_RESOURCE_DIRECTORY>(offset, "ResourceDir::ResourceDir")) {}

uint64_t ResourceDir::GetFirstEntry() const {
    const uint64_t count = uint64_t{directory_.NumberOfNamedEntries} + directory_.NumberOfIdEntries;
    if (count == 0) {
        throw std::runtime_error("ResourceDir::GetFirstEntry");
    }
    const uint64_t first = offset_ + sizeof(IMAGE_RESOURCE_DIRECTORY);
    data_.StructureAt<IMAGE_RESOURCE_DIRECTORY_ENTRY>(first, "ResourceDir::GetFirstEntry", count);
    return first;
}

bool ResourceDir::NameMatches(uint64_t offset, const std::wstring& name) const {
    const char* const operation = "ResourceDir::GetChildWithName";
    const auto length = data_.StructureAt<WORD>(offset, operation);
    const uint64_t characters = offset + sizeof(WORD);
    if (length > 0) {
        data_.StructureAt<WCHAR>(characters, operation, length);
    }
    // Equal length and equal code units: "B", "BI" or an empty name are not "BIN".
    if (length != name.size()) {
        return false;
    }
    for (WORD index = 0; index < length; ++index) {
        if (data_.StructureAt<WCHAR>(characters + index * sizeof(WCHAR), operation) !=
            name[index]) {
            return false;
        }
    }
    return true;
}

ResourceDir ResourceDir::GetChildWithName(const std::wstring& name) const {
    const char* const operation = "ResourceDir::GetChildWithName";
    const uint64_t first = GetFirstEntry();
    for (WORD index = 0; index < directory_.NumberOfNamedEntries; ++index) {
        const auto entry = data_.StructureAt<IMAGE_RESOURCE_DIRECTORY_ENTRY>(
            first + index * sizeof(IMAGE_RESOURCE_DIRECTORY_ENTRY), operation);
        if ((entry.Name & kHighBit) && NameMatches(entry.Name & ~kHighBit, name)) {
            return ResourceDir(data_, entry);
        }
    }
    throw std::runtime_error(operation);
}

ResourceDir ResourceDir::GetChildWithId(uint16_t id) const {
    const char* const operation = "ResourceDir::GetChildWithId";
    const uint64_t first = GetFirstEntry();
    const uint64_t end = uint64_t{directory_.NumberOfNamedEntries} + directory_.NumberOfIdEntries;
    for (uint64_t index = directory_.NumberOfNamedEntries; index < end; ++index) {
        const auto entry = data_.StructureAt<IMAGE_RESOURCE_DIRECTORY_ENTRY>(
            first + index * sizeof(IMAGE_RESOURCE_DIRECTORY_ENTRY), operation);
        if (!(entry.Name & kHighBit) && (entry.Name & 0xFFFFu) == id) {
            return ResourceDir(data_, entry);
        }
    }
    throw std::runtime_error(operation);
}

IMAGE_RESOURCE_DATA_ENTRY ResourceDir::GetResourceData() const {
    const char* const operation = "ResourceDir::GetResourceData";
    if (uint32_t{directory_.NumberOfNamedEntries} + directory_.NumberOfIdEntries != 1) {
        throw std::runtime_error(operation);
    }
    const auto entry = data_.StructureAt<IMAGE_RESOURCE_DIRECTORY_ENTRY>(
        offset_ + sizeof(IMAGE_RESOURCE_DIRECTORY), operation);
    if (entry.OffsetToData & kHighBit) {
        throw std::runtime_error(operation);
    }
    return data_.StructureAt<IMAGE_RESOURCE_DATA_ENTRY>(entry.OffsetToData, operation);
}
