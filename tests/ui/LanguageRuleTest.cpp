#include "ui/LanguageRule.h"
#include "ui/Messages.h"

#include <gtest/gtest.h>

namespace {

// One rule for the bootstrapper and the setup UI: the exact tag, then the tag without its
// region, Simplified Chinese for mainland China and Singapore, else English.
TEST(LanguageRule, ChoosesAProductLanguageForTheUsersUiLanguage) {
    const struct {
        const wchar_t* locale;
        const wchar_t* chosen;
    } cases[] = {
        {L"de-DE", L"de"},        {L"de-AT", L"de"},      {L"pt-BR", L"pt-BR"},
        {L"pt-PT", L"en-US"},     {L"zh-CN", L"zh-Hans"}, {L"zh-SG", L"zh-Hans"},
        {L"zh-TW", L"en-US"},     {L"ja-JP", L"ja"},      {L"en-GB", L"en-US"},
        {L"sv-SE", L"en-US"},     {L"", L"en-US"},        {L"ru-RU", L"ru"},
        {L"fr-CA", L"fr"},        {L"es-MX", L"es"},      {L"it", L"it"},
        {L"zh-Hans", L"zh-Hans"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ProductLanguageFor(c.locale), c.chosen)
            << testing::PrintToString(std::wstring(c.locale));
    }
}

// The figures and the folder go where each language puts them; a folder name is put in as
// it is, whatever % it has.
TEST(Messages, ValuesGoInTheirPlacesAndAreNeverReadForPlaceholders) {
    const std::vector<std::wstring> values = {L"551", L"C:\\100%2 %s %1", L"12"};
    const struct {
        const wchar_t* text;
        const wchar_t* filled;
    } cases[] = {
        {L"It needs %1 MB in %2, and %3 MB are free.",
         L"It needs 551 MB in C:\\100%2 %s %1, and 12 MB are free."},
        {L"%2 に %1 MB 必要ですが、空き領域は %3 MB です。",
         L"C:\\100%2 %s %1 に 551 MB 必要ですが、空き領域は 12 MB です。"},
        {L"%4 and %0 and 100% and %", L"%4 and %0 and 100% and %"},
        {L"%%1", L"%551"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FillIn(c.text, values), c.filled) << testing::PrintToString(std::wstring(c.text));
    }
}

} // namespace
