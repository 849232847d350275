// The sample setup UI started as its own process from a temporary folder holding what the
// bootstrapper lays out.
#include "Driver.h"
#include "Language.h"
#include "SampleFixtures.h"
#include "Strings.h"

#include <gtest/gtest.h>
#include <msi.h>

#include <functional>

namespace {

const wchar_t kWindowClass[] = L"OrvantaSetupUI";

// A string of a built satellite, the way the program reads it.
std::wstring SatelliteString(const std::wstring& tag, UINT id) {
    const std::wstring path = SampleLayout() + tag + L"\\SetupUI.resources.dll";
    UniqueLibrary satellite(LoadLibraryExW(
        path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    wchar_t text[512] = {};
    return satellite && LoadStringW(satellite.get(), id, text, 512) > 0 ? text : L"";
}

// The failure text of a language with the code put in.
std::wstring FailureText(const std::wstring& tag, UINT code) {
    std::wstring text = SatelliteString(tag, IDS_FAILED);
    text.replace(text.find(L"%1"), 2, std::to_wstring(code));
    return text;
}

// What Windows Installer itself answers for a package that cannot be installed.
UINT InstallerCode(const std::wstring& package) {
    MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
    return MsiInstallProductW(package.c_str(), L"");
}

HWND ChildOfClass(HWND parent, const wchar_t* className) {
    return FindWindowExW(parent, nullptr, className, nullptr);
}

TEST(SetupUi, InstallsFromATempFolderWithoutAClickAlsoWhenInstalledAlready) {
    ProductSandbox sandbox;
    TempDir folder{L"setupui"};
    CopySampleLayout(folder.path());
    // Copies of a DLL that leaves a marker when loaded, named like the DLLs the program
    // uses; Wine is told to search like Windows, the program's folder first.
    for (const wchar_t* name : {L"msi.dll", L"comctl32.dll"}) {
        ASSERT_TRUE(
            CopyFileW((BinDirectory() + L"planted.dll").c_str(), (folder / name).c_str(), FALSE));
    }
    const std::wstring overrides = L"Software\\Wine\\AppDefaults\\SetupUI.exe\\DllOverrides";
    RegistryValueOverride nativeMsi(HKEY_CURRENT_USER, overrides, L"msi", REG_SZ,
                                    L"native,builtin");
    RegistryValueOverride nativeControls(HKEY_CURRENT_USER, overrides, L"comctl32", REG_SZ,
                                         L"native,builtin");
    const std::wstring log = folder / L"OrvantaInstall.log";

    EXPECT_EQ(RunToEnd(folder / L"SetupUI.exe", L""), 0u);
    EXPECT_TRUE(ProductSandbox::Installed());
    EXPECT_TRUE(FileExists(ProductSandbox::DefaultInstallDir() + L"Vellumo.exe"));
    EXPECT_FALSE(FileExists(log));

    // The second run finds the product installed, which is success, and logs verbosely.
    EXPECT_EQ(RunToEnd(folder / L"SetupUI.exe", L"/log=true"), 0u);
    EXPECT_TRUE(ProductSandbox::Installed());
    ASSERT_TRUE(FileExists(log));
    const std::string text = ReadBytes(log);
    const std::wstring wide(reinterpret_cast<const wchar_t*>(text.data()), text.size() / 2);
    EXPECT_TRUE(text.find("Orvanta Vellumo") != std::string::npos ||
                wide.find(L"Orvanta Vellumo") != std::wstring::npos);

    EXPECT_FALSE(FileExists(folder / L"msi.dll.loaded"));
    EXPECT_FALSE(FileExists(folder / L"comctl32.dll.loaded"));
}

TEST(SetupUi, AFailureIsShownOverTheProgressWindowAndEndsWithItsCode) {
    const struct {
        const wchar_t* name;
        std::function<void(const std::wstring& folder)> spoil;
        bool configFault;
    } cases[] = {
        {L"missing package",
         [](const std::wstring& f) { DeleteFileW((f + L"Orvanta.msi").c_str()); }, false},
        {L"broken package",
         [](const std::wstring& f) { WriteBytes(f + L"Orvanta.msi", std::string(4096, 'x')); },
         false},
        {L"missing config",
         [](const std::wstring& f) { DeleteFileW((f + L"SetupUI.exe.config").c_str()); }, true},
        {L"config naming a package elsewhere",
         [](const std::wstring& f) {
             WriteBytes(
                 f + L"SetupUI.exe.config",
                 "<configuration><appSettings><add key=\"Package\" value=\"..\\Orvanta.msi\"/>"
                 "</appSettings></configuration>");
         },
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.name)));
        TempDir folder{L"fail"};
        CopySampleLayout(folder.path());
        c.spoil(folder.path());
        const UINT expected =
            c.configFault ? ERROR_BAD_CONFIGURATION : InstallerCode(folder / L"Orvanta.msi");

        Launched ui(folder / L"SetupUI.exe", L"/log=true");
        HWND box = WaitForWindow(ui.id(), L"#32770");
        ASSERT_NE(box, nullptr);
        HWND window = WaitForWindow(ui.id(), kWindowClass);
        ASSERT_NE(window, nullptr);
        EXPECT_NE(ChildOfClass(window, L"msctls_progress32"), nullptr);
        EXPECT_EQ(WindowText(box), SatelliteString(L"en-US", IDS_TITLE));
        const std::wstring text = MessageBoxText(box);
        if (c.configFault) {
            EXPECT_EQ(text, SatelliteString(L"en-US", IDS_CONFIG_DAMAGED));
        } else {
            EXPECT_EQ(text.substr(0, FailureText(L"en-US", expected).size()),
                      FailureText(L"en-US", expected));
        }
        Click(box, IDOK);
        EXPECT_NE(expected, 0u);
        EXPECT_EQ(ui.ExitCode(), expected);
    }
}

// Runs once per user language that the build sets up (LC_ALL of the Wine process).
TEST(SetupUiLanguage, SpeaksTheUsersLanguageFromTheSatelliteInItsFolder) {
    const std::wstring locale = UserUiLanguage();
    const struct {
        const wchar_t* locale;
        const wchar_t* tag;
    } languages[] = {{L"en-US", L"en-US"},
                     {L"de-AT", L"de"},
                     {L"zh-CN", L"zh-Hans"},
                     {L"pt-BR", L"pt-BR"},
                     {L"ko-KR", L"en-US"}};
    std::wstring expected;
    for (const auto& language : languages) {
        if (locale == language.locale) {
            expected = language.tag;
        }
    }
    if (expected.empty()) {
        GTEST_SKIP() << "no expectation for this user language";
    }
    const std::wstring other = expected == L"de" ? L"ru" : L"de";
    const struct {
        const wchar_t* name;
        std::function<void(const std::wstring& folder)> change;
        std::wstring shown; // the language whose texts appear
    } cases[] = {
        {L"all satellites", [](const std::wstring&) {}, expected},
        {L"another language's file in the user's folder",
         [&](const std::wstring& f) {
             CopyFileW((f + other + L"\\SetupUI.resources.dll").c_str(),
                       (f + expected + L"\\SetupUI.resources.dll").c_str(), FALSE);
         },
         other},
        {L"no satellites: the program's own English",
         [](const std::wstring& f) {
             for (const std::wstring& tag : SatelliteTags()) {
                 RemoveTree(f + tag);
             }
         },
         L"en-US"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.name)));
        TempDir folder{L"lang"};
        CopySampleLayout(folder.path());
        // Without a package the run stops at its failure box, with every text on screen.
        DeleteFileW((folder / L"Orvanta.msi").c_str());
        c.change(folder.path());

        Launched ui(folder / L"SetupUI.exe", L"");
        HWND box = WaitForWindow(ui.id(), L"#32770");
        ASSERT_NE(box, nullptr);
        HWND window = WaitForWindow(ui.id(), kWindowClass);
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(WindowText(window), SatelliteString(c.shown, IDS_TITLE));
        EXPECT_EQ(WindowText(ChildOfClass(window, L"Static")),
                  SatelliteString(c.shown, IDS_PREPARING));
        EXPECT_EQ(WindowText(GetDlgItem(window, IDCANCEL)), SatelliteString(c.shown, IDS_CANCEL));
        EXPECT_EQ(WindowText(box), SatelliteString(c.shown, IDS_TITLE));
        const std::wstring failure = SatelliteString(c.shown, IDS_FAILED);
        EXPECT_EQ(MessageBoxText(box).substr(0, failure.find(L"%1")),
                  failure.substr(0, failure.find(L"%1")));
        Click(box, IDOK);
        EXPECT_NE(ui.ExitCode(), 0u);
    }
}

} // namespace
