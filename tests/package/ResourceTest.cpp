#include "resources/ResourceIds.h"

#include "TestFiles.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <vector>

// The resources of the shipped executable, read from its file. How the dialogs behave is
// tested by showing them (DialogTest); here: what the build makes of the resource sources.
namespace {

class ShippedResources : public testing::Test {
  protected:
    void SetUp() override {
        module_ = LoadLibraryExW((BinDirectory() + L"OrvantaSetup.exe").c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module_, nullptr);
    }
    void TearDown() override { FreeLibrary(module_); }

    // A resource in English (United Kingdom); empty when there is none.
    std::string_view Bytes(LPCWSTR type, int id) const {
        HRSRC found = FindResourceExW(module_, type, MAKEINTRESOURCEW(id),
                                      MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_UK));
        if (!found) {
            return {};
        }
        return {static_cast<const char*>(LockResource(LoadResource(module_, found))),
                SizeofResource(module_, found)};
    }

    HMODULE module_ = nullptr;
};

template <typename T> T At(std::string_view bytes, size_t offset) {
    T value{};
    if (offset + sizeof(T) <= bytes.size()) {
        memcpy(&value, bytes.data() + offset, sizeof(T));
    }
    return value;
}

// Past a name or an ordinal (0xFFFF and a number) of a dialog template.
size_t SkipNameOrOrdinal(std::string_view bytes, size_t offset) {
    if (At<WORD>(bytes, offset) == 0xFFFF) {
        return offset + 4;
    }
    while (offset < bytes.size() && At<wchar_t>(bytes, offset) != 0) {
        offset += 2;
    }
    return offset + 2;
}

TEST_F(ShippedResources, DialogTemplatesAreExtendedOnesInTheShellFont) {
    for (int id : {IDD_EXTRACT, IDD_EXTRACT_RESULT, IDD_EULA}) {
        SCOPED_TRACE(id);
        const std::string_view dialog = Bytes(RT_DIALOG, id);
        ASSERT_GT(dialog.size(), 26u);
        EXPECT_EQ(At<WORD>(dialog, 2), 0xFFFF); // DLGTEMPLATEEX
        const DWORD style = At<DWORD>(dialog, 12);
        EXPECT_EQ(style & DS_SHELLFONT, static_cast<DWORD>(DS_SHELLFONT));
        // Menu, class and caption, then point size, weight, italic and character set.
        size_t offset = SkipNameOrOrdinal(dialog, 26);
        offset = SkipNameOrOrdinal(dialog, offset);
        offset = SkipNameOrOrdinal(dialog, offset) + 6;
        const auto* typeface = reinterpret_cast<const wchar_t*>(dialog.data() + offset);
        EXPECT_EQ(std::wstring(typeface, wcsnlen(typeface, (dialog.size() - offset) / 2)),
                  L"MS Shell Dlg 2");
    }
}

TEST_F(ShippedResources, IconLicenceAndManifest) {
    // Twelve 32-bit images, each present (a width of 0 stands for 256).
    const std::string_view group = Bytes(RT_GROUP_ICON, IDI_SETUP);
    ASSERT_EQ(At<WORD>(group, 4), 12);
    std::vector<int> sizes;
    for (size_t entry = 6; entry < 6 + 12 * 14; entry += 14) {
        const int width = At<BYTE>(group, entry);
        EXPECT_EQ(At<BYTE>(group, entry + 1), width);
        EXPECT_EQ(At<WORD>(group, entry + 6), 32);
        EXPECT_FALSE(Bytes(RT_ICON, At<WORD>(group, entry + 12)).empty());
        sizes.push_back(width == 0 ? 256 : width);
    }
    std::sort(sizes.begin(), sizes.end());
    EXPECT_EQ(sizes, (std::vector<int>{16, 20, 24, 32, 40, 48, 64, 72, 96, 128, 180, 256}));

    EXPECT_EQ(Bytes(L"TXT", IDR_LICENCE).substr(0, 6), "{\\rtf1");

    const std::string_view manifest = Bytes(RT_MANIFEST, 1);
    for (const char* piece :
         {"name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"", "level=\"asInvoker\"",
          "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", // Windows 7
          "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", // Windows 8
          "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", // Windows 8.1
          "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", // Windows 10 and 11
          "<dpiAware", "<dpiAwareness"}) {
        EXPECT_NE(manifest.find(piece), std::string_view::npos) << piece;
    }
    const std::string identity =
        "name=\"Orvanta.Vellumo.Setup\" version=\"" ORVANTA_EXPECTED_VERSION "\"";
    EXPECT_NE(manifest.find(identity), std::string_view::npos) << identity;
}

