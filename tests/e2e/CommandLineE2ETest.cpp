#include "Driver.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

namespace {

const std::wstring kHelpText =
    L"Options:\n\n/help\tShow this message\n/extract\tCreate MSI for silent installation\n"
    L"/defaults\tCreate MSI for silent installation (for use with an Orvanta.defaults file)\n";

std::wstring Bootstrapper() {
    return BuiltProgram(L"OrvantaSetup.exe");
}

TEST(HelpE2E, EveryHelpRequestShowsTheSwitchesAndCreatesNothing) {
    const wchar_t* requests[] = {L"/help",          L"/?",           L"/Help",
                                 L"-help",          L"\"/extract\"", L"/extract\t/defaults",
                                 L"/extract /help", L"/defaults x"};
    for (const wchar_t* request : requests) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(request)));
        TempDir temp{L"help"};
        Launched setup(Bootstrapper(), request, TempAt(temp.path()));
        HWND box = WaitForWindow(setup.id(), L"#32770");
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(WindowText(box), L"Orvanta Vellumo Setup");
        EXPECT_EQ(MessageBoxText(box), kHelpText);
        EXPECT_EQ(MessageBoxIcon(box), static_cast<UINT>(MB_ICONINFORMATION));
        EXPECT_EQ(ButtonIds(box), std::vector<int>{IDOK});
        Press(box, IDOK);
        EXPECT_EQ(setup.ExitCode(), 0u);
        EXPECT_TRUE(ListDirectory(temp.path()).empty());
    }
}

TEST(RunSetupE2E, AMissingTemporaryDirectoryIsReportedInTheExceptionBox) {
    TempDir temp{L"notemp"};
    Launched setup(Bootstrapper(), L"", TempAt(temp / L"does-not-exist\\"));
    HWND box = WaitForWindow(setup.id(), L"#32770");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(WindowText(box), L"Orvanta Setup");
    EXPECT_EQ(MessageBoxText(box), L"Exception: CreateDirectory failed");
    EXPECT_EQ(MessageBoxIcon(box), static_cast<UINT>(MB_ICONERROR));
    Press(box, IDOK);
    EXPECT_EQ(setup.ExitCode(), 0u);
    EXPECT_TRUE(ListDirectory(temp.path()).empty());
}

} // namespace

namespace {

TEST(RunSetupE2E, EachPlainRunMakesItsOwnWorkspaceWithASetupLog) {
    TempDir temp{L"plain"};
    for (int run = 0; run < 2; ++run) {
        Launched setup(BuiltProgram(L"StandInSetup.exe"), L"", TempAt(temp.path()));
        EXPECT_EQ(setup.ExitCode(), 0u);
    }
    const std::wstring parent = temp / L"OrvantaSetup\\";
    const std::vector<std::wstring> workspaces = ListDirectory(parent);
    ASSERT_EQ(workspaces.size(), 2u);
    for (const std::wstring& workspace : workspaces) {
        EXPECT_EQ(ListDirectory(parent + workspace), std::vector<std::wstring>{L"Setup.log"});
        EXPECT_NE(ReadBytes(parent + workspace + L"\\Setup.log"), "");
    }
}

} // namespace
