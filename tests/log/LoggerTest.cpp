#include "log/Logger.h"

#include "TestFiles.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace {

// Each case opens the process-wide log on a file of its own and closes it again.
class LoggerTest : public testing::Test {
  protected:
    void TearDown() override {
        Logger.close();
        Logger.clear();
    }
    TempDir dir{L"log"};
};

TEST_F(LoggerTest, WritesUtf8LinesWithLineFeedsAndNumbersInTheirForms) {
    OpenSetupLog(dir.path());
    ASSERT_TRUE(Logger.good());
    const std::wstring path = L"C:\\Users\\J\u00fcrgen\\\u65e5\u672c\\Setup \U0001F600.exe";
    Logger << "ExeImage: module path is " << path << std::endl;
    Logger << L"  Exit code: " << static_cast<int>(0xFFFFFFFFu) << std::endl;
    Logger << L"  Exit code: " << static_cast<int>(0xC0000005u) << std::endl;
    Logger << "ExeImage: "
           << "ImageLoad failed"
           << " Error: " << static_cast<unsigned long>(0x80070005u) << std::endl;
    Logger << L"" << L"  Succeeded: " << 1 << std::endl;

    const std::string expected =
        "ExeImage: module path is C:\\Users\\J\xC3\xBCrgen\\\xE6\x97\xA5\xE6\x9C\xAC\\Setup "
        "\xF0\x9F\x98\x80.exe\n"
        "  Exit code: -1\n"
        "  Exit code: -1073741819\n"
        "ExeImage: ImageLoad failed Error: 2147942405\n"
        "  Succeeded: 1\n";
    EXPECT_EQ(ReadBytes(dir / L"Setup.log"), expected);
}

TEST_F(LoggerTest, TruncatesAnExistingFileAndAddsNoSeparator) {
    WriteBytes(dir / L"Setup.log", "old contents that must go\r\n");
    OpenSetupLog(dir.path());
    EXPECT_EQ(ReadBytes(dir / L"Setup.log"), "");

    Logger.close();
    const std::wstring withoutSlash = dir / L"run";
    OpenSetupLog(withoutSlash);
    Logger << L"x" << std::endl;
    EXPECT_EQ(ReadBytes(dir / L"runSetup.log"), "x\n");
}

TEST_F(LoggerTest, EachLineCanBeReadByAnotherHandleWhileTheLogIsOpen) {
    OpenSetupLog(dir.path());
    Logger << L"Waiting for process to finish..." << std::endl;
    HANDLE other = CreateFileW((dir / L"Setup.log").c_str(), GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE) << GetLastError();
    char buffer[64] = {};
    DWORD read = 0;
    ReadFile(other, buffer, sizeof(buffer), &read, nullptr);
    CloseHandle(other);
    EXPECT_EQ(std::string(buffer, read), "Waiting for process to finish...\n");
}

TEST_F(LoggerTest, AFailedOpenLetsEveryWriteGoOnSilently) {
    OpenSetupLog(dir / L"missing\\");
    EXPECT_TRUE(Logger.fail());
    EXPECT_NO_THROW(Logger << "ExeImage: " << L"path" << 5 << std::endl);
    EXPECT_FALSE(FileExists(dir / L"missing\\Setup.log"));
    // Nothing of it was kept: a later log on a directory that exists holds only its own lines.
    OpenSetupLog(dir.path());
    Logger << L"after" << std::endl;
    EXPECT_EQ(ReadBytes(dir / L"Setup.log"), "after\n");
}

TEST(WideToUtf8, ConvertsUpToTheFirstNul) {
    EXPECT_EQ(WideToUtf8(L""), "");
    EXPECT_EQ(WideToUtf8(L"abc"), "abc");
    EXPECT_EQ(WideToUtf8(std::wstring(L"ab\0cd", 5)), "ab");
    EXPECT_EQ(WideToUtf8(L"\u00e9\u20ac"), "\xC3\xA9\xE2\x82\xAC");
    // An unpaired surrogate becomes the replacement character.
    EXPECT_EQ(WideToUtf8(std::wstring(1, wchar_t(0xD800))), "\xEF\xBF\xBD");
}

} // namespace
