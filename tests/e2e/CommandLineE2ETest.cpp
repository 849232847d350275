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
        Click(box, IDOK);
        EXPECT_EQ(setup.ExitCode(), 0u);
        EXPECT_TRUE(ListDirectory(temp.path()).empty());
    }
}

// A temporary directory that is missing, and a shared parent that is a link to another
// directory (which would make the run write and delete its files there).
TEST(RunSetupE2E, AWorkspaceThatCannotBeMadeSafelyIsReportedInTheExceptionBox) {
    TempDir temp{L"notemp"};
    ASSERT_TRUE(CreateDirectoryW((temp / L"elsewhere").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((temp / L"linked").c_str(), nullptr));
    // A link planted where the shared parent belongs, as another user could plant one.
    ASSERT_TRUE(RunUnixUntil(temp / L"linked\\", L"Z:\\bin\\ln", L"ln -s ../elsewhere OrvantaSetup",
                             L"OrvantaSetup", true));
    for (const wchar_t* directory : {L"does-not-exist\\", L"linked\\"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(directory)));
        Launched setup(Bootstrapper(), L"", TempAt(temp / directory));
        HWND box = WaitForWindow(setup.id(), L"#32770");
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(WindowText(box), L"Orvanta Setup");
        EXPECT_EQ(MessageBoxText(box), L"Exception: CreateDirectory failed");
        EXPECT_EQ(MessageBoxIcon(box), static_cast<UINT>(MB_ICONERROR));
        Click(box, IDOK);
        EXPECT_EQ(setup.ExitCode(), static_cast<DWORD>(ERROR_INSTALL_FAILURE));
    }
    EXPECT_EQ(ListDirectory(temp.path()), (std::vector<std::wstring>{L"elsewhere", L"linked"}));
    EXPECT_TRUE(ListDirectory(temp / L"elsewhere\\").empty());
    EXPECT_TRUE(RunUnixUntil(temp / L"linked\\", L"Z:\\bin\\rm", L"rm OrvantaSetup",
                             L"OrvantaSetup", false));
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
