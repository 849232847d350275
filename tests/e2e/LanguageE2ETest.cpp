#include "Driver.h"
#include "InstallRun.h"
#include "Registry.h"
#include "TestFiles.h"
#include "ui/LanguageRule.h"

#include <gtest/gtest.h>

// The bootstrapper's own boxes in the user's UI language (the LC_ALL this test program and
// the programs it starts run under; CMakeLists.txt runs it once per language).
namespace {

struct LanguageTexts {
    const wchar_t* locale;
    const wchar_t* help;
    const wchar_t* tooOld;
};

const LanguageTexts kLanguages[] = {
    {L"en-US",
     L"Options:\n\n/help\tShow this message\n/extract\tCreate MSI for silent installation\n"
     L"/defaults\tCreate MSI for silent installation (for use with an Orvanta.defaults file)\n",
     L"This product can only be installed on Windows 7 Service Pack 1 or higher"},
    {L"de-DE",
     L"Optionen:\n\n/help\tDiese Meldung anzeigen\n/extract\tMSI für unbeaufsichtigte "
     L"Installation erstellen\n/defaults\tMSI für unbeaufsichtigte Installation erstellen (zur "
     L"Verwendung mit einer Orvanta.defaults-Datei)\n",
     L"Dieses Produkt kann nur unter Windows 7 Service Pack 1 oder höher installiert werden"},
    {L"ja-JP",
     L"オプション:\n\n/help\tこのメッセージを表示します\n/extract\tサイレント インストール用の "
     L"MSI を作成します\n/defaults\tサイレント インストール用の MSI を作成します "
     L"(Orvanta.defaults ファイルと共に使用)\n",
     L"この製品は Windows 7 Service Pack 1 以降にのみインストールできます"},
};

TEST(BootstrapperLanguage, TheHelpAndTheRefusalComeInTheUsersLanguage) {
    const std::wstring locale = UserUiLanguage();
    const LanguageTexts* texts = nullptr;
    for (const LanguageTexts& language : kLanguages) {
        texts = locale == language.locale ? &language : texts;
    }
    if (texts == nullptr) {
        GTEST_SKIP() << "no expectation for this user language";
    }
    {
        TempDir temp{L"lang"};
        Launched setup(BuiltProgram(L"OrvantaSetup.exe"), L"/help", TempAt(temp.path()));
        HWND box = WaitForWindow(setup.id(), L"#32770");
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(WindowText(box), L"Orvanta Vellumo Setup");
        EXPECT_EQ(MessageBoxText(box), texts->help);
        Click(box, IDOK);
        EXPECT_EQ(setup.ExitCode(), 0u);
    }
    // Wine reports the Windows version named for a program's file name.
    TempDir copy{L"lang"};
    const std::wstring name = L"SetupOnVista.exe";
    PlacedCopy setup(BuiltProgram(L"StandInSetup.exe"), copy / name);
    RegistryValueOverride version(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\" + name,
                                  L"Version", REG_SZ, std::wstring(L"vista"));
    InstallRun run(copy / name);
    HWND box = WaitForWindow(run.process->id(), L"#32770");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(WindowText(box), L"Orvanta Vellumo Setup");
    EXPECT_EQ(MessageBoxText(box), texts->tooOld);
    Click(box, IDOK);
    EXPECT_EQ(run.process->ExitCode(), 1u);
    EXPECT_TRUE(run.Started().empty());
}

} // namespace
