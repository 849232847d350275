#include "resources/ResourceIds.h"

#include "Driver.h"
#include "PackageDriver.h"
#include "PackageFiles.h"
#include "TestFiles.h"

#include <shlobj.h>

#include <gtest/gtest.h>

// /extract and /defaults of a bootstrapper carrying a real test package (product/), driven
// from outside through the option dialog, the agreement, the save dialog and the result.
namespace {

// The test package's own values, which package creation must leave alone when it does not
// write a row.
const std::wstring kPackageNoUpdateCheck = L"package value 1";
const std::wstring kPackageNoEula = L"package value 2";
const std::wstring kPackageInstallDir = L"C:\\Orvanta Package Default\\";

bool WaitUntilChecked(HWND dialog, int id) {
    return WaitUntil([&] { return IsChecked(dialog, id); });
}

void SetControlText(HWND dialog, int id, const std::wstring& text) {
    SendMessageW(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

struct Choices {
    std::wstring installDir; // typed into the box; empty leaves it blank
    bool desktopShortcut = false;
    bool noUpdateCheck = false;   // /extract only
    bool acceptAgreement = false; // /extract only
};

// Sets the options in the option dialog and chooses the package file in the save dialog.
void CreatePackage(const SetupRun& run, const Choices& choices, const std::wstring& path) {
    HWND options = WaitForWindow(run.setup.id(), L"#32770", kOptions);
    ASSERT_NE(options, nullptr);
    if (!choices.installDir.empty()) {
        SetControlText(options, IDC_INSTALL_DIR, choices.installDir);
    }
    if (choices.desktopShortcut) {
        ClickNow(options, IDC_DESKTOP_SHORTCUT);
    }
    if (choices.noUpdateCheck) {
        ClickNow(options, IDC_NO_UPDATE_CHECK);
    }
    if (choices.acceptAgreement) {
        Click(options, IDC_NO_EULA);
        HWND agreement = WaitForWindow(run.setup.id(), L"#32770", kAgreement);
        ASSERT_NE(agreement, nullptr);
        Click(agreement, IDOK);
        ASSERT_TRUE(WaitUntilChecked(options, IDC_NO_EULA));
    }
    Click(options, IDC_CREATE);
    ASSERT_TRUE(ChooseSaveFile(run.setup.id(), path));
}

// Closes the result dialog with OK or Cancel, the Explorer box set as given.
void CloseResult(const SetupRun& run, int button, bool showInExplorer) {
    HWND result = run.Result();
    ASSERT_NE(result, nullptr);
    EXPECT_TRUE(IsChecked(result, IDC_SHOW_IN_EXPLORER));
    if (!showInExplorer) {
        ClickNow(result, IDC_SHOW_IN_EXPLORER);
    }
    Click(result, button);
}

std::map<std::wstring, std::wstring> Rows(const std::wstring& package) {
    const std::multimap<std::wstring, std::wstring> table = ReadPropertyTable(package);
    std::map<std::wstring, std::wstring> rows(table.begin(), table.end());
    EXPECT_EQ(rows.size(), table.size()) << "a property is in the table twice";
    return rows;
}

TEST(PackageCreationE2E, ExtractWithEveryOptionWritesFourRowsAndShowsThePackageInExplorer) {
    SetupRun run(L"PackageSetup", L"/extract");
    const std::wstring package = run.temp / L"Silent Package.msi";
    const std::wstring typed = L"  C:\\Typed Install Dir\\ ";
    CreatePackage(run, {typed, true, true, true}, package);
    CloseResult(run, IDOK, true);
    EXPECT_EQ(run.setup.ExitCode(), 0u);

    const auto rows = Rows(package);
    EXPECT_EQ(rows.at(L"NO_UPDATE_CHECK_PROPERTY"), L"#1");
    EXPECT_EQ(rows.at(L"NO_EULA_PROPERTY"), L"#1");
    EXPECT_EQ(rows.at(L"INSTALL_DESKTOP_SHORTCUT_PROPERTY"), L"#1");
    EXPECT_EQ(rows.at(L"INSTALL_DIR_PROPERTY"), typed);
    EXPECT_EQ(run.Log().rfind(L"ExeImage: module path is ", 0), 0u);

    // Explorer is started by the bootstrapper with the package selected. Wine's Explorer
    // shows no window for "/select,", so its process and command line are looked at; the
    // quotes around the path are checked in-process (PackageCreationTest).
    // Explorer was started before the bootstrapper ended, and Wine's stays running.
    const std::vector<DWORD> explorers = ChildProcesses(run.setup.id(), L"explorer.exe");
    ASSERT_EQ(explorers.size(), 1u);
    EXPECT_EQ(run.setup.ProcessesStarted(), 2u);
    const std::vector<std::wstring> commandLines =
        HostCommandLinesContaining(L"explorer.exe /select," + package);
    for (DWORD explorer : explorers) {
        EndProcess(explorer);
    }
    ASSERT_EQ(commandLines.size(), 1u);
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    EXPECT_EQ(commandLines[0].rfind(std::wstring(windows) + L"\\explorer.exe /select,", 0), 0u)
        << testing::PrintToString(commandLines[0]);
}

TEST(PackageCreationE2E, ExtractWithEveryBoxUncheckedWritesThreeZerosAndNoDirectory) {
    SetupRun run(L"PackageSetup", L"/extract");
    const std::wstring package = run.temp / L"unchecked.msi";
    CreatePackage(run, {}, package);
    CloseResult(run, IDOK, false);
    EXPECT_EQ(run.setup.ExitCode(), 0u);
    EXPECT_EQ(run.setup.ProcessesStarted(), 1u) << "the bootstrapper started a program";

    const auto rows = Rows(package);
    EXPECT_EQ(rows.at(L"NO_UPDATE_CHECK_PROPERTY"), L"#0");
    EXPECT_EQ(rows.at(L"NO_EULA_PROPERTY"), L"#0");
    EXPECT_EQ(rows.at(L"INSTALL_DESKTOP_SHORTCUT_PROPERTY"), L"#0");
    EXPECT_EQ(rows.at(L"INSTALL_DIR_PROPERTY"), kPackageInstallDir);
}

// The signature covers the package payload and changes nothing of it: the shipped
// executable as linked and signed (the SignedExecutable test) write the same bytes.
TEST(PackageCreationE2E, TheSignedExecutableExtractsTheSamePackage) {
    std::vector<std::string> packages;
    for (const wchar_t* variant : {L"OrvantaSetup", L"signed\\OrvantaSetup"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(variant)));
        SetupRun run(variant, L"/extract");
        const std::wstring package = run.temp / L"Orvanta.msi";
        CreatePackage(run, {}, package);
        CloseResult(run, IDOK, false);
        EXPECT_EQ(run.setup.ExitCode(), 0u);
        packages.push_back(ReadBytes(package));
    }
    ASSERT_EQ(packages.size(), 2u);
    EXPECT_FALSE(packages[0].empty());
    // Compared whole, without printing a package's bytes.
    EXPECT_TRUE(packages[0] == packages[1]) << "the packages differ";
}

TEST(PackageCreationE2E, DefaultsWritesOnlyTheShortcutAndATypedDirectory) {
    const struct {
        const char* name;
        Choices choices;
        const wchar_t* shortcut;
        std::wstring installDir;
    } cases[] = {
        {"typed, shortcut", Choices{L"D:\\Defaults Dir", true, false, false}, L"#1",
         L"D:\\Defaults Dir"},
        {"blank, no shortcut", Choices{L"", false, false, false}, L"#0", kPackageInstallDir},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetupRun run(L"PackageSetup", L"/defaults");
        HWND options = WaitForWindow(run.setup.id(), L"#32770", kOptions);
        ASSERT_NE(options, nullptr);
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(options, IDC_NO_UPDATE_CHECK)));
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(options, IDC_NO_EULA)));
        const std::wstring package = run.temp / L"defaults.msi";
        CreatePackage(run, c.choices, package);
        CloseResult(run, IDCANCEL, true);
        EXPECT_EQ(run.setup.ExitCode(), 0u);
        EXPECT_EQ(run.setup.ProcessesStarted(), 1u) << "the bootstrapper started a program";

        const auto rows = Rows(package);
        EXPECT_EQ(rows.at(L"NO_UPDATE_CHECK_PROPERTY"), kPackageNoUpdateCheck);
        EXPECT_EQ(rows.at(L"NO_EULA_PROPERTY"), kPackageNoEula);
        EXPECT_EQ(rows.at(L"INSTALL_DESKTOP_SHORTCUT_PROPERTY"), c.shortcut);
        EXPECT_EQ(rows.at(L"INSTALL_DIR_PROPERTY"), c.installDir);
    }
}

