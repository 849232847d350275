#include "Driver.h"
#include "InstallRun.h"
#include "common/UniqueHandle.h"
#include "log/Logger.h"
#include "Registry.h"
#include "SampleFixtures.h"
#include "TestFiles.h"

#include <windows.h>

#include <shellapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <forward_list>
#include <memory>
#include <sstream>

namespace {

const wchar_t kFrameworkKey[] = L"SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v3.5";
const wchar_t kFrameworkQuestion[] =
    L"Failed to start Setup. It looks like Microsoft .NET 3.5 has been turned off on this "
    L"computer.\nOpen the Windows Features app to turn it back on?";
const wchar_t kTooOld[] =
    L"This product can only be installed on Windows 7 Service Pack 1 or higher";

// The framework key, present or absent in the registry view that a 32-bit program reads,
// and put back as it was.
struct FrameworkKey : RegistryKeyOverride {
    explicit FrameworkKey(bool present)
        : RegistryKeyOverride(HKEY_LOCAL_MACHINE, kFrameworkKey, present, KEY_WOW64_32KEY) {}
};

// Whether this process can open the file with the access, sharing everything.
bool CanOpen(const std::wstring& path, DWORD access) {
    return static_cast<bool>(UniqueFileHandle(
        CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, 0, nullptr)));
}

bool Rename(const std::wstring& from) {
    return MoveFileW(from.c_str(), (from + L".moved").c_str());
}

TEST(InstallE2E, LaysOutEveryPayloadRunsTheSetupUiAndLeavesOnlyTheLog) {
    const std::wstring program = BuiltProgram(L"StandInSetup.exe");
    // Held, so that its workspace can be tried.
    const SetupUiHold hold(L"");
    InstallRun run(program, 0, {}, hold.name);
    // A layout that is over within a second shows no window of its own.
    HWND shown = nullptr;
    while (!shown && !hold.Started(0) && run.process->Wait(0) == false) {
        shown = WaitForWindowWhere(
            run.process->id(), [](HWND) { return true; }, 0);
    }
    EXPECT_EQ(shown, nullptr) << testing::PrintToString(WindowText(shown));
    ASSERT_TRUE(hold.Started());
    const std::wstring workspace = run.Workspace();
    ASSERT_FALSE(workspace.empty());
    // Every payload and satellite is locked: the setup UI reads them, nobody changes them.
    const std::pair<const char*, bool> attempts[] = {
        {"write the package", CanOpen(workspace + L"Orvanta.msi", GENERIC_WRITE)},
        {"delete the framework installer", DeleteFileW((workspace + L"DotNet.exe").c_str())},
        {"rename the config", Rename(workspace + L"SetupUI.exe.config")},
        {"delete a satellite", DeleteFileW((workspace + L"ja\\SetupUI.resources.dll").c_str())},
        {"rename the workspace", Rename(workspace.substr(0, workspace.size() - 1))},
    };
    for (const auto& [what, succeeded] : attempts) {
        EXPECT_FALSE(succeeded) << what;
    }
    EXPECT_TRUE(CanOpen(workspace + L"Orvanta.msi", GENERIC_READ)) << GetLastError();
    hold.Release();
    EXPECT_EQ(run.process->ExitCode(), 0u);
    EXPECT_EQ(run.Log(), ExpectedLog(program, workspace, 0));
    EXPECT_EQ(ListDirectory(workspace), std::vector<std::wstring>{L"Setup.log"});

    // Only the setup UI was started, with exactly "/log=true", and it found every payload
    // and language directory beside it; the framework installer was never started.
    const auto started = run.Started();
    ASSERT_EQ(started.size(), 1u);
    ASSERT_EQ(started[0].size(), 3u);
    EXPECT_EQ(started[0][0], workspace + L"SetupUI.exe");
    EXPECT_EQ(started[0][1], L"/log=true");
    EXPECT_EQ(started[0][2],
              L"DotNet.exe Orvanta.msi Setup.log SetupUI.exe SetupUI.exe.config de en-US es "
              L"fr it ja pt-BR ru zh-Hans");
}

