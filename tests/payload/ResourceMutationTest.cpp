#include "payload/Extraction.h"

#include "PayloadTest.h"
#include "PeWriter.h"

#include <cstring>
#include <iostream>
#include <random>
#include <set>
#include <vector>

namespace {

// Memory whose last byte is followed by an inaccessible page: bytes placed at its end make
// any read past what the walk was given crash the test instead of passing unnoticed.
class GuardedView {
  public:
    explicit GuardedView(std::size_t size) : committed_((size + 4095) / 4096 * 4096) {
        base_ = static_cast<uint8_t*>(
            VirtualAlloc(nullptr, committed_ + 4096, MEM_RESERVE, PAGE_NOACCESS));
        VirtualAlloc(base_, committed_, MEM_COMMIT, PAGE_READWRITE);
    }
    ~GuardedView() { VirtualFree(base_, 0, MEM_RELEASE); }
    GuardedView(const GuardedView&) = delete;
    GuardedView& operator=(const GuardedView&) = delete;

    uint8_t* Place(const std::string& bytes) {
        uint8_t* start = base_ + committed_ - bytes.size();
        std::memcpy(start, bytes.data(), bytes.size());
        return start;
    }

  private:
    std::size_t committed_;
    uint8_t* base_ = nullptr;
};

const std::set<std::string> kWalkErrors{
    "ResourceSection::ResourceSection", "ResourceSection::RvaToFilePosition",
    "ResourceDir::ResourceDir",         "ResourceDir::GetFirstEntry",
    "ResourceDir::GetChildWithName",    "ResourceDir::GetChildWithId",
    "ResourceDir::GetResourceData"};

ResourceNode MutationTree() {
    return Root({Named(L"ABC", {BinPayload(135, Pattern(40, 9))}),
                 Named(L"BIN", {BinPayload(132, Pattern(48, 1)), BinPayload(133, Pattern(1, 2)),
                                Id(134, {IdData(1033, Pattern(8, 3)), IdData(2057, Pattern(8, 4))}),
                                BinPayload(135, Pattern(100, 5)), BinPayload(144, "")}),
                 Named(L"TXT", {BinPayload(157, Pattern(30, 6))}),
                 Id(3, {Id(1, {IdData(2057, Pattern(20, 7))})}),
                 Id(24, {Id(1, {IdData(2057, Pattern(20, 8))})})});
}

// Runs walks over a damaged copy of a valid image and checks each outcome: either one of
// the walk's own error texts and no output file, or a location inside the section whose
// bytes the copy reproduces exactly.
class MutationRun {
  public:
    MutationRun(const PeFile& pe, const std::wstring& directory)
        : pe_(pe), directory_(directory), view_(pe.bytes.size()) {
        WriteBytes(directory + L"image.exe", pe.bytes);
        file_ = CreateFileW((directory + L"image.exe").c_str(), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        Reset(pe.bytes);
    }
    ~MutationRun() { CloseHandle(file_); }

    // Lays the bytes out as the view, with the file of the same length.
    void Reset(const std::string& bytes) {
        mapped_ = view_.Place(bytes);
        record_ = {};
        record_.hFile = file_;
        record_.MappedAddress = mapped_;
        record_.NumberOfSections = pe_.sectionCount;
        record_.Sections = reinterpret_cast<PIMAGE_SECTION_HEADER>(mapped_ + pe_.sectionTable);
    }
    void SetFileLength(uint64_t length) {
        LARGE_INTEGER position{};
        position.QuadPart = static_cast<LONGLONG>(length);
        SetFilePointerEx(file_, position, nullptr, FILE_BEGIN);
        SetEndOfFile(file_);
    }
    uint8_t* view() const { return mapped_; }

    void Check(uint16_t id) {
        const std::wstring out = directory_ + L"out" + std::to_wstring(cases_++);
        std::string error;
        ResourceLocation where;
        try {
            where = LocateResource(&record_, id);
        } catch (const std::runtime_error& e) {
            error = e.what();
        }
        if (!error.empty()) {
            ++failures_;
            if (!kWalkErrors.count(error)) {
                Report("unexpected text " + error);
            }
            // The whole extraction fails the same way, before any file exists.
            if (ErrorText([&] { ExtractResourceFrom(&record_, id, out); }) != error) {
                Report("the extraction failed differently from the walk");
            }
            return;
        }
        IMAGE_SECTION_HEADER header;
        std::memcpy(&header, mapped_ + pe_.resourceHeader, sizeof(header));
        if (where.position < header.PointerToRawData ||
            where.position + where.size >
                uint64_t{header.PointerToRawData} + header.SizeOfRawData ||
            where.position + where.size > pe_.bytes.size()) {
            Report("data outside the section");
            return;
        }
        // The file never changes, so one copy per location shows what every copy gives.
        if (copied_.insert({where.position, where.size}).second) {
            ExtractResourceFrom(&record_, id, out);
            if (ReadBytes(out) != pe_.bytes.substr(where.position, where.size)) {
                Report("copied bytes differ");
            }
            DeleteFileW(out.c_str());
        }
    }

    unsigned cases() const { return cases_; }
    unsigned failures() const { return failures_; }
    std::size_t locations() const { return copied_.size(); }
    const std::vector<std::string>& problems() const { return problems_; }

  private:
    void Report(const std::string& problem) {
        if (problems_.size() < 10) {
            problems_.push_back("case " + std::to_string(cases_ - 1) + ": " + problem);
        }
    }

    const PeFile& pe_;
    std::wstring directory_;
    GuardedView view_;
    HANDLE file_ = INVALID_HANDLE_VALUE;
    uint8_t* mapped_ = nullptr;
    LOADED_IMAGE record_{};
    unsigned cases_ = 0;
    unsigned failures_ = 0;
    std::set<std::pair<uint64_t, uint32_t>> copied_;
    std::vector<std::string> problems_;
};

void Store32(uint8_t* at, uint32_t value) {
    std::memcpy(at, &value, 4);
}
void Store16(uint8_t* at, uint16_t value) {
    std::memcpy(at, &value, 2);
}

TEST(ResourceMutation, DamagedImagesFailWithTheirOperationOrYieldExactlyTheirBytes) {
    const uint32_t seed = 20240611;
    std::mt19937 random(seed);
    auto below = [&](uint32_t bound) { return static_cast<uint32_t>(random() % bound); };

    TempDir dir{L"mut"};
    const PeFile pe = BuildPe(MutationTree());
    MutationRun run(pe, dir.path());
    const uint32_t rsrc = pe.resourceStart;
    const uint32_t sectionSize = static_cast<uint32_t>(pe.bytes.size()) - rsrc;
    const uint16_t ids[] = {132, 133, 134, 135, 135, 144, 136, 157};
    auto anyId = [&] { return ids[below(8)]; };
    auto restore = [&] {
        std::memcpy(run.view() + pe.resourceHeader, pe.bytes.data() + pe.resourceHeader, 40);
        std::memcpy(run.view() + rsrc, pe.bytes.data() + rsrc, pe.treeSize);
    };
    const ULONGLONG start = GetTickCount64();

    // Bit flips in the section header and the tree.
    for (int n = 0; n < 60000; ++n) {
        for (uint32_t flips = 1 + below(3); flips > 0; --flips) {
            const uint32_t at =
                below(10) == 0 ? pe.resourceHeader + below(40) : rsrc + below(pe.treeSize);
            run.view()[at] ^= static_cast<uint8_t>(1u << below(8));
        }
        run.Check(anyId());
        restore();
    }

    // Offsets sent outside the data, to its edges, or back into the tree to make loops.
    std::vector<uint32_t> fields;
    std::vector<uint32_t> targets{0, sectionSize, 0x7FFFFFFF, 0xFFFFFFFF};
    for (const uint32_t directory : pe.directories) {
        targets.push_back(directory);
        const uint16_t* counts =
            reinterpret_cast<const uint16_t*>(pe.bytes.data() + rsrc + directory + 12);
        for (uint32_t entry = 0; entry < uint32_t{counts[0]} + counts[1]; ++entry) {
            fields.push_back(rsrc + directory + 16 + 8 * entry);
            fields.push_back(rsrc + directory + 20 + 8 * entry);
        }
    }
    for (const uint32_t data : pe.dataEntries) {
        targets.push_back(data);
        fields.push_back(rsrc + data);
        fields.push_back(rsrc + data + 4);
    }
    for (int n = 0; n < 25000; ++n) {
        const uint32_t field = fields[below(static_cast<uint32_t>(fields.size()))];
        uint32_t value;
        switch (below(4)) {
        case 0:
            value = static_cast<uint32_t>(random());
            break;
        case 1:
            value = sectionSize - below(24);
            break;
        case 2:
            value = below(sectionSize + 64);
            break;
        default:
            value = targets[below(static_cast<uint32_t>(targets.size()))];
            break;
        }
        if (below(2)) {
            value ^= 0x80000000u;
        }
        if (below(3) == 0) {
            value += kResourceRva;
        }
        Store32(run.view() + field, value);
        run.Check(anyId());
        restore();
    }

    // Entry counts inflated or cleared.
    for (int n = 0; n < 15000; ++n) {
        const uint32_t directory =
            pe.directories[below(static_cast<uint32_t>(pe.directories.size()))];
        uint8_t* count = run.view() + rsrc + directory + 12 + 2 * below(2);
        uint16_t current;
        std::memcpy(&current, count, 2);
        const uint16_t values[] = {0,
                                   1,
                                   2,
                                   static_cast<uint16_t>(current + 1),
                                   static_cast<uint16_t>(current + 2),
                                   0x7FFF,
                                   0xFFFF,
                                   static_cast<uint16_t>(random())};
        Store16(count, values[below(8)]);
        run.Check(anyId());
        restore();
    }

    // Every length of the section's raw data, then every length of a file cut inside it.
    for (uint32_t length = 0; length <= sectionSize; ++length) {
        Store32(run.view() + pe.resourceHeader + 16, length);
        run.Check(anyId());
    }
    restore();
    for (uint32_t length = rsrc; length < pe.bytes.size(); ++length) {
        run.SetFileLength(length);
        run.Reset(pe.bytes.substr(0, length));
        run.Check(anyId());
    }
    run.SetFileLength(pe.bytes.size());

    const ULONGLONG elapsed = GetTickCount64() - start;
    std::cout << "[ mutation ] seed " << seed << ": " << run.cases() << " cases, " << run.failures()
              << " refused, " << run.locations() << " distinct locations copied, " << elapsed
              << " ms" << std::endl;
    EXPECT_GE(run.cases(), 100000u);
    EXPECT_TRUE(run.problems().empty()) << testing::PrintToString(run.problems());
    EXPECT_EQ(ListDirectory(dir.path()), std::vector<std::wstring>{L"image.exe"});
}

} // namespace