// What Windows shows in the file's properties, read as Explorer reads it: the shipped file
// with the configured version, and the same resources built with "2.1", which Windows must
// see as 2.1.0.0.
TEST(ShippedVersion, EveryStringAndTheFixedNumbersCarryTheConfiguredVersion) {
    unsigned configured[4] = {};
    ASSERT_EQ(std::sscanf(ORVANTA_EXPECTED_VERSION, "%u.%u.%u.%u", &configured[0], &configured[1],
                          &configured[2], &configured[3]),
              4);
    const struct {
        const wchar_t* file;
        std::wstring version;
        unsigned numbers[4];
    } builds[] = {
        {L"OrvantaSetup.exe",
         Utf8ToWide(ORVANTA_EXPECTED_VERSION),
         {configured[0], configured[1], configured[2], configured[3]}},
        {L"short_version.exe", L"2.1.0.0", {2, 1, 0, 0}},
    };
    for (const auto& build : builds) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(build.file)));
        const std::wstring path = BinDirectory() + build.file;
        DWORD handle = 0;
        std::vector<BYTE> info(GetFileVersionInfoSizeW(path.c_str(), &handle));
        ASSERT_FALSE(info.empty());
        ASSERT_TRUE(
            GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));

        struct Translation {
            WORD language;
            WORD codePage;
        };
        Translation* translation = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation",
                                   reinterpret_cast<void**>(&translation), &length));
        ASSERT_EQ(length, sizeof(Translation));
        EXPECT_EQ(translation->language, 2057);
        EXPECT_EQ(translation->codePage, 1200);

        const struct {
            const wchar_t* name;
            std::wstring value;
        } strings[] = {
            {L"CompanyName", L"Orvanta"},
            {L"FileDescription", L"Orvanta Vellumo Setup"},
            {L"ProductName", L"Orvanta Vellumo"},
            {L"InternalName", L"OrvantaSetup.exe"},
            {L"OriginalFilename", L"OrvantaSetup.exe"},
            {L"LegalCopyright", L"Copyright \u00a9 2026 Orvanta"},
            {L"FileVersion", build.version},
            {L"ProductVersion", build.version},
        };
        for (const auto& s : strings) {
            SCOPED_TRACE(testing::PrintToString(std::wstring(s.name)));
            wchar_t* value = nullptr;
            const std::wstring query = std::wstring(L"\\StringFileInfo\\080904B0\\") + s.name;
            ASSERT_TRUE(VerQueryValueW(info.data(), query.c_str(), reinterpret_cast<void**>(&value),
                                       &length));
            EXPECT_EQ(std::wstring(value, wcsnlen(value, length)), s.value);
        }

        VS_FIXEDFILEINFO* fixed = nullptr;
        ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
        ASSERT_EQ(fixed->dwSignature, 0xFEEF04BDu);
        const DWORD high = MAKELONG(build.numbers[1], build.numbers[0]);
        const DWORD low = MAKELONG(build.numbers[3], build.numbers[2]);
        EXPECT_EQ(fixed->dwFileVersionMS, high);
        EXPECT_EQ(fixed->dwFileVersionLS, low);
        EXPECT_EQ(fixed->dwProductVersionMS, high);
        EXPECT_EQ(fixed->dwProductVersionLS, low);
        EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
    }
}

} // namespace
