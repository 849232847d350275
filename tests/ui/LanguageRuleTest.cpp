#include "ui/LanguageRule.h"

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

} // namespace