// A run first deletes the payloads that a killed run left, and nothing else: not the log or
// a user's file there; not what a killed run's setup UI that still runs may need; nothing
// in a live run's workspace, where a package creation run's files named like payloads are
// locked by nothing but the run's hold; and nothing behind a link. Its own run is as ever.
TEST(InstallE2E, ARunDeletesOnlyThePayloadsThatKilledRunsLeft) {
    const std::wstring program = BuiltProgram(L"StandInSetup.exe");
    const SetupUiHold orphanHold(L"-orphan"), killedHold(L"-killed");
    InstallRun orphaned(program, 0, {}, orphanHold.name);
    ASSERT_TRUE(orphanHold.Started());
    const std::wstring orphan = orphaned.Workspace();
    ASSERT_FALSE(orphan.empty());
    const std::vector<std::wstring> orphanBefore = ListDirectory(orphan);
    ASSERT_TRUE(orphaned.process->Kill());

    InstallRun killed(program, 0, {}, killedHold.name, &orphaned);
    ASSERT_TRUE(killedHold.Started());
    const std::wstring dead = killed.Workspace();
    ASSERT_FALSE(dead.empty());
    WriteBytes(dead + L"Foreign.txt", "a user's");
    WriteBytes(dead + L"ja\\Foreign.txt", "a user's");
    ASSERT_TRUE(killed.process->Kill(true));

    const std::wstring parent = *orphaned.temp / L"OrvantaSetup\\";
    const std::vector<std::wstring> earlier = ListDirectory(parent);
    Launched live(program, L"/extract", TempAt(orphaned.temp->path()));
    HWND options = WaitForWindow(live.id(), L"#32770", kOptions);
    ASSERT_NE(options, nullptr);
    const std::wstring held = NewDirectory(parent, earlier);
    ASSERT_FALSE(held.empty());
    WriteBytes(held + L"DotNet.exe", "a live run's");

    // Links to a folder with a framework installer and a satellite: one named like a
    // workspace, one for a language of the killed run.
    const std::wstring elsewhere = *orphaned.temp / L"elsewhere\\";
    ASSERT_TRUE(CreateDirectoryW(elsewhere.c_str(), nullptr));
    WriteBytes(elsewhere + L"DotNet.exe", "elsewhere");
    WriteBytes(elsewhere + L"SetupUI.resources.dll", "elsewhere");
    const std::wstring linkName = L"0a1b2c3d-4e5f-11ef-8a6b-7c8d9e0f1a2b";
    ASSERT_TRUE(
        RunUnixUntil(parent, L"Z:\\bin\\ln", L"ln -s ../elsewhere " + linkName, linkName, true));
    ASSERT_TRUE(DeleteFileW((dead + L"ru\\SetupUI.resources.dll").c_str()));
    ASSERT_TRUE(RemoveDirectoryW((dead + L"ru").c_str()));
    ASSERT_TRUE(RunUnixUntil(dead, L"Z:\\bin\\ln", L"ln -s ../../elsewhere ru", L"ru", true));

    const std::vector<std::wstring> heldBefore = ListDirectory(held);
    InstallRun next(program, 0, {}, {}, &orphaned);
    EXPECT_EQ(next.process->ExitCode(), 0u);
    EXPECT_EQ(next.Log(), ExpectedLog(program, next.Workspace(), 0));
    EXPECT_EQ(ListDirectory(next.Workspace()), std::vector<std::wstring>{L"Setup.log"});

    EXPECT_EQ(ListDirectory(dead),
              (std::vector<std::wstring>{L"Foreign.txt", L"Setup.log", L"ja", L"ru"}));
    EXPECT_EQ(ListDirectory(dead + L"ja"), std::vector<std::wstring>{L"Foreign.txt"});
    EXPECT_EQ(ListDirectory(orphan), orphanBefore);
    EXPECT_EQ(ListDirectory(held), heldBefore);
    EXPECT_TRUE(IsDirectoryLink(parent + linkName));
    EXPECT_TRUE(IsDirectoryLink(dead + L"ru"));
    EXPECT_EQ(ListDirectory(elsewhere),
              (std::vector<std::wstring>{L"DotNet.exe", L"SetupUI.resources.dll"}));

    Click(options, IDCANCEL);
    EXPECT_EQ(live.ExitCode(), 0u);
    orphanHold.Release();
    EXPECT_TRUE(orphaned.process->WaitForEveryProcess());
    // Removed as links, before the directory goes with everything in it.
    EXPECT_TRUE(RunUnixUntil(parent, L"Z:\\bin\\rm", L"rm " + linkName, linkName, false));
    EXPECT_TRUE(RunUnixUntil(dead, L"Z:\\bin\\rm", L"rm ru", L"ru", false));
}