TEST(PackageCreationE2E, CancellingTheOptionsWritesNothingAndNeverLoadsTheImage) {
    const struct {
        const char* name;
        void (*close)(HWND);
    } closes[] = {{"Cancel", [](HWND options) { Click(options, IDCANCEL); }},
                  {"Escape", PressEscape},
                  {"close box", CloseBox}};
    for (const auto& close : closes) {
        SCOPED_TRACE(close.name);
        SetupRun run(L"PackageSetup", L"/extract");
        HWND options = WaitForWindow(run.setup.id(), L"#32770", kOptions);
        ASSERT_NE(options, nullptr);
        close.close(options);
        EXPECT_EQ(run.setup.ExitCode(), 0u);
        // The log would hold the module path line had the image been loaded.
        EXPECT_EQ(run.Log(), L"");
        const std::wstring parent = run.temp / L"OrvantaSetup\\";
        ASSERT_EQ(ListDirectory(parent).size(), 1u);
        EXPECT_EQ(ListDirectory(parent + ListDirectory(parent)[0]),
                  std::vector<std::wstring>{L"Setup.log"});
        EXPECT_EQ(ListDirectory(run.temp.path()), std::vector<std::wstring>{L"OrvantaSetup"});
    }
}

TEST(PackageCreationE2E, AnExistingFileIsReplacedOnceTheOverwriteIsConfirmed) {
    SetupRun run(L"PackageSetup", L"/extract");
    const std::wstring package = run.temp / L"existing.msi";
    WriteBytes(package, "an older file of the administrator's");
    CreatePackage(run, {L"E:\\Over", true}, package);

    // The save dialog asks before it accepts an existing file.
    HWND prompt = WaitForBoxWithText(run.setup.id(), L"already exists");
    ASSERT_NE(prompt, nullptr);
    Click(prompt, IDYES);
    CloseResult(run, IDCANCEL, true);
    EXPECT_EQ(run.setup.ExitCode(), 0u);

    const auto rows = Rows(package);
    EXPECT_EQ(rows.at(L"INSTALL_DIR_PROPERTY"), L"E:\\Over");
    EXPECT_EQ(rows.at(L"INSTALL_DESKTOP_SHORTCUT_PROPERTY"), L"#1");
}

