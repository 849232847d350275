#include "payload/ExeImage.h"
#include "payload/ImageError.h"

#include "Driver.h"
#include "PayloadTest.h"

#include <vector>

namespace {

std::wstring ModulePath() {
    std::vector<wchar_t> buffer(4096);
    return std::wstring(buffer.data(), GetModuleFileNameW(nullptr, buffer.data(), 4096));
}

class ExeImageTest : public SetupLogTest {
  protected:
    TempDir dir{L"img"};
};

// This test program carries "BIN" resources of its own, so the image it opens is itself.
TEST_F(ExeImageTest, LoadsItsOwnFileAndPutsTheCurrentDirectoryBackHoweverLong) {
    std::wstring deep = dir.path() + L"deep";
    CreateDirectoryW(deep.c_str(), nullptr);
    while (deep.size() <= 300) {
        deep += L"\\" + std::wstring(40, L'd');
        ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
    }
    const std::wstring original = ReadCurrentDirectory();
    std::string expectedLog;
    for (const std::wstring& current : {dir.path() + L"deep", deep}) {
        SCOPED_TRACE(WideToUtf8(current));
        ASSERT_TRUE(SetCurrentDirectoryW(current.c_str()));
        {
            ExeImage image;
            EXPECT_EQ(ReadCurrentDirectory(), current);
            ASSERT_NE(image.image(), nullptr);
            image.ExtractResource(135, dir / L"135.bin");
            EXPECT_EQ(ReadBytes(dir / L"135.bin"), TestPayload(135));
        }
        expectedLog += "ExeImage: module path is " + WideToUtf8(ModulePath()) + "\n";
        EXPECT_EQ(LogText(), expectedLog);
    }
    SetCurrentDirectoryW(original.c_str());
}

// Last-error codes are unsigned: one with the top bit set is logged above 2147483647.
TEST_F(ExeImageTest, LogsTheStepWithTheLastErrorCodeUnsigned) {
    EXPECT_EQ(ErrorText([] {
                  SetLastError(0xE0000001);
                  ThrowImageError("Step failed");
              }),
              "Image loading failed");
    EXPECT_EQ(LogText(), "ExeImage: Step failed Error: 3758096385\n");
}

// Copies of the probe program, started as their own processes, under names and paths that
// load or fail; each reports whether its current directory was put back.
TEST(ExeImageProbe, EveryFailureRaisesImageLoadingFailedWithItsStepInTheLog) {
    const struct {
        const char* what;
        std::wstring name;
        std::size_t pathLength; // 0: as the name gives it
        const wchar_t* argument;
        const char* outcome;
        const char* failureLine;
    } cases[] = {
        {"non-ASCII name", L"probe \u00e9t\u00e9 \u65e5\u672c.exe", 0, L"", "loaded", nullptr},
        {"file gone", L"probe.exe", 0, L"missing", "Image loading failed",
         "ExeImage: ImageLoad failed Error: 2\n"},
        {"path of 259 characters", L"", 259, L"", "loaded", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir{L"probe"};
        const std::wstring cwd = dir / L"cwd";
        CreateDirectoryW(cwd.c_str(), nullptr);
        std::wstring program = dir / c.name;
        if (c.pathLength) {
            program += std::wstring(c.pathLength - program.size() - 4, L'p') + L".exe";
        }
        ASSERT_TRUE(
            CopyFileW((BinDirectory() + L"payload_probe.exe").c_str(), program.c_str(), TRUE));

        Launched probe(program, c.argument, {}, cwd);
        EXPECT_EQ(probe.ExitCode(), 0u);
        EXPECT_EQ(ReadBytes(dir / L"outcome.txt"),
                  std::string(c.outcome) + "\ndirectory restored\n");
        // The module path is logged before anything is checked.
        std::string log = "ExeImage: module path is " + WideToUtf8(program) + "\n";
        if (c.failureLine) {
            log += c.failureLine;
        } else {
            EXPECT_EQ(ReadBytes(dir / L"135.bin"), TestPayload(135));
        }
        EXPECT_EQ(ReadBytes(dir / L"Setup.log"), log);
    }
}

} // namespace
