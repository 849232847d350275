#include "payload/Extraction.h"

#include "payload/Digest.h"

#include "PayloadTest.h"
#include "PeWriter.h"

#include <cstring>
#include <iostream>
#include <random>
#include <set>
#include <vector>

namespace {

// Memory whose last byte is followed by an inaccessible page: an image placed at its end
// makes any read past what the walk was given crash the test instead of passing unnoticed.
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

// Walks damaged copies of a valid image, as a record over memory whose file is the valid
// image, and checks each outcome: one of the walk's own texts and no output file, or a
// location inside the section whose bytes the copy reproduces exactly.
class MutationRun {
  public:
    MutationRun(const PeFile& pe, const std::wstring& directory)
        : pe_(pe), directory_(directory), view_(pe.bytes.size()) {
        WriteBytes(directory + L"image.exe", pe.bytes);
        file_ = CreateFileW((directory + L"image.exe").c_str(), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    }
    ~MutationRun() { CloseHandle(file_); }

    void SetFileLength(uint64_t length) {
        LARGE_INTEGER position{};
        position.QuadPart = static_cast<LONGLONG>(length);
        SetFilePointerEx(file_, position, nullptr, FILE_BEGIN);
        SetEndOfFile(file_);
    }

    void Check(const std::string& damaged, uint16_t id) {
        LOADED_IMAGE record{};
        record.hFile = file_;
        record.MappedAddress = view_.Place(damaged);
        record.NumberOfSections = pe_.sectionCount;
        record.Sections =
            reinterpret_cast<PIMAGE_SECTION_HEADER>(record.MappedAddress + pe_.sectionTable);
        const std::wstring out = directory_ + L"out" + std::to_wstring(cases_++);

        ResourceLocation where;
        const std::string error = ErrorText([&] { where = LocateResource(&record, id); });
        if (!error.empty()) {
            ++refused_;
            if (!kWalkErrors.count(error)) {
                Report("unexpected text " + error);
            } else if (ErrorText([&] { ExtractResourceFrom(&record, id, out); }) != error) {
                Report("the extraction failed differently from the walk");
            }
            return;
        }
        const uint64_t rawStart = Get32(damaged, pe_.resourceHeader + 20);
        const uint64_t rawEnd = rawStart + Get32(damaged, pe_.resourceHeader + 16);
        if (where.position < rawStart || where.position + where.size > rawEnd ||
            rawEnd > damaged.size()) {
            Report("data outside the section");
        } else if (copied_.insert({where.position, where.size}).second) {
            // The file does not change, so one copy per location shows what every copy gives.
            const std::string expected = pe_.bytes.substr(where.position, where.size);
            where.digest = PayloadDigestOf(expected.data(), expected.size());
            CopyResourceBytes(record.hFile, where, out);
            if (ReadBytes(out) != expected) {
                Report("copied bytes differ");
            }
            DeleteFileW(out.c_str());
        }
    }

    unsigned cases() const { return cases_; }
    unsigned refused() const { return refused_; }
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
    unsigned cases_ = 0;
    unsigned refused_ = 0;
    std::set<std::pair<uint64_t, uint32_t>> copied_;
    std::vector<std::string> problems_;
};

TEST(ResourceMutation, DamagedImagesFailWithTheirOperationOrYieldExactlyTheirBytes) {
    const uint32_t seed = 20240611;
    std::mt19937 random(seed);
    auto below = [&](std::size_t bound) { return static_cast<uint32_t>(random() % bound); };

    TempDir dir{L"mut"};
    const PeFile pe = BuildPe(
        Root({Named(L"ABC", {BinPayload(135, Pattern(40, 9))}),
              Named(L"BIN", {BinPayload(132, Pattern(48, 1)), BinPayload(133, Pattern(1, 2)),
                             Id(134, {IdData(1033, Pattern(8, 3)), IdData(2057, Pattern(8, 4))}),
                             BinPayload(135, Pattern(100, 5)), BinPayload(144, "")}),
              Named(L"TXT", {BinPayload(157, Pattern(30, 6))}), Id(3, {Id(1, {IdData(2057, "i")})}),
              Id(24, {Id(1, {IdData(2057, "m")})})}));
    MutationRun run(pe, dir.path());
    const uint32_t rsrc = pe.resourceStart;
    const uint32_t sectionSize = static_cast<uint32_t>(pe.bytes.size()) - rsrc;
    const uint16_t ids[] = {132, 133, 134, 135, 135, 144, 136, 157};
    auto check = [&](const std::string& damaged) { run.Check(damaged, ids[below(8)]); };

    // Where offsets and counts lie, and the values that send an offset outside the data,
    // to its edges, or back into the tree to make loops.
    std::vector<uint32_t> offsetFields, countFields;
    std::vector<uint32_t> targets{0, sectionSize, 0x7FFFFFFF, 0xFFFFFFFF};
    for (const uint32_t directory : pe.directories) {
        targets.push_back(directory);
        countFields.insert(countFields.end(), {rsrc + directory + 12, rsrc + directory + 14});
        const uint32_t entries = Get32(pe.bytes, rsrc + directory + 12);
        for (uint32_t entry = 0; entry < (entries & 0xFFFF) + (entries >> 16); ++entry) {
            offsetFields.insert(offsetFields.end(), {rsrc + directory + 16 + 8 * entry,
                                                     rsrc + directory + 20 + 8 * entry});
        }
    }
    for (const uint32_t data : pe.dataEntries) {
        targets.push_back(data);
        offsetFields.insert(offsetFields.end(), {rsrc + data, rsrc + data + 4});
    }
    const ULONGLONG start = GetTickCount64();

    for (int n = 0; n < 60000; ++n) { // bit flips in the section header and the tree
        std::string damaged = pe.bytes;
        for (uint32_t flips = 1 + below(3); flips > 0; --flips) {
            const uint32_t at =
                below(10) ? rsrc + below(pe.treeSize) : pe.resourceHeader + below(40);
            damaged[at] ^= static_cast<char>(1u << below(8));
        }
        check(damaged);
    }
    for (int n = 0; n < 25000; ++n) { // offsets moved
        const uint32_t choices[] = {static_cast<uint32_t>(random()), sectionSize - below(24),
                                    below(sectionSize + 64), targets[below(targets.size())]};
        uint32_t value = choices[below(4)] ^ (below(2) ? 0x80000000u : 0);
        value += below(3) ? 0 : kResourceRva;
        std::string damaged = pe.bytes;
        Put32(damaged, offsetFields[below(offsetFields.size())], value);
        check(damaged);
    }
    for (int n = 0; n < 15000; ++n) { // entry counts inflated or cleared
        const uint32_t field = countFields[below(countFields.size())];
        const uint16_t current = static_cast<uint16_t>(Get32(pe.bytes, field));
        const uint16_t values[] = {0,
                                   1,
                                   2,
                                   static_cast<uint16_t>(current + 1),
                                   static_cast<uint16_t>(current + 2),
                                   0x7FFF,
                                   0xFFFF,
                                   static_cast<uint16_t>(random())};
        std::string damaged = pe.bytes;
        Put16(damaged, field, values[below(8)]);
        check(damaged);
    }
    for (uint32_t length = 0; length <= sectionSize; ++length) { // every raw data length
        std::string damaged = pe.bytes;
        Put32(damaged, pe.resourceHeader + 16, length);
        check(damaged);
    }
    for (uint32_t length = rsrc; length < pe.bytes.size(); ++length) { // every cut of the file
        run.SetFileLength(length);
        check(pe.bytes.substr(0, length));
    }
    run.SetFileLength(pe.bytes.size());

    std::cout << "[ mutation ] seed " << seed << ": " << run.cases() << " cases, " << run.refused()
              << " refused, " << run.locations() << " distinct locations copied, "
              << GetTickCount64() - start << " ms" << std::endl;
    EXPECT_GE(run.cases(), 100000u);
    EXPECT_TRUE(run.problems().empty()) << testing::PrintToString(run.problems());
    EXPECT_EQ(ListDirectory(dir.path()), std::vector<std::wstring>{L"image.exe"});
}

} // namespace