// The shipped executable as linked, and signed with a throwaway certificate (the
// SignedExecutable test): the signature changes nothing of the run.
TEST(InstallE2E, APlainRunInstallsTheSampleProduct) {
    for (const wchar_t* variant : {L"OrvantaSetup.exe", L"signed\\OrvantaSetup.exe"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(variant)));
        ProductSandbox sandbox;
        const std::wstring program = BuiltProgram(variant);
        ASSERT_TRUE(FileExists(program));
        InstallRun run(program);
        EXPECT_EQ(run.process->ExitCode(), 0u);
        EXPECT_TRUE(ProductSandbox::Installed());
        EXPECT_TRUE(FileExists(ProductSandbox::DefaultInstallDir() + L"Vellumo.exe"));

        // Besides the log, only the installer's own log that the setup UI wrote is left.
        const std::wstring workspace = run.Workspace();
        EXPECT_EQ(run.Log(), ExpectedLog(program, workspace, 0));
        EXPECT_EQ(ListDirectory(workspace),
                  (std::vector<std::wstring>{L"OrvantaInstall.log", L"Setup.log"}));
    }
}

TEST(InstallE2E, RunsUnderAFileNameOutsideAscii) {
    TempDir copy{L"named"};
    const std::wstring program = copy / L"Orvanta Setup \u00fc\u00e9 \u65e5\u672c.exe";
    PlacedCopy setup(BuiltProgram(L"StandInSetup.exe"), program);
    InstallRun run(program);
    EXPECT_EQ(run.process->ExitCode(), 0u);
    EXPECT_EQ(run.Log(), ExpectedLog(program, run.Workspace(), 0));
}

TEST(InstallE2E, AFailedSetupUiIsAnsweredOnlyWhenTheFrameworkIsMissing) {
    const std::wstring program = BuiltProgram(L"StandInSetup.exe");
    {
        FrameworkKey key(true);
        // The setup UI's code reaches the caller, a restart request as well as a failure.
        for (const DWORD code : {3u, 3010u}) {
            InstallRun run(program, code);
            EXPECT_EQ(run.process->ExitCode(), code);
            EXPECT_EQ(run.Log(), ExpectedLog(program, run.Workspace(), static_cast<int>(code)));
        }
    }
    {
        FrameworkKey key(false);
        InstallRun run(program, 3);
        HWND box = WaitForWindow(run.process->id(), L"#32770");
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(WindowText(box), L"Orvanta Vellumo Setup");
        EXPECT_EQ(MessageBoxText(box), kFrameworkQuestion);
        EXPECT_EQ(MessageBoxIcon(box), static_cast<UINT>(MB_ICONERROR));
        EXPECT_EQ(ButtonIds(box), (std::vector<int>{IDOK, IDCANCEL}));
        Click(box, IDCANCEL);
        EXPECT_EQ(run.process->ExitCode(), 3u);
        EXPECT_EQ(run.Started().size(), 1u);
    }
}

// Presses OK in the framework question of a run whose setup UI failed, and returns what
// was started, once every program the run started has ended: the bootstrapper does not
// wait for the Windows Features program.
std::vector<std::vector<std::wstring>> AcceptFrameworkQuestion(InstallRun& run) {
    HWND box = WaitForWindow(run.process->id(), L"#32770");
    EXPECT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), kFrameworkQuestion);
    Click(box, IDOK);
    EXPECT_EQ(run.process->ExitCode(), 3u);
    EXPECT_TRUE(run.process->WaitForEveryProcess());
    return run.Started();
}

TEST(InstallE2E, WindowsFeaturesIsStartedFromThe64BitSystemDirectoryNeverFromBesideSetup) {
    FrameworkKey key(false);
    // Setup is started from its own folder, as a downloaded installer is, with a program of
    // the same name planted beside it.
    TempDir downloads{L"downloads"};
    PlacedCopy setup(BuiltProgram(L"StandInSetup.exe"), downloads / L"StandInSetup.exe");
    PlacedCopy planted(BuiltProgram(L"standin.exe"), downloads / L"OptionalFeatures.exe");
    {
        // No Windows Features program in the system: the planted one must not run either.
        InstallRun run(downloads / L"StandInSetup.exe", 3, downloads.path());
        const auto started = AcceptFrameworkQuestion(run);
        EXPECT_EQ(started.size(), 1u) << "the program planted beside setup was started";
        EXPECT_EQ(run.process->ProcessesStarted(), 2u);
    }
    {
        // A marker only in the 64-bit system directory runs only when the redirection of
        // 32-bit programs was switched off.
        PlacedCopy marker(BuiltProgram(L"standin.exe"),
                          L"C:\\windows\\sysnative\\OptionalFeatures.exe");
        InstallRun run(downloads / L"StandInSetup.exe", 3, downloads.path());
        const auto started = AcceptFrameworkQuestion(run);
        ASSERT_EQ(started.size(), 2u);
        EXPECT_EQ(started[1][0], L"C:\\windows\\system32\\OptionalFeatures.exe");
        EXPECT_EQ(started[1][1], L"");
    }
}

