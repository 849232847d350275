#include "workspace/ChildProcess.h"

#include "Handles.h"
#include "TestFiles.h"
#include "log/Logger.h"

#include <gtest/gtest.h>

namespace {

// Copies the stand-in program, which exits with the code its argument names, into a
// directory whose name has blanks.
class ChildProcessTest : public testing::Test {
  protected:
    void SetUp() override {
        CreateDirectoryW(program.substr(0, program.rfind(L'\\')).c_str(), nullptr);
        ASSERT_TRUE(CopyFileW((BinDirectory() + L"standin.exe").c_str(), program.c_str(), FALSE));
        OpenSetupLog(dir.path());
    }
    void TearDown() override {
        Logger.close();
        Logger.clear();
    }
    std::string Log() { return ReadBytes(dir / L"Setup.log"); }

    TempDir dir{L"child"};
    const std::wstring program = dir / L"with blanks\\exit with.exe";
};

TEST_F(ChildProcessTest, ReportsTheExitCodeOfAStartedChildAndLogsEachStage) {
    // "show" exits with the show state the child was started with.
    const struct {
        const wchar_t* parameters;
        bool minimised;
        DWORD code;
        const char* logged;
    } cases[] = {{L"0", false, 0, "0"},
                 {L"3", false, 3, "3"},
                 {L"0xC0000005", false, 0xC0000005, "-1073741819"},
                 {L"show", true, SW_SHOWMINNOACTIVE, "7"},
                 {L"show", false, SW_SHOWDEFAULT, "10"}};
    const std::string path = WideToUtf8(program);
    std::string expected;
    DWORD handles = 0;
    for (const auto& c : cases) {
        handles = &c == &cases[1] ? OpenHandleCount() : handles; // the first start warms up
        ChildProcess child{program, c.parameters, c.minimised};
        DWORD exitCode = 0;
        EXPECT_TRUE(child.RunAndWait(exitCode));
        EXPECT_EQ(exitCode, c.code);
        expected += "Trying to start process: " + path + " " + WideToUtf8(c.parameters) + "\n" +
                    "  Succeeded: 1\nWaiting for process to finish...\n  Exit code: " + c.logged +
                    "\n";
    }
    EXPECT_EQ(OpenHandleCount(), handles);
    EXPECT_EQ(Log(), expected);
}

TEST_F(ChildProcessTest, PassesTheArgumentTextAsItStands) {
    const std::wstring record = dir / L"record.txt";
    DWORD exitCode = 0;
    {
        const ScopedEnvironment variables({{L"STANDIN_RECORD", record}});
        EXPECT_TRUE((ChildProcess{program, L"7 /log=true \"x y\"", true}.RunAndWait(exitCode)));
    }
    EXPECT_EQ(exitCode, 7u);
    // Its own path, then the argument text, as the child was given it.
    const std::string line = ReadBytes(record);
    EXPECT_EQ(line.substr(line.find('\t') + 1, 18), "7 /log=true \"x y\"\t");
}

TEST_F(ChildProcessTest, AMissingProgramIsNotStartedAndShowsNothing) {
    const std::wstring missing = dir / L"missing.exe";
    // The shell's first use keeps handles of its own; a start of the helper makes it.
    DWORD exitCode = 0;
    ASSERT_TRUE((ChildProcess{program, L"0", true}.RunAndWait(exitCode)));
    Logger.close();
    OpenSetupLog(dir.path());
    const DWORD handles = OpenHandleCount();
    ChildProcess child{missing, L"", false};
    EXPECT_FALSE(child.RunAndWait(exitCode));
    EXPECT_EQ(OpenHandleCount(), handles);
    EXPECT_EQ(exitCode, 0xFFFFFFFFu);
    EXPECT_EQ(Log(), "Trying to start process: " + WideToUtf8(missing) + " \n  Succeeded: 0\n");
}

} // namespace