TEST(PackageCreationE2E, APayloadThatIsNotAPackageIsReportedAndLeavesNoFile) {
    SetupRun run(L"NotAPackageSetup", L"/extract");
    const std::wstring package = run.temp / L"broken.msi";
    CreatePackage(run, {L"C:\\Anywhere", true, true}, package);
    HWND box = WaitForWindow(run.setup.id(), L"#32770", L"Orvanta Setup");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), L"Exception: MsiOpenDatabase failed");
    EXPECT_FALSE(FileExists(package));
    Click(box, IDOK);
    EXPECT_EQ(run.setup.ExitCode(), static_cast<DWORD>(ERROR_INSTALL_FAILURE));
    EXPECT_FALSE(FileExists(package));
}

// A damaged package is refused while it is written: nothing is left at the chosen path,
// and no result dialog follows the box.
TEST(PackageCreationE2E, ADamagedPackageIsRefusedAndLeavesNoFile) {
    TempDir copies{L"damaged"};
    const std::wstring program = copies / L"DamagedPackageSetup.exe";
    WriteDamagedCopy(BuiltProgram(L"PackageSetup.exe"), 135, program);
    SetupRun run(program, L"/extract");
    const std::wstring package = run.temp / L"damaged.msi";
    CreatePackage(run, {L"C:\\Anywhere", true, true}, package);
    HWND box = WaitForBoxWithText(run.setup.id(), L"The setup file is damaged");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(WindowText(box), L"Orvanta Vellumo Setup");
    EXPECT_FALSE(FileExists(package));
    Click(box, IDOK);
    EXPECT_EQ(run.setup.ExitCode(), static_cast<DWORD>(ERROR_FILE_CORRUPT));
    EXPECT_FALSE(FileExists(package));
}

std::wstring KnownFolder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return std::wstring(path) + L"\\";
}

TEST(PackageCreationE2E, TheCreatedPackageInstallsSilentlyWithTheChosenOptions) {
    const std::wstring shortcutName = L"Orvanta Vellumo Test.lnk";
    const std::wstring desktops[] = {KnownFolder(CSIDL_DESKTOPDIRECTORY),
                                     KnownFolder(CSIDL_COMMON_DESKTOPDIRECTORY)};
    auto shortcutInstalled = [&] {
        return FileExists(desktops[0] + shortcutName) || FileExists(desktops[1] + shortcutName);
    };
    ASSERT_FALSE(shortcutInstalled());

    for (const bool shortcut : {true, false}) {
        SCOPED_TRACE(shortcut ? "with shortcut" : "without shortcut");
        SetupRun run(L"PackageSetup", L"/extract");
        const std::wstring installDir = run.temp / L"Installed Here\\";
        const std::wstring package = run.temp / L"silent.msi";
        CreatePackage(run, {installDir, shortcut}, package);
        CloseResult(run, IDCANCEL, true);
        ASSERT_EQ(run.setup.ExitCode(), 0u);

        ASSERT_EQ(Msiexec(L"/i \"" + package + L"\" /qn"), 0u);
        EXPECT_TRUE(FileExists(installDir + L"ReadMe.txt"));
        EXPECT_EQ(shortcutInstalled(), shortcut);
        EXPECT_FALSE(DirectoryExists(kPackageInstallDir));

        EXPECT_EQ(Msiexec(L"/x \"" + package + L"\" /qn"), 0u);
        EXPECT_FALSE(FileExists(installDir + L"ReadMe.txt"));
        EXPECT_FALSE(shortcutInstalled());
    }
}

} // namespace