TEST(InstallE2E, ASetupUiThatCannotBeStartedIsReported) {
    InstallRun run(BuiltProgram(L"BrokenUiSetup.exe"));
    HWND box = WaitForWindow(run.process->id(), L"#32770");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(WindowText(box), L"Orvanta Vellumo Setup");
    EXPECT_EQ(MessageBoxText(box), L"Failed to start Setup. Please contact Technical Support.");
    EXPECT_EQ(MessageBoxIcon(box), static_cast<UINT>(MB_ICONERROR));
    Click(box, IDOK);
    // The system's reason, as the same start from here gives it (193, the file is not a
    // program, on Windows and Wine 8; Wine 10 says 6).
    TempDir text{L"notprogram"};
    WriteBytes(text / L"SetupUI.exe", "this is text, not a program\n");
    const std::wstring textProgram = text / L"SetupUI.exe";
    SHELLEXECUTEINFOW start{};
    start.cbSize = sizeof(start);
    start.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    start.lpVerb = L"open";
    start.lpFile = textProgram.c_str();
    start.lpParameters = L"/log=true";
    start.nShow = SW_SHOWDEFAULT;
    ASSERT_FALSE(ShellExecuteExW(&start));
    const DWORD reason = GetLastError();
    EXPECT_NE(reason, 0u);
    EXPECT_EQ(run.process->ExitCode(), reason);
    const std::string log = run.Log();
    EXPECT_NE(log.find("\n  Succeeded: 0\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("Waiting"), std::string::npos) << log;
    EXPECT_EQ(ListDirectory(run.Workspace()), std::vector<std::wstring>{L"Setup.log"});
}

TEST(InstallE2E, AMissingPayloadIsReportedAfterTheEarlierOnesAreDeleted) {
    InstallRun run(BuiltProgram(L"NoUiSetup.exe"));
    HWND box = WaitForWindow(run.process->id(), L"#32770");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(WindowText(box), L"Orvanta Setup");
    EXPECT_EQ(MessageBoxText(box), L"Exception: ResourceDir::GetChildWithId");
    // While the box is up, the package and the framework installer are already gone.
    EXPECT_EQ(ListDirectory(run.Workspace()), std::vector<std::wstring>{L"Setup.log"});
    Click(box, IDOK);
    EXPECT_EQ(run.process->ExitCode(), static_cast<DWORD>(ERROR_INSTALL_FAILURE));
    EXPECT_TRUE(run.Started().empty());
}

// A copy with one byte changed in the package or in a satellite is refused before anything
// runs, with the damaged resource named in the log and only the log left in the workspace.
TEST(InstallE2E, ADamagedCopyIsRefusedBeforeAnythingRuns) {
    TempDir copies{L"damaged"};
    for (const uint16_t id : {135, 140}) {
        SCOPED_TRACE(id);
        const std::wstring program = copies / (L"Damaged" + std::to_wstring(id) + L".exe");
        WriteDamagedCopy(BuiltProgram(L"StandInSetup.exe"), id, program);
        InstallRun run(program);
        HWND box = WaitForWindow(run.process->id(), L"#32770");
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(WindowText(box), L"Orvanta Vellumo Setup");
        EXPECT_EQ(MessageBoxText(box), L"The setup file is damaged and cannot be used. Please "
                                       L"download it again, or copy it again from the original "
                                       L"medium.");
        EXPECT_EQ(MessageBoxIcon(box), static_cast<UINT>(MB_ICONERROR));
        // A satellite's own directory stays, empty, as after any failed satellite copy.
        const std::vector<std::wstring> left = id == 135
                                                   ? std::vector<std::wstring>{L"Setup.log"}
                                                   : std::vector<std::wstring>{L"Setup.log", L"it"};
        EXPECT_EQ(ListDirectory(run.Workspace()), left);
        if (id != 135) {
            EXPECT_TRUE(ListDirectory(run.Workspace() + L"it").empty());
        }
        Click(box, IDOK);
        EXPECT_EQ(run.process->ExitCode(), static_cast<DWORD>(ERROR_FILE_CORRUPT));
        const std::string log = run.Log();
        EXPECT_NE(log.find("\nExeImage: resource " + std::to_string(id) +
                           " is damaged: its bytes do not match their digest\n"),
                  std::string::npos)
            << log;
        EXPECT_TRUE(run.Started().empty());
    }
}

void ExpectRefused(InstallRun& run) {
    HWND box = WaitForWindow(run.process->id(), L"#32770");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(WindowText(box), L"Orvanta Vellumo Setup");
    EXPECT_EQ(MessageBoxText(box), kTooOld);
    EXPECT_EQ(MessageBoxIcon(box), static_cast<UINT>(MB_ICONERROR));
    Click(box, IDOK);
    EXPECT_EQ(run.process->ExitCode(), 1u);
    EXPECT_EQ(ListDirectory(run.Workspace()), std::vector<std::wstring>{L"Setup.log"});
    EXPECT_EQ(run.Log(), "");
    EXPECT_TRUE(run.Started().empty());
}

TEST(InstallE2E, RefusesWindowsOlderThanSeven_ServicePackOne) {
    const struct {
        const wchar_t* version;
        bool supported;
    } cases[] = {{L"vista", false}, {L"win2008r2", true}, {L"win10", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.version)));
        const std::wstring name = std::wstring(L"SetupOn-") + c.version + L".exe";
        TempDir copy{L"version"};
        PlacedCopy setup(BuiltProgram(L"StandInSetup.exe"), copy / name);
        // Wine reports the Windows version named for a program's file name.
        RegistryValueOverride version(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\" + name,
                                      L"Version", REG_SZ, std::wstring(c.version));
        InstallRun run(copy / name);
        if (c.supported) {
            EXPECT_EQ(run.process->ExitCode(), 0u);
            EXPECT_EQ(run.Started().size(), 1u);
        } else {
            ExpectRefused(run);
        }
    }
}

