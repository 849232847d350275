#include "Driver.h"
#include "common/UniqueHandle.h"
#include "log/Logger.h"
#include "Registry.h"
#include "SampleFixtures.h"
#include "TestFiles.h"

#include <windows.h>

#include <gtest/gtest.h>

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

// One run of a bootstrapper variant with its own temporary directory; the stand-ins it
// starts record themselves in a file of the run.
class InstallRun {
  public:
    explicit InstallRun(const std::wstring& program, DWORD setupUiExitCode = 0,
                        const std::wstring& currentDirectory = {},
                        const std::wstring& setupUiHold = {}) {
        auto environment = TempAt(temp.path());
        environment[L"STANDIN_RECORD"] = record;
        environment[L"STANDIN_EXIT_CODE"] = std::to_wstring(setupUiExitCode);
        environment[L"STANDIN_HOLD"] = setupUiHold;
        process = std::make_unique<Launched>(program, L"", environment, currentDirectory);
    }

    std::wstring Workspace() const {
        const std::vector<std::wstring> runs = ListDirectory(temp / L"OrvantaSetup");
        return runs.size() == 1 ? temp / (L"OrvantaSetup\\" + runs[0] + L"\\") : std::wstring();
    }
    std::string Log() const { return ReadBytes(Workspace() + L"Setup.log"); }
    // One entry per started stand-in: path, argument text and the names beside it.
    std::vector<std::vector<std::wstring>> Started() const {
        std::vector<std::vector<std::wstring>> lines;
        if (!FileExists(record)) {
            return lines;
        }
        std::wstringstream all(Utf8ToWide(ReadBytes(record)));
        for (std::wstring line; std::getline(all, line);) {
            std::vector<std::wstring> fields;
            std::wstringstream parts(line);
            for (std::wstring field; std::getline(parts, field, L'\t');) {
                fields.push_back(field);
            }
            lines.push_back(fields);
        }
        return lines;
    }

    TempDir temp{L"install"};
    const std::wstring record = temp / L"started.txt";
    std::unique_ptr<Launched> process;
};

// The framework key, present or absent in the registry view that a 32-bit program reads,
// and put back as it was.
struct FrameworkKey : RegistryKeyOverride {
    explicit FrameworkKey(bool present)
        : RegistryKeyOverride(HKEY_LOCAL_MACHINE, kFrameworkKey, present, KEY_WOW64_32KEY) {}
};

// A copy of a file, removed again at the end of the scope. A copy that stays (in the
// system directory of the prefix, say) would change every later run, so failing to remove
// it fails the test; a program started from it may still be ending.
class PlacedCopy {
  public:
    PlacedCopy(const std::wstring& from, const std::wstring& to) : path_(to) {
        EXPECT_TRUE(CopyFileW(from.c_str(), to.c_str(), FALSE)) << GetLastError();
    }
    ~PlacedCopy() {
        const ULONGLONG deadline = GetTickCount64() + 20000;
        while (!DeleteFileW(path_.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) {
            if (GetTickCount64() >= deadline) {
                ADD_FAILURE() << "cannot remove " << testing::PrintToString(path_) << ": "
                              << GetLastError();
                return;
            }
            Sleep(50);
        }
    }

  private:
    std::wstring path_;
};

std::string ExpectedLog(const std::wstring& program, const std::wstring& workspace, int exitCode) {
    return "ExeImage: module path is " + WideToUtf8(program) + "\n" +
           "Trying to start process: " + WideToUtf8(workspace) + "SetupUI.exe /log=true\n" +
           "  Succeeded: 1\nWaiting for process to finish...\n  Exit code: " +
           std::to_string(exitCode) + "\n";
}

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
    // The setup UI stand-in says it has started and waits for the hold event, so that its
    // workspace can be tried.
    const std::wstring holdName = L"OrvantaStandInHold" + std::to_wstring(GetCurrentProcessId());
    const UniqueKernelHandle hold(CreateEventW(nullptr, TRUE, FALSE, holdName.c_str()));
    const UniqueKernelHandle running(
        CreateEventW(nullptr, TRUE, FALSE, (holdName + L"-started").c_str()));
    ASSERT_TRUE(hold && running);
    InstallRun run(program, 0, {}, holdName);
    ASSERT_EQ(WaitForSingleObject(running.get(), 60000), WAIT_OBJECT_0);
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
    SetEvent(hold.get());
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
        InstallRun run(program, 3);
        EXPECT_EQ(run.process->ExitCode(), 0u);
        EXPECT_EQ(run.Log(), ExpectedLog(program, run.Workspace(), 3));
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
        EXPECT_EQ(run.process->ExitCode(), 0u);
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
    EXPECT_EQ(run.process->ExitCode(), 0u);
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
    EXPECT_EQ(run.process->ExitCode(), 0u);
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
    EXPECT_EQ(run.process->ExitCode(), 0u);
    EXPECT_TRUE(run.Started().empty());
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
