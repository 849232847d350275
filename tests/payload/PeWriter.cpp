#include "PeWriter.h"

#include "payload/Digest.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>

ResourceNode Named(std::wstring name, std::vector<ResourceNode> children) {
    ResourceNode node;
    node.named = true;
    node.name = std::move(name);
    node.children = std::move(children);
    return node;
}

ResourceNode Id(uint16_t id, std::vector<ResourceNode> children) {
    ResourceNode node;
    node.id = id;
    node.children = std::move(children);
    return node;
}

ResourceNode IdData(uint16_t id, std::string data) {
    ResourceNode node;
    node.id = id;
    node.isData = true;
    node.data = std::move(data);
    return node;
}

ResourceNode Root(std::vector<ResourceNode> children) {
    return Id(0, std::move(children));
}

ResourceNode BinPayload(uint16_t id, std::string data) {
    return Id(id, {IdData(2057, std::move(data))});
}

std::string DigestTableText(const std::vector<std::pair<uint16_t, std::string>>& payloads) {
    std::string text = "XXH3-64\n";
    for (const auto& [id, bytes] : payloads) {
        text += std::to_string(id) + " " + DigestText(PayloadDigestOf(bytes.data(), bytes.size())) +
                "\n";
    }
    return text;
}

ResourceNode WithDigests(ResourceNode root) {
    std::vector<std::pair<uint16_t, std::string>> payloads;
    const auto bin =
        std::find_if(root.children.begin(), root.children.end(),
                     [](const ResourceNode& n) { return n.named && n.name == L"BIN"; });
    if (bin != root.children.end()) {
        for (const ResourceNode& payload : bin->children) {
            if (!payload.named && !payload.children.empty()) {
                payloads.emplace_back(payload.id, payload.children.front().data);
            }
        }
    }
    const auto afterNamed = std::find_if(root.children.begin(), root.children.end(),
                                         [](const ResourceNode& n) { return !n.named; });
    root.children.insert(afterNamed,
                         Named(L"DIGESTS", {Id(1, {IdData(2057, DigestTableText(payloads))})}));
    return root;
}

std::string Pattern(std::size_t length, uint32_t seed) {
    std::string bytes(length, '\0');
    uint32_t state = seed * 2654435761u + 1;
    for (char& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 23);
    }
    return bytes;
}

uint32_t Get32(const std::string& bytes, std::size_t offset) {
    uint32_t value;
    std::memcpy(&value, bytes.data() + offset, 4);
    return value;
}

void Put32(std::string& bytes, std::size_t offset, uint32_t value) {
    std::memcpy(bytes.data() + offset, &value, 4);
}

void Put16(std::string& bytes, std::size_t offset, uint16_t value) {
    std::memcpy(bytes.data() + offset, &value, 2);
}