// Windows 7 without a service pack has no name in Wine: the prefix's registry version, in
// both registry views, says it for every program started meanwhile. Wine 10 reads the
// version from the numbers CurrentMajorVersionNumber and CurrentMinorVersionNumber, which
// its prefix sets for Windows 10; Wine 8 reads the CurrentVersion text, and its prefix has
// no numbers. Both say 6.1 here.
TEST(InstallE2E, RefusesWindowsSevenWithoutServicePack) {
    const std::wstring version = L"Software\\Microsoft\\Windows NT\\CurrentVersion";
    const std::wstring windows = L"System\\CurrentControlSet\\Control\\Windows";
    // Put back newest first: the Windows key is one key in both views.
    std::forward_list<RegistryValueOverride> seven;
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        seven.emplace_front(HKEY_LOCAL_MACHINE, version, L"CurrentMajorVersionNumber", REG_DWORD,
                            RegistryNumber(6), view);
        seven.emplace_front(HKEY_LOCAL_MACHINE, version, L"CurrentMinorVersionNumber", REG_DWORD,
                            RegistryNumber(1), view);
        seven.emplace_front(HKEY_LOCAL_MACHINE, version, L"CurrentVersion", REG_SZ,
                            std::wstring(L"6.1"), view);
        seven.emplace_front(HKEY_LOCAL_MACHINE, version, L"CSDVersion", REG_SZ, std::wstring(),
                            view);
        for (const wchar_t* build : {L"CurrentBuild", L"CurrentBuildNumber"}) {
            seven.emplace_front(HKEY_LOCAL_MACHINE, version, build, REG_SZ, std::wstring(L"7600"),
                                view);
        }
        // The service pack times 256, which VerifyVersionInfoW goes by.
        seven.emplace_front(HKEY_LOCAL_MACHINE, windows, L"CSDVersion", REG_DWORD,
                            RegistryNumber(0), view);
    }
    InstallRun run(BuiltProgram(L"StandInSetup.exe"));
    ExpectRefused(run);
}

} // namespace
