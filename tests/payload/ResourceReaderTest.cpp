#include "payload/Extraction.h"

#include "payload/Digest.h"

#include "common/UniqueHandle.h"

#include "Handles.h"
#include "PayloadTest.h"
#include "PeWriter.h"

#include <imagehlp.h>

#include <vector>

namespace {

// A crafted file opened with the Image Help library, as the bootstrapper opens itself.
class LoadedPe {
  public:
    LoadedPe(const std::wstring& path, const std::string& bytes) {
        WriteBytes(path, bytes);
        image_ = ImageLoad(WideToUtf8(path).c_str(), nullptr);
    }
    ~LoadedPe() {
        if (image_) {
            ImageUnload(image_);
        }
    }
    LoadedPe(const LoadedPe&) = delete;
    LoadedPe& operator=(const LoadedPe&) = delete;
    const LOADED_IMAGE* get() const { return image_; }

  private:
    LOADED_IMAGE* image_ = nullptr;
};

class ResourceReaderTest : public SetupLogTest {
  protected:
    // Extracts the id from the file, to a new output file and over an older one; returns
    // the error text, or checks the bytes. A failing walk touches no file: it makes none,
    // and leaves an older one (an administrator's, say) as it was.
    std::string Extract(const std::string& file, uint16_t id, const std::string& expected = {}) {
        const LoadedPe pe(dir / L"image.exe", file);
        EXPECT_NE(pe.get(), nullptr);
        const std::wstring out = dir / L"out.bin";
        std::string error;
        for (const bool older : {false, true}) {
            older ? WriteBytes(out, "an older file") : void(DeleteFileW(out.c_str()));
            error = ErrorText([&] { ExtractResourceFrom(pe.get(), id, out); });
            if (error.empty()) {
                EXPECT_EQ(ReadBytes(out), expected);
            } else if (older) {
                EXPECT_EQ(ReadBytes(out), "an older file") << error;
            } else {
                EXPECT_FALSE(FileExists(out)) << error;
            }
        }
        return error;
    }

