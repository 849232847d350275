// Each built satellite loads as a data file and yields its language's strings.
#include "SampleFixtures.h"
#include "Strings.h"

#include "common/UniqueHandle.h"

#include <gtest/gtest.h>

namespace {

BOOL CALLBACK RecordLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR found) {
    reinterpret_cast<std::vector<WORD>*>(found)->push_back(language);
    return TRUE;
}

TEST(Satellites, EachLoadsAsDataAndHoldsEveryStringInItsLanguage) {
    const struct {
        const wchar_t* tag;
        WORD language;
        const wchar_t* title;
        const wchar_t* cancel;
    } satellites[] = {
        {L"de", MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), L"Installation von Orvanta Vellumo",
         L"Abbrechen"},
        {L"en-US", MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), L"Orvanta Vellumo Setup",
         L"Cancel"},
        {L"es", MAKELANGID(LANG_SPANISH, SUBLANG_SPANISH_MODERN), L"Instalación de Orvanta Vellumo",
         L"Cancelar"},
        {L"fr", MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH), L"Installation d\u2019Orvanta Vellumo",
         L"Annuler"},
        {L"it", MAKELANGID(LANG_ITALIAN, SUBLANG_ITALIAN), L"Installazione di Orvanta Vellumo",
         L"Annulla"},
        {L"ja", MAKELANGID(LANG_JAPANESE, SUBLANG_JAPANESE_JAPAN), L"Orvanta Vellumo セットアップ",
         L"キャンセル"},
        {L"pt-BR", MAKELANGID(LANG_PORTUGUESE, SUBLANG_PORTUGUESE_BRAZILIAN),
         L"Instalação do Orvanta Vellumo", L"Cancelar"},
        {L"ru", MAKELANGID(LANG_RUSSIAN, SUBLANG_RUSSIAN_RUSSIA), L"Установка Orvanta Vellumo",
         L"Отмена"},
        {L"zh-Hans", MAKELANGID(LANG_CHINESE_SIMPLIFIED, SUBLANG_CHINESE_SIMPLIFIED),
         L"Orvanta Vellumo 安装程序", L"取消"},
    };
    ASSERT_EQ(std::size(satellites), SatelliteTags().size());
    for (const auto& satellite : satellites) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(satellite.tag)));
        const std::wstring path = SampleLayout() + satellite.tag + L"\\SetupUI.resources.dll";
        UniqueLibrary module(LoadLibraryExW(
            path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
        ASSERT_TRUE(module);
        const auto text = [&](UINT id) {
            wchar_t buffer[512] = {};
            return LoadStringW(module.get(), id, buffer, 512) > 0 ? std::wstring(buffer) : L"";
        };
        EXPECT_EQ(text(IDS_TITLE), satellite.title);
        EXPECT_EQ(text(IDS_CANCEL), satellite.cancel);
        for (UINT id = IDS_FIRST; id <= IDS_LAST; ++id) {
            EXPECT_FALSE(text(id).empty()) << id;
        }
        EXPECT_NE(text(IDS_FAILED).find(L"%1"), std::wstring::npos);
        // Strings 96 to 111 form block 7 of the string table.
        std::vector<WORD> languages;
        EnumResourceLanguagesW(module.get(), RT_STRING, MAKEINTRESOURCEW(IDS_FIRST / 16 + 1),
                               RecordLanguage, reinterpret_cast<LONG_PTR>(&languages));
        EXPECT_EQ(languages, std::vector<WORD>{satellite.language});
    }
}

} // namespace
