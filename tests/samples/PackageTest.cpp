// The sample package installed by msiexec, with the options the bootstrapper's package
// creation writes into a copy of it.
#include "Driver.h"
#include "SampleFixtures.h"

#include <gtest/gtest.h>
#include <shlobj.h>

namespace {

std::wstring CommonDesktop() {
    wchar_t path[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_COMMON_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, path);
    return std::wstring(path) + L"\\";
}

std::optional<DWORD> ProductOption(const wchar_t* name) {
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, L"Software\\Orvanta\\Vellumo", name, RRF_RT_REG_DWORD,
                     nullptr, &value, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return value;
}

TEST(SamplePackage, InstallsWhereItsPropertyTableSaysAndUninstallsCleanly) {
    ProductSandbox sandbox;
    TempDir work{L"package"};
    const std::wstring chosen = work / L"Chosen Place"; // as typed: no trailing backslash
    const struct {
        const wchar_t* name;
        std::vector<std::pair<std::wstring, std::wstring>> rows;
        std::wstring expectedDir;
        bool shortcut;
        DWORD noUpdateCheck;
    } cases[] = {
        {L"as built", {}, ProductSandbox::DefaultInstallDir(), false, 0},
        {L"chosen directory",
         {{L"INSTALL_DIR_PROPERTY", chosen}, {L"INSTALL_DESKTOP_SHORTCUT_PROPERTY", L"#0"}},
         chosen + L"\\",
         false,
         0},
        {L"chosen directory and shortcut",
         {{L"NO_UPDATE_CHECK_PROPERTY", L"#1"},
          {L"INSTALL_DESKTOP_SHORTCUT_PROPERTY", L"#1"},
          {L"INSTALL_DIR_PROPERTY", chosen}},
         chosen + L"\\",
         true,
         1},
    };
    const std::wstring shortcutName = L"Orvanta Vellumo.lnk";
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.name)));
        const std::wstring package = work / L"Orvanta.msi";
        ASSERT_TRUE(CopyFileW((SampleLayout() + L"Orvanta.msi").c_str(), package.c_str(), FALSE));
        SetPackageProperties(package, c.rows);

        ASSERT_EQ(Msiexec(L"/i \"" + package + L"\" /qn"), 0u);
        EXPECT_TRUE(ProductSandbox::Installed());
        EXPECT_TRUE(FileExists(c.expectedDir + L"Vellumo.exe"));
        if (c.expectedDir != ProductSandbox::DefaultInstallDir()) {
            EXPECT_FALSE(DirectoryExists(ProductSandbox::DefaultInstallDir()));
        }
        // Windows puts a per-machine shortcut on the common desktop, Wine on the user's.
        const bool shortcut = FileExists(sandbox.desktop() + shortcutName) ||
                              FileExists(CommonDesktop() + shortcutName);
        EXPECT_EQ(shortcut, c.shortcut);
        EXPECT_EQ(ProductOption(L"NoUpdateCheck"), std::optional<DWORD>(c.noUpdateCheck));
        EXPECT_EQ(ProductOption(L"NoEula"), std::optional<DWORD>(0));

        ProductSandbox::Uninstall();
        EXPECT_FALSE(ProductSandbox::Installed());
        EXPECT_FALSE(FileExists(c.expectedDir + L"Vellumo.exe"));
        EXPECT_FALSE(FileExists(sandbox.desktop() + shortcutName));
        EXPECT_FALSE(FileExists(CommonDesktop() + shortcutName));
        EXPECT_FALSE(ProductOption(L"NoUpdateCheck").has_value());
    }
}

} // namespace
