#pragma once

#include <array>
#include <string>
#include <string_view>

// The product's languages, named as the setup UI's satellite folders are.
inline constexpr std::array<std::wstring_view, 9> kProductLanguages{
    L"de", L"en-US", L"es", L"fr", L"it", L"ja", L"pt-BR", L"ru", L"zh-Hans"};

// The user's UI language as a locale name ("de-AT"); empty when Windows names none.
std::wstring UserUiLanguage();

// The product language for a user's UI language, given as a locale name ("de-AT"): the
// name itself when it is one of the nine, Simplified Chinese for "zh-CN" and "zh-SG", else
// the name without its region when that is one ("de-AT" gives "de", "pt-PT" none), else
// "en-US". The bootstrapper and the setup UI both choose by this one rule.
std::wstring ProductLanguageFor(const std::wstring& localeName);
