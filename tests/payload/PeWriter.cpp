#include "PeWriter.h"

#include <cstring>
#include <deque>

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

std::vector<const ResourceNode*> Ordered(const ResourceNode& directory) {
    std::vector<const ResourceNode*> entries;
    for (const ResourceNode& child : directory.children) {
        if (child.named) {
            entries.push_back(&child);
        }
    }
    for (const ResourceNode& child : directory.children) {
        if (!child.named) {
            entries.push_back(&child);
        }
    }
    return entries;
}

// Directories breadth first, then names, then data entries, then the data, as resource
// compilers lay them out.
PeFile LayOut(const ResourceNode& root, uint32_t rva) {
    PeFile out;
    std::vector<const ResourceNode*> directories;
    std::vector<const ResourceNode*> data;
    std::vector<const ResourceNode*> names;
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
    auto offsetOf = [](const std::vector<const ResourceNode*>& list,
                       const std::vector<uint32_t>& offsets, const ResourceNode* node) {
        for (std::size_t index = 0; index < list.size(); ++index) {
            if (list[index] == node) {
                return offsets[index];
            }
        }
        return 0u;
    };
    uint32_t end = 0;
    for (const ResourceNode* directory : directories) {
        out.directories.push_back(end);
        end += 16 + 8 * static_cast<uint32_t>(directory->children.size());
    }
    std::vector<uint32_t> nameOffsets;
    for (const ResourceNode* node : names) {
        nameOffsets.push_back(end);
        end = AlignUp(end + 2 + 2 * static_cast<uint32_t>(node->name.size()), 4);
    }
    for (std::size_t index = 0; index < data.size(); ++index) {
        out.dataEntries.push_back(end);
        end += 16;
    }
    out.treeSize = end;
    std::vector<uint32_t> dataOffsets;
    for (const ResourceNode* node : data) {
        dataOffsets.push_back(end);
        end = AlignUp(end + static_cast<uint32_t>(node->data.size()), 8);
    }

    std::string& bytes = out.bytes;
    bytes.assign(AlignUp(end, 0x200), '\0');
    for (std::size_t index = 0; index < directories.size(); ++index) {
        const uint32_t at = out.directories[index];
        const auto entries = Ordered(*directories[index]);
        uint16_t namedCount = 0;
        for (const ResourceNode* entry : entries) {
            namedCount += entry->named;
        }
        Put16(bytes, at + 12, namedCount);
        Put16(bytes, at + 14, static_cast<uint16_t>(entries.size() - namedCount));
        for (std::size_t slot = 0; slot < entries.size(); ++slot) {
            const ResourceNode* entry = entries[slot];
            const uint32_t nameWord =
                entry->named ? 0x80000000u | offsetOf(names, nameOffsets, entry) : entry->id;
            const uint32_t target =
                entry->isData ? offsetOf(data, out.dataEntries, entry)
                              : 0x80000000u | offsetOf(directories, out.directories, entry);
            Put32(bytes, at + 16 + 8 * slot, nameWord);
            Put32(bytes, at + 20 + 8 * slot, target);
        }
    }
    for (std::size_t index = 0; index < names.size(); ++index) {
        Put16(bytes, nameOffsets[index], static_cast<uint16_t>(names[index]->name.size()));
        std::memcpy(bytes.data() + nameOffsets[index] + 2, names[index]->name.data(),
                    2 * names[index]->name.size());
    }
    for (std::size_t index = 0; index < data.size(); ++index) {
        Put32(bytes, out.dataEntries[index], rva + dataOffsets[index]);
        Put32(bytes, out.dataEntries[index] + 4, static_cast<uint32_t>(data[index]->data.size()));
        std::memcpy(bytes.data() + dataOffsets[index], data[index]->data.data(),
                    data[index]->data.size());
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
