#include "Driver.h"
#include "PackageDriver.h"
#include "Registry.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

// A bootstrapper started from a folder where someone has put their own msi.dll and
// riched20.dll (a Downloads folder) must load neither. Wine prefers its builtin DLLs, which
// would make this test pass whatever the program does, so Wine is told to prefer native
// DLLs for the program's name; a probe that loads both by bare name shows that the planted
// copies are then really taken.
namespace {

const std::wstring kProgramName = L"PlantedFolderSetup.exe";

// A folder holding the program under the planted name and the two planted DLLs.
void PlantBeside(const TempDir& folder, const std::wstring& program) {
    WriteBytes(folder / kProgramName, ReadBytes(program));
    for (const wchar_t* dll : {L"msi.dll", L"riched20.dll"}) {
        WriteBytes(folder / dll, ReadBytes(BinDirectory() + L"planted\\" + dll));
    }
}

std::vector<std::wstring> Marks(const TempDir& folder) {
    std::vector<std::wstring> marks;
    for (const std::wstring& name : ListDirectory(folder.path())) {
        if (name.size() > 7 && name.compare(name.size() - 7, 7, L".loaded") == 0) {
            marks.push_back(name);
        }
    }
    return marks;
}

TEST(PlantingE2E, TheBootstrapperLoadsNoDllPlantedBesideIt) {
    // Wine searches for the two DLLs as Windows does, beside the program first.
    const std::wstring overrides =
        L"Software\\Wine\\AppDefaults\\" + kProgramName + L"\\DllOverrides";
    RegistryValueOverride nativeMsi(HKEY_CURRENT_USER, overrides, L"msi", REG_SZ,
                                    L"native,builtin");
    RegistryValueOverride nativeRichEdit(HKEY_CURRENT_USER, overrides, L"riched20", REG_SZ,
                                         L"native,builtin");

    // The probe, under the same name, takes both planted copies.
    {
        TempDir probeFolder{L"probe"};
        PlantBeside(probeFolder, BinDirectory() + L"planting_probe.exe");
        Launched probe(probeFolder / kProgramName, L"", {}, probeFolder.path());
        EXPECT_EQ(probe.ExitCode(), 0u);
        EXPECT_EQ(Marks(probeFolder),
                  (std::vector<std::wstring>{L"msi.dll.loaded", L"riched20.dll.loaded"}));
    }

    // The bootstrapper, started in its folder as a double click would, shows the agreement
    // (a rich edit control) and writes a package (Windows Installer) without either.
    TempDir folder{L"planted"};
    TempDir temp{L"plantedtemp"};
    PlantBeside(folder, BinDirectory() + L"PackageSetup.exe");
    Launched setup(folder / kProgramName, L"/extract",
                   {{L"TMP", temp.path()}, {L"TEMP", temp.path()}}, folder.path());
    HWND options = WaitForWindow(setup.id(), L"#32770", L"Create Package for Silent Installation");
    ASSERT_NE(options, nullptr);
    Click(options, 1013);
    HWND agreement = WaitForWindow(setup.id(), L"#32770", L"Licence Agreement");
    ASSERT_NE(agreement, nullptr);
    EXPECT_EQ(WindowText(GetDlgItem(agreement, 1015)).rfind(L"Orvanta Vellumo", 0), 0u);
    Click(agreement, IDOK);
    Click(options, 1011);
    const std::wstring package = temp / L"planted.msi";
    ASSERT_TRUE(ChooseSaveFile(setup.id(), package));
    HWND result = WaitForResult(setup.id());
    ASSERT_NE(result, nullptr);
    Click(result, IDCANCEL);
    EXPECT_EQ(setup.ExitCode(), 0u);
    EXPECT_TRUE(FileExists(package));
    EXPECT_EQ(Marks(folder), std::vector<std::wstring>{});
}

} // namespace
