#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// A resource tree to lay out: a directory of entries, or data. Entries keep their order,
// named ones first.
struct ResourceNode {
    bool named = false;
    std::wstring name;
    uint16_t id = 0;
    bool isData = false;
    std::string data;
    std::vector<ResourceNode> children;
};

ResourceNode Named(std::wstring name, std::vector<ResourceNode> children);
ResourceNode Id(uint16_t id, std::vector<ResourceNode> children);
ResourceNode IdData(uint16_t id, std::string data);
ResourceNode Root(std::vector<ResourceNode> children);
// "BIN" -> id -> language 2057 -> data, as windres lays out a UK English resource.
ResourceNode BinPayload(uint16_t id, std::string data);

// The tree with the digest table the build adds (type "DIGESTS", id 1) for the payloads of
// its first "BIN" type, placed after its last named type.
ResourceNode WithDigests(ResourceNode root);
// The table's text for the ids and their bytes.
std::string DigestTableText(const std::vector<std::pair<uint16_t, std::string>>& payloads);

// A PE file with a ".text" section and a ".rsrc" section holding the tree.
struct PeFile {
    std::string bytes;
    std::vector<uint32_t> directories; // offsets in the resource data
    std::vector<uint32_t> dataEntries; // offsets in the resource data
    uint32_t treeSize = 0;             // directories, names and data entries; the data follows
    uint32_t resourceStart = 0;        // file offset of the resource data
    uint32_t resourceHeader = 0;       // file offset of the ".rsrc" section header
    uint32_t sectionTable = 0;         // file offset of the section table
    uint32_t sectionCount = 0;
};

constexpr uint32_t kResourceRva = 0x2000;

// A decoy tree, when given, goes into another ".rsrc" section ahead of the real one.
PeFile BuildPe(const ResourceNode& tree, const ResourceNode* decoyTree = nullptr);

// Distinct bytes of the given length for the seed.
std::string Pattern(std::size_t length, uint32_t seed);

// Reads or writes a 16- or 32-bit value inside a byte string.
uint32_t Get32(const std::string& bytes, std::size_t offset);
void Put32(std::string& bytes, std::size_t offset, uint32_t value);
void Put16(std::string& bytes, std::size_t offset, uint16_t value);
