#include "payload/DigestTable.h"

#include "common/DamagedSetup.h"
#include "log/Logger.h"
#include "payload/ResourceReader.h"

namespace {

constexpr std::string_view kHeader = "XXH3-64\n";
constexpr uint16_t kTableId = 1;

std::optional<uint32_t> DecimalValue(std::string_view text) {
    if (text.empty() || text.size() > 5) {
        return std::nullopt;
    }
    uint32_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    return value;
}

std::optional<uint64_t> HexValue(std::string_view text) {
    if (text.size() != 16) {
        return std::nullopt;
    }
    uint64_t value = 0;
    for (const char c : text) {
        const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (digit < 0) {
            return std::nullopt;
        }
        value = value << 4 | static_cast<uint64_t>(digit);
    }
    return value;
}

} // namespace

std::optional<uint64_t> FindRecordedDigest(std::string_view table, uint16_t id) {
    if (table.substr(0, kHeader.size()) != kHeader) {
        return std::nullopt;
    }
    std::optional<uint64_t> found;
    // Every line is checked, so that a table damaged anywhere is refused whole.
    for (std::size_t start = kHeader.size(); start < table.size();) {
        const std::size_t end = table.find('\n', start);
        if (end == std::string_view::npos) {
            return std::nullopt;
        }
        const std::string_view line = table.substr(start, end - start);
        const std::size_t blank = line.find(' ');
        if (blank == std::string_view::npos) {
            return std::nullopt;
        }
        const auto lineId = DecimalValue(line.substr(0, blank));
        const auto digest = HexValue(line.substr(blank + 1));
        if (!lineId || *lineId > 0xFFFF || !digest) {
            return std::nullopt;
        }
        if (*lineId == id && !found) {
            found = digest;
        }
        start = end + 1;
    }
    return found;
}

uint64_t RecordedDigest(const LOADED_IMAGE* image, uint16_t id) {
    std::optional<uint64_t> digest;
    try {
        const ResourceSection section(image);
        const IMAGE_RESOURCE_DATA_ENTRY data = ResourceDir(section.Data())
                                                   .GetChildWithName(L"DIGESTS")
                                                   .GetChildWithId(kTableId)
                                                   .GetResourceData();
        const ByteRange bytes = section.RvaToBytes(data.OffsetToData, data.Size);
        digest = FindRecordedDigest(
            std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), id);
    } catch (const std::runtime_error&) {
        // No table that can be read: nothing can be trusted.
    }
    if (!digest) {
        Logger << "ExeImage: resource " << id << " is damaged: no digest is recorded for it"
               << std::endl;
        throw DamagedSetup();
    }
    return *digest;
}
