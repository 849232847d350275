#include "resources/ResourceIds.h"

#include "Driver.h"
#include "InstallRun.h"
#include "PackageDriver.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <iostream>

// Runs from a slow medium: slow-medium.sh puts copies of a bootstrapper with a large
// package on a file system whose reads are throttled, one copy per case so that none is
// read from the page cache, and names them in ORVANTA_SLOW_SETUP_<case>.
namespace {

std::wstring SlowCopy(const wchar_t* name) {
    wchar_t value[MAX_PATH] = {};
    const std::wstring variable = std::wstring(L"ORVANTA_SLOW_SETUP_") + name;
    return GetEnvironmentVariableW(variable.c_str(), value, MAX_PATH) ? value : L"";
}

HWND WaitForProgressWindow(DWORD processId) {
    return WaitForWindowWhere(
        processId, [](HWND window) { return GetDlgItem(window, IDC_PROGRESS_BAR) != nullptr; },
        60000);
}

LRESULT BarPosition(HWND window) {
    return SendDlgItemMessageW(window, IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0);
}

// Waits until the bar has reached the position (of 1000); false when the window went
// first.
bool WaitForBar(HWND window, LRESULT position) {
    return WaitUntil([&] { return !IsWindow(window) || BarPosition(window) >= position; }) &&
           IsWindow(window);
}

TEST(SlowMediumE2E, TheWindowShowsWithinTwoSecondsFollowsTheCopyAndGoesBeforeTheSetupUi) {
    const std::wstring program = SlowCopy(L"SHOWN");
    ASSERT_FALSE(program.empty()) << "run by slow-medium.sh";
    const SetupUiHold hold(L"slow");
    const ULONGLONG start = GetTickCount64();
    InstallRun run(program, 0, {}, hold.name);
    // The run's own work begins with its workspace; before that the system loads the
    // executable, itself from the slow medium.
    ASSERT_TRUE(WaitUntil([&] { return !run.Workspace().empty(); }));
    const ULONGLONG begun = GetTickCount64();
    HWND window = WaitForProgressWindow(run.process->id());
    const ULONGLONG shownAfter = GetTickCount64() - begun;
    ASSERT_NE(window, nullptr);
    std::cout << "progress window shown " << shownAfter << " ms after the run began, "
              << GetTickCount64() - start << " ms after the process was created\n";
    EXPECT_LE(shownAfter, 2000u);
    EXPECT_EQ(WindowText(window), L"Orvanta Vellumo Setup");
    EXPECT_EQ(WindowText(GetDlgItem(window, IDC_PROGRESS_TEXT)), L"Preparing setup...");
    const LRESULT first = BarPosition(window);
    EXPECT_TRUE(WaitForBar(window, first + 100)) << first;

    // The setup UI says it has started: by then the window must be gone.
    ASSERT_TRUE(hold.Started(120000));
    EXPECT_FALSE(IsWindow(window));
    hold.Release();
    EXPECT_EQ(run.process->ExitCode(), 0u);
    EXPECT_EQ(run.Log(), ExpectedLog(program, run.Workspace(), 0));
    EXPECT_EQ(ListDirectory(run.Workspace()), std::vector<std::wstring>{L"Setup.log"});
}

TEST(SlowMediumE2E, CancelHalfwayDeletesWhatWasLaidOutStartsNothingAndEndsWithZero) {
    const std::wstring program = SlowCopy(L"CANCELLED");
    ASSERT_FALSE(program.empty()) << "run by slow-medium.sh";
    InstallRun run(program);
    HWND window = WaitForProgressWindow(run.process->id());
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(WaitForBar(window, 400));
    std::cout << "cancelled at " << BarPosition(window) / 10 << " %\n";
    Click(window, IDCANCEL);
    // No message box holds the run up.
    EXPECT_EQ(run.process->ExitCode(), 0u);
    EXPECT_TRUE(run.Started().empty());
    EXPECT_EQ(run.process->ProcessesStarted(), 1u);
    EXPECT_EQ(ListDirectory(run.Workspace()), std::vector<std::wstring>{L"Setup.log"});
    EXPECT_EQ(run.Log(),
              "ExeImage: module path is " + WideToUtf8(program) + "\nCancelled by the user.\n");
}

TEST(SlowMediumE2E, APackageCancelledDuringItsCopyLeavesNothingAtTheChosenPath) {
    const std::wstring program = SlowCopy(L"PACKAGE");
    ASSERT_FALSE(program.empty()) << "run by slow-medium.sh";
    TempDir temp{L"slowpkg"};
    Launched setup(program, L"/extract", TempAt(temp.path()), temp.path());
    HWND options = WaitForWindow(setup.id(), L"#32770", kOptions);
    ASSERT_NE(options, nullptr);
    Click(options, IDC_CREATE);
    const std::wstring package = temp / L"Silent.msi";
    ASSERT_TRUE(ChooseSaveFile(setup.id(), package));
    HWND window = WaitForProgressWindow(setup.id());
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(WindowText(GetDlgItem(window, IDC_PROGRESS_TEXT)), L"Creating the package...");
    ASSERT_TRUE(WaitForBar(window, 100));
    Click(window, IDCANCEL);
    // No result dialog holds the run up, and nothing is left at the chosen path.
    EXPECT_EQ(setup.ExitCode(), 0u);
    EXPECT_FALSE(FileExists(package));
    EXPECT_EQ(setup.ProcessesStarted(), 1u);
}

} // namespace
