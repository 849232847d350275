#include "ui/Language.h"

#include <cstring>

namespace {

const LANGID kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_UK);

std::wstring& ChosenLanguage() {
    static std::wstring chosen = L"en-US";
    return chosen;
}

HMODULE Executable() {
    return GetModuleHandleW(nullptr);
}

// The resource in the chosen language, else in English.
HRSRC FindUiResource(const wchar_t* type, const wchar_t* name) {
    const LANGID chosen = ResourceLanguageOf(UiLanguage());
    if (const HRSRC found = FindResourceExW(Executable(), type, name, chosen)) {
        return found;
    }
    return chosen == kEnglish ? nullptr : FindResourceExW(Executable(), type, name, kEnglish);
}

// A string table block holds 16 strings, each a count of UTF-16 units and then the units.
std::wstring StringFromBlock(HRSRC block, UINT id) {
    const auto* units =
        static_cast<const wchar_t*>(LockResource(LoadResource(Executable(), block)));
    const DWORD size = SizeofResource(Executable(), block) / sizeof(wchar_t);
    DWORD at = 0;
    for (UINT index = 0; units != nullptr && at < size; ++index) {
        const DWORD length = static_cast<WORD>(units[at]);
        if (length > size - at - 1) {
            break;
        }
        if (index == id % 16) {
            return std::wstring(units + at + 1, length);
        }
        at += 1 + length;
    }
    return {};
}

} // namespace

void SetUiLanguage(const std::wstring& productLanguage) {
    ChosenLanguage() = productLanguage;
}

const std::wstring& UiLanguage() {
    return ChosenLanguage();
}

LANGID ResourceLanguageOf(const std::wstring& productLanguage) {
    static const struct {
        const wchar_t* tag;
        LANGID language;
    } kLanguages[] = {
        {L"de", MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN)},
        {L"es", MAKELANGID(LANG_SPANISH, SUBLANG_SPANISH_MODERN)},
        {L"fr", MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH)},
        {L"it", MAKELANGID(LANG_ITALIAN, SUBLANG_ITALIAN)},
        {L"ja", MAKELANGID(LANG_JAPANESE, SUBLANG_JAPANESE_JAPAN)},
        {L"pt-BR", MAKELANGID(LANG_PORTUGUESE, SUBLANG_PORTUGUESE_BRAZILIAN)},
        {L"ru", MAKELANGID(LANG_RUSSIAN, SUBLANG_RUSSIAN_RUSSIA)},
        {L"zh-Hans", MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED)},
    };
    for (const auto& language : kLanguages) {
        if (productLanguage == language.tag) {
            return language.language;
        }
    }
    return kEnglish;
}

std::wstring UiText(UINT id) {
    const HRSRC chosen = FindUiResource(RT_STRING, MAKEINTRESOURCEW(id / 16 + 1));
    std::wstring text = chosen ? StringFromBlock(chosen, id) : std::wstring();
    if (text.empty() && ResourceLanguageOf(UiLanguage()) != kEnglish) {
        // A string the translation lacks, in a block it has.
        if (const HRSRC english =
                FindResourceExW(Executable(), RT_STRING, MAKEINTRESOURCEW(id / 16 + 1), kEnglish)) {
            text = StringFromBlock(english, id);
        }
    }
    return text;
}

const DLGTEMPLATE* UiDialogTemplate(int id) {
    const HRSRC found = FindUiResource(RT_DIALOG, MAKEINTRESOURCEW(id));
    return found ? static_cast<const DLGTEMPLATE*>(LockResource(LoadResource(Executable(), found)))
                 : nullptr;
}
