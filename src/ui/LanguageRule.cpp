#include "ui/LanguageRule.h"

#include <windows.h>

#include <algorithm>

namespace {

bool IsProductLanguage(std::wstring_view tag) {
    return std::find(kProductLanguages.begin(), kProductLanguages.end(), tag) !=
           kProductLanguages.end();
}

} // namespace

std::wstring UserUiLanguage() {
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    const LCID locale = MAKELCID(GetUserDefaultUILanguage(), SORT_DEFAULT);
    return LCIDToLocaleName(locale, name, LOCALE_NAME_MAX_LENGTH, 0) > 0 ? name : L"";
}

std::wstring ProductLanguageFor(const std::wstring& localeName) {
    if (IsProductLanguage(localeName)) {
        return localeName;
    }
    if (localeName == L"zh-CN" || localeName == L"zh-SG") {
        return L"zh-Hans";
    }
    const std::wstring language = localeName.substr(0, localeName.find(L'-'));
    if (language != localeName && IsProductLanguage(language)) {
        return language;
    }
    return L"en-US";
}