    TempDir dir{L"rr"};
};

const std::string kSmall = Pattern(300, 1);
const std::string kDecoy = Pattern(77, 2);

ResourceNode FullTree() {
    std::vector<ResourceNode> payloads;
    for (uint16_t id = 132; id <= 144; ++id) {
        payloads.push_back(BinPayload(id, id == 135 ? kSmall : Pattern(id, id)));
    }
    return Root({Named(L"ABC", {BinPayload(135, kDecoy)}), Named(L"BIN", payloads),
                 Named(L"BINARY", {BinPayload(135, kDecoy)}),
                 Id(3, {Id(1, {IdData(1033, kDecoy)})}), Id(24, {Id(1, {IdData(2057, kDecoy)})})});
}

TEST_F(ResourceReaderTest, WalksToTheBinPayloadOrNamesTheFailingOperation) {
    const ResourceNode decoyDirectory = BinPayload(135, kDecoy);
    const struct {
        const char* what;
        ResourceNode tree;
        uint16_t id;
        const char* error;
    } cases[] = {
        {"BIN among other types", FullTree(), 135, ""},
        {"id below the range", FullTree(), 131, "ResourceDir::GetChildWithId"},
        {"id above the range", FullTree(), 145, "ResourceDir::GetChildWithId"},
        {"names that are prefixes of BIN come first",
         Root({Named(L"", {decoyDirectory}), Named(L"B", {decoyDirectory}),
               Named(L"BI", {decoyDirectory}), Named(L"BINX", {decoyDirectory}),
               Named(L"BIN", {BinPayload(135, kSmall)})}),
         135, ""},
        {"only prefixes of BIN",
         Root({Named(L"", {decoyDirectory}), Named(L"B", {decoyDirectory}),
               Named(L"BI", {decoyDirectory})}),
         135, "ResourceDir::GetChildWithName"},
        {"lower-case bin", Root({Named(L"bin", {BinPayload(135, kSmall)})}), 135,
         "ResourceDir::GetChildWithName"},
        {"integer types only", Root({Id(10, {BinPayload(135, kSmall)})}), 135,
         "ResourceDir::GetChildWithName"},
        {"two languages",
         Root({Named(L"BIN", {Id(135, {IdData(1033, kSmall), IdData(2057, kSmall)})})}), 135,
         "ResourceDir::GetResourceData"},
        {"id entry straight at data", Root({Named(L"BIN", {IdData(135, kSmall)})}), 135,
         "ResourceDir::ResourceDir"},
        {"empty root", Root({}), 135, "ResourceDir::GetFirstEntry"},
        {"empty BIN", Root({Named(L"BIN", {})}), 135, "ResourceDir::GetFirstEntry"},
        {"empty payload directory", Root({Named(L"BIN", {Id(135, {})})}), 135,
         "ResourceDir::GetResourceData"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // The build records the digests; a walk that fails never gets to them.
        EXPECT_EQ(Extract(BuildPe(*c.error ? c.tree : WithDigests(c.tree)).bytes, c.id, kSmall),
                  c.error);
    }
    // With several ".rsrc" sections the last one is read.
    const ResourceNode decoyTree = Root({Named(L"BIN", {decoyDirectory})});
    EXPECT_EQ(Extract(BuildPe(WithDigests(FullTree()), &decoyTree).bytes, 135, kSmall), "");
    // Only the entries after the named ones are id entries, even a named one whose name
    // field looks like the id.
    PeFile namedLikeAnId = BuildPe(WithDigests(
        Root({Named(L"BIN", {Named(L"X", {IdData(2057, kDecoy)}), BinPayload(135, kSmall)})})));
    Put32(namedLikeAnId.bytes, namedLikeAnId.resourceStart + namedLikeAnId.directories[1] + 16,
          135);
    EXPECT_EQ(Extract(namedLikeAnId.bytes, 135, kSmall), "");
    // Failures of the walk write nothing to the log.
    EXPECT_EQ(LogText(), "");
}

TEST_F(ResourceReaderTest, CopiesEverySizeAroundTheChunkLengthExactly) {
    const uint32_t MiB = 1024 * 1024;
    // The first copy, which warms up, is digested on a thread beside it.
    const std::vector<uint32_t> sizes{3 * MiB, 0, 1, MiB - 1, MiB, MiB + 1};
    std::vector<ResourceNode> payloads;
    for (std::size_t index = 0; index < sizes.size(); ++index) {
        payloads.push_back(BinPayload(static_cast<uint16_t>(132 + index),
                                      Pattern(sizes[index], static_cast<uint32_t>(index))));
    }
    const LoadedPe pe(dir / L"sizes.exe",
                      BuildPe(WithDigests(Root({Named(L"BIN", payloads)}))).bytes);
    DWORD handles = 0;
    for (std::size_t index = 0; index < sizes.size(); ++index) {
        handles = index == 1 ? OpenHandleCount() : handles; // the first copy warms up
        const std::wstring out = dir / (L"size" + std::to_wstring(index));
        ExtractResourceFrom(pe.get(), static_cast<uint16_t>(132 + index), out);
        EXPECT_EQ(ReadBytes(out), Pattern(sizes[index], static_cast<uint32_t>(index)))
            << sizes[index];
    }
    // Wine lets go of what the digest threads held a little after they end.
    EXPECT_EQ(SettledHandleCount(handles), handles);
}

// Every structure the walk reads must lie inside the resource data, the data inside the
// section, and the section inside the file.
TEST_F(ResourceReaderTest, RefusesEveryStructureOutsideItsBounds) {
    const PeFile valid = BuildPe(
        Root({Named(L"ABC", {BinPayload(1, kDecoy)}), Named(L"BIN", {BinPayload(135, kSmall)})}));
    const uint32_t rsrc = valid.resourceStart;
    const uint32_t size = static_cast<uint32_t>(valid.bytes.size()) - rsrc;
    const uint32_t root = rsrc + valid.directories[0];
    const uint32_t abcEntry = root + 16;
    const uint32_t binEntry = root + 24;
    const uint32_t languageEntry = rsrc + valid.directories[4] + 16;
    const uint32_t data = rsrc + valid.dataEntries[1];
    const struct {
        const char* what;
        std::function<void(std::string&)> damage;
        const char* error;
    } cases[] = {
        {"no section named .rsrc", [&](std::string& f) { f[valid.resourceHeader + 4] = 'd'; },
         "ResourceSection::ResourceSection"},
        {"raw data past the end of the file",
         [&](std::string& f) { Put32(f, valid.resourceHeader + 16, size + 1); },
         "ResourceSection::ResourceSection"},
        {"file cut inside the section", [&](std::string& f) { f.resize(rsrc + size / 2); },
         "ResourceSection::ResourceSection"},
        {"root entries past the end", [&](std::string& f) { Put16(f, root + 12, 0xFFFF); },
         "ResourceDir::GetFirstEntry"},
        {"name outside", [&](std::string& f) { Put32(f, binEntry, 0x80000000u | size); },
         "ResourceDir::GetChildWithName"},
        {"name running past the end",
         [&](std::string& f) { Put16(f, rsrc + (Get32(f, binEntry) & 0xFFFF), 0xFFFF); },
         "ResourceDir::GetChildWithName"},
        {"an earlier name running past the end",
         [&](std::string& f) { Put16(f, rsrc + (Get32(f, abcEntry) & 0xFFFF), 0xFFFF); },
         "ResourceDir::GetChildWithName"},
        {"subdirectory outside",
         [&](std::string& f) { Put32(f, binEntry + 4, 0x80000000u | (size - 8)); },
         "ResourceDir::ResourceDir"},
        {"data entry outside", [&](std::string& f) { Put32(f, languageEntry + 4, size - 4); },
         "ResourceDir::GetResourceData"},
        {"data starting before the section",
         [&](std::string& f) { Put32(f, data, kResourceRva - 1); },
         "ResourceSection::RvaToFilePosition"},
        {"data starting at the section end",
         [&](std::string& f) { Put32(f, data, kResourceRva + size); },
         "ResourceSection::RvaToFilePosition"},
        {"data running past the section end", [&](std::string& f) { Put32(f, data + 4, size); },
         "ResourceSection::RvaToFilePosition"},
        {"data size wrapping around", [&](std::string& f) { Put32(f, data + 4, 0xFFFFFFFFu); },
         "ResourceSection::RvaToFilePosition"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string file = valid.bytes;
        c.damage(file);
        EXPECT_EQ(Extract(file, 135), c.error);
    }
}

// A copy that cannot be completed leaves no file, logs its step with the error code and
// raises the step.
TEST_F(ResourceReaderTest, CopyFailuresLeaveNoFileAndAreLoggedWithTheirCode) {
    const std::wstring sourcePath = dir / L"source.bin";
    WriteBytes(sourcePath, Pattern(1536 * 1024, 3));
    const HANDLE readable =
        CreateFileW(sourcePath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, 0, nullptr);
    const HANDLE writeOnly =
        CreateFileW(sourcePath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(readable, INVALID_HANDLE_VALUE);
    ASSERT_NE(writeOnly, INVALID_HANDLE_VALUE);
    const struct {
        const char* what;
        HANDLE source;
        uint32_t size;
        std::wstring out;
        const char* error;
        const char* line;
    } cases[] = {
        {"no source", nullptr, 10, dir / L"out.bin", "SetFilePointerEx failed",
         "ExeImage: SetFilePointerEx failed Error: 6\n"},
        {"data past the end of the file", readable, 2 * 1024 * 1024, dir / L"out.bin",
         "ReadFile failed", "ExeImage: ReadFile failed Error: 38\n"},
        {"source not readable", writeOnly, 10, dir / L"out.bin", "ReadFile failed",
         "ExeImage: ReadFile failed Error: 5\n"},
        {"output directory missing", readable, 10, dir / L"missing\\out.bin",
         "Image loading failed", "ExeImage: CreateFile failed Error: 3\n"},
    };
    std::string expectedLog;
    DWORD handles = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        handles = &c == &cases[1] ? OpenHandleCount() : handles; // the first case warms up
        EXPECT_EQ(ErrorText([&] {
                      CopyResourceBytes(c.source, {135, 4096, c.size, 0}, c.out);
                  }),
                  c.error);
        EXPECT_FALSE(FileExists(c.out));
        expectedLog += c.line;
        EXPECT_EQ(LogText(), expectedLog);
    }
    // A copy of more than one chunk has a digest thread, whose handles Wine lets go of late.
    EXPECT_EQ(SettledHandleCount(handles), handles);
    CloseHandle(readable);
    CloseHandle(writeOnly);
}

// The bytes are checked against the digest the build recorded as they are copied. A change
// anywhere is refused like a failed copy, leaving no file; a resource the table does not
// vouch for is refused before any file is made, so an older one stays as it was.
TEST_F(ResourceReaderTest, RefusesBytesThatDoNotMatchTheRecordedDigest) {
    const std::string bytes = Pattern(2 * 1024 * 1024 + 300, 7); // the third chunk is short
    const std::string table = DigestTableText({{135, bytes}});
    std::string firstChunk = bytes;
    firstChunk[10] ^= 0x01;
    std::string lastChunk = bytes;
    lastChunk.back() ^= 0x80;
    std::string tabbedTable = table;
    tabbedTable[tabbedTable.find(' ')] = '\t';
    const std::string noDigest =
        "ExeImage: resource 135 is damaged: no digest is recorded for it\n";
    const std::string mismatch =
        "ExeImage: resource 135 is damaged: its bytes do not match their digest\n";
    const struct {
        const char* what;
        const std::string& payload;
        std::string table; // none when empty
        const std::string& line;
    } cases[] = {
        {"a byte of the first chunk", firstChunk, table, mismatch},
        {"a byte of the last chunk", lastChunk, table, mismatch},
        {"no line for the id", bytes, DigestTableText({{134, bytes}}), noDigest},
        {"a malformed line", bytes, tabbedTable, noDigest},
        {"no table", bytes, "", noDigest},
    };
    std::string expectedLog;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<ResourceNode> types{Named(L"BIN", {BinPayload(135, c.payload)})};
        if (!c.table.empty()) {
            types.push_back(Named(L"DIGESTS", {Id(1, {IdData(2057, c.table)})}));
        }
        const std::string file = BuildPe(Root(types)).bytes;
        if (&c.line == &noDigest) {
            EXPECT_EQ(Extract(file, 135), "The setup file is damaged.");
            expectedLog += c.line + c.line; // a fresh path, then over an older file
        } else {
            const LoadedPe pe(dir / L"image.exe", file);
            const std::wstring out = dir / L"out.bin";
            EXPECT_EQ(ErrorText([&] { ExtractResourceFrom(pe.get(), 135, out); }),
                      "The setup file is damaged.");
            EXPECT_FALSE(FileExists(out));
            expectedLog += c.line;
        }
        EXPECT_EQ(LogText(), expectedLog);
    }
}

// Lets the copy go on for a number of chunks, then asks it to stop.
class StoppingObserver : public CopyObserver {
  public:
    explicit StoppingObserver(size_t chunksAllowed) : chunksAllowed_(chunksAllowed) {}
    bool ShouldContinue() override { return chunks.size() < chunksAllowed_; }
    void Copied(uint32_t bytes) override { chunks.push_back(bytes); }

    std::vector<uint32_t> chunks;

  private:
    size_t chunksAllowed_;
};

// The observer sees every chunk, which add up to the whole; a stop after chunk k reads
// nothing more, logs nothing and leaves no output file. A stop before the first chunk
// leaves an older file at the path as it was.
TEST_F(ResourceReaderTest, AnObserverFollowsEveryChunkAndCanStopTheCopy) {
    const std::string bytes = Pattern(2 * 1024 * 1024 + 4096 + 1000, 5);
    const uint32_t size = static_cast<uint32_t>(bytes.size() - 4096);
    const std::wstring sourcePath = dir / L"source.bin";
    WriteBytes(sourcePath, bytes);
    const UniqueFileHandle source(CreateFileW(sourcePath.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                              nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(source);
    const std::wstring out = dir / L"out.bin";
    constexpr uint32_t kChunk = 1024 * 1024;
    for (const size_t allowed : {size_t{0}, size_t{1}, size_t{2}, size_t{3}}) {
        SCOPED_TRACE(allowed);
        WriteBytes(out, "an older file");
        StoppingObserver observer(allowed);
        const ResourceLocation resource{135, 4096, size,
                                        PayloadDigestOf(bytes.data() + 4096, size)};
        const std::string error =
            ErrorText([&] { CopyResourceBytes(source.get(), resource, out, &observer); });
        LARGE_INTEGER position{};
        SetFilePointerEx(source.get(), LARGE_INTEGER{}, &position, FILE_CURRENT);
        if (allowed == 3) {
            EXPECT_EQ(error, "");
            EXPECT_EQ(observer.chunks, (std::vector<uint32_t>{kChunk, kChunk, size - 2 * kChunk}));
            EXPECT_EQ(ReadBytes(out), bytes.substr(4096));
            continue;
        }
        EXPECT_EQ(error, "Cancelled by the user.");
        EXPECT_EQ(observer.chunks, std::vector<uint32_t>(allowed, kChunk));
        EXPECT_EQ(position.QuadPart, 4096 + static_cast<LONGLONG>(allowed) * kChunk);
        if (allowed == 0) {
            EXPECT_EQ(ReadBytes(out), "an older file");
        } else {
            EXPECT_FALSE(FileExists(out));
        }
    }
    EXPECT_EQ(LogText(), "");
}

} // namespace