namespace {

uint32_t AlignUp(uint32_t value, uint32_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

// Named entries first, each group in the order given.
std::vector<const ResourceNode*> Ordered(const ResourceNode& directory) {
    std::vector<const ResourceNode*> entries;
    for (const bool named : {true, false}) {
        for (const ResourceNode& child : directory.children) {
            if (child.named == named) {
                entries.push_back(&child);
            }
        }
    }
    return entries;
}

// Directories breadth first, then names, then data entries, then the data, as resource
// compilers lay them out.
PeFile LayOut(const ResourceNode& root, uint32_t rva) {
    std::vector<const ResourceNode*> directories, names, data;
    for (std::deque<const ResourceNode*> queue{&root}; !queue.empty(); queue.pop_front()) {
        directories.push_back(queue.front());
        for (const ResourceNode* child : Ordered(*queue.front())) {
            if (child->named) {
                names.push_back(child);
            }
            if (child->isData) {
                data.push_back(child);
            } else {
                queue.push_back(child);
            }
        }
    }
    PeFile out;
    std::map<const ResourceNode*, uint32_t> at, nameAt, bytesAt;
    uint32_t end = 0;
    for (const ResourceNode* node : directories) {
        out.directories.push_back(at[node] = end);
        end += 16 + 8 * static_cast<uint32_t>(node->children.size());
    }
    for (const ResourceNode* node : names) {
        nameAt[node] = end;
        end = AlignUp(end + 2 + 2 * static_cast<uint32_t>(node->name.size()), 4);
    }
    for (const ResourceNode* node : data) {
        out.dataEntries.push_back(at[node] = end);
        end += 16;
    }
    out.treeSize = end;
    for (const ResourceNode* node : data) {
        bytesAt[node] = end;
        end = AlignUp(end + static_cast<uint32_t>(node->data.size()), 8);
    }

    std::string& bytes = out.bytes;
    bytes.assign(AlignUp(end, 0x200), '\0');
    for (const ResourceNode* node : directories) {
        const auto entries = Ordered(*node);
        const auto named = std::count_if(entries.begin(), entries.end(),
                                         [](const ResourceNode* entry) { return entry->named; });
        Put16(bytes, at[node] + 12, static_cast<uint16_t>(named));
        Put16(bytes, at[node] + 14, static_cast<uint16_t>(entries.size() - named));
        for (std::size_t slot = 0; slot < entries.size(); ++slot) {
            const ResourceNode* entry = entries[slot];
            Put32(bytes, at[node] + 16 + 8 * slot,
                  entry->named ? 0x80000000u | nameAt[entry] : entry->id);
            Put32(bytes, at[node] + 20 + 8 * slot,
                  entry->isData ? at[entry] : 0x80000000u | at[entry]);
        }
    }
    for (const ResourceNode* node : names) {
        Put16(bytes, nameAt[node], static_cast<uint16_t>(node->name.size()));
        std::memcpy(bytes.data() + nameAt[node] + 2, node->name.data(), 2 * node->name.size());
    }
    for (const ResourceNode* node : data) {
        Put32(bytes, at[node], rva + bytesAt[node]);
        Put32(bytes, at[node] + 4, static_cast<uint32_t>(node->data.size()));
        std::memcpy(bytes.data() + bytesAt[node], node->data.data(), node->data.size());
    }
    return out;
}

} // namespace

PeFile BuildPe(const ResourceNode& tree, const ResourceNode* decoyTree) {
    struct Section {
        const char* name;
        std::string raw;
        uint32_t rva;
    };
    std::vector<Section> sections{{".text", std::string(0x200, '\xC3'), 0x1000}};
    if (decoyTree) {
        sections.push_back({".rsrc", LayOut(*decoyTree, 0x1000000).bytes, 0x1000000});
    }
    PeFile pe = LayOut(tree, kResourceRva);
    sections.push_back({".rsrc", pe.bytes, kResourceRva});

    constexpr uint32_t kNtHeaders = 0x40;
    pe.sectionTable = kNtHeaders + 4 + sizeof(IMAGE_FILE_HEADER) + sizeof(IMAGE_OPTIONAL_HEADER32);
    pe.sectionCount = static_cast<uint32_t>(sections.size());
    std::string& file = pe.bytes;
    file.assign(0x400, '\0');
    IMAGE_DOS_HEADER dos{};
    dos.e_magic = IMAGE_DOS_SIGNATURE;
    dos.e_lfanew = kNtHeaders;
    std::memcpy(file.data(), &dos, sizeof(dos));

    IMAGE_NT_HEADERS32 nt{};
    nt.Signature = IMAGE_NT_SIGNATURE;
    nt.FileHeader.Machine = IMAGE_FILE_MACHINE_I386;
    nt.FileHeader.NumberOfSections = static_cast<WORD>(sections.size());
    nt.FileHeader.SizeOfOptionalHeader = sizeof(IMAGE_OPTIONAL_HEADER32);
    nt.FileHeader.Characteristics = IMAGE_FILE_EXECUTABLE_IMAGE | IMAGE_FILE_32BIT_MACHINE;
    IMAGE_OPTIONAL_HEADER32& optional = nt.OptionalHeader;
    optional.Magic = IMAGE_NT_OPTIONAL_HDR32_MAGIC;
    optional.AddressOfEntryPoint = 0x1000;
    optional.ImageBase = 0x400000;
    optional.SectionAlignment = 0x1000;
    optional.FileAlignment = 0x200;
    optional.MajorSubsystemVersion = 4;
    optional.SizeOfHeaders = 0x400;
    optional.Subsystem = IMAGE_SUBSYSTEM_WINDOWS_GUI;
    optional.NumberOfRvaAndSizes = IMAGE_NUMBEROF_DIRECTORY_ENTRIES;
    optional.DataDirectory[IMAGE_DIRECTORY_ENTRY_RESOURCE] = {kResourceRva,
                                                              static_cast<DWORD>(pe.treeSize)};

    for (std::size_t index = 0; index < sections.size(); ++index) {
        IMAGE_SECTION_HEADER header{};
        std::memcpy(header.Name, sections[index].name, std::strlen(sections[index].name));
        header.Misc.VirtualSize = static_cast<DWORD>(sections[index].raw.size());
        header.VirtualAddress = sections[index].rva;
        header.SizeOfRawData = static_cast<DWORD>(sections[index].raw.size());
        header.PointerToRawData = static_cast<DWORD>(file.size());
        header.Characteristics = IMAGE_SCN_MEM_READ;
        optional.SizeOfImage = AlignUp(header.VirtualAddress + header.SizeOfRawData, 0x1000);
        const uint32_t at = pe.sectionTable + static_cast<uint32_t>(index * sizeof(header));
        if (index + 1 == sections.size()) {
            pe.resourceHeader = at;
            pe.resourceStart = header.PointerToRawData;
        }
        std::memcpy(file.data() + at, &header, sizeof(header));
        file += sections[index].raw;
    }
    std::memcpy(file.data() + kNtHeaders, &nt, sizeof(nt));
    return pe;
}
