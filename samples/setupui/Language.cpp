#include "Language.h"

#include <algorithm>

namespace {

bool IsPlainTag(const std::wstring& tag) {
    if (tag.empty() || tag.size() > 16 || tag.front() == L'-' || tag.back() == L'-') {
        return false;
    }
    return std::all_of(tag.begin(), tag.end(), [](wchar_t c) {
        return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') ||
               c == L'-';
    });
}

} // namespace

std::wstring UserUiLanguage() {
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    const LCID locale = MAKELCID(GetUserDefaultUILanguage(), SORT_DEFAULT);
    return LCIDToLocaleName(locale, name, LOCALE_NAME_MAX_LENGTH, 0) > 0 ? name : L"";
}

std::vector<std::wstring> SatelliteCandidates(const std::wstring& localeName) {
    std::vector<std::wstring> candidates;
    const auto add = [&candidates](const std::wstring& tag) {
        if (std::find(candidates.begin(), candidates.end(), tag) == candidates.end()) {
            candidates.push_back(tag);
        }
    };
    if (IsPlainTag(localeName)) {
        std::wstring tag = localeName;
        add(tag);
        if (tag.compare(0, 3, L"zh-") == 0) {
            const std::wstring region = tag.substr(3);
            if (region == L"CN" || region == L"SG") {
                add(L"zh-Hans");
            } else if (region == L"TW" || region == L"HK" || region == L"MO") {
                add(L"zh-Hant");
            }
        }
        for (size_t dash; (dash = tag.rfind(L'-')) != std::wstring::npos;) {
            tag.resize(dash);
            add(tag);
        }
    }
    add(L"en-US");
    return candidates;
}

SetupStrings::SetupStrings(HINSTANCE program, const std::wstring& directory,
                           const std::vector<std::wstring>& candidates)
    : program_(program) {
    for (const std::wstring& tag : candidates) {
        const std::wstring path = directory + tag + L"\\SetupUI.resources.dll";
        satellite_.reset(LoadLibraryExW(path.c_str(), nullptr,
                                        LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
        if (satellite_) {
            tag_ = tag;
            return;
        }
    }
}

std::wstring SetupStrings::Get(UINT id) const {
    // With no buffer size, LoadStringW hands out the resource's own read-only text.
    const wchar_t* text = nullptr;
    int length = 0;
    if (satellite_) {
        length = LoadStringW(satellite_.get(), id, reinterpret_cast<LPWSTR>(&text), 0);
    }
    if (length <= 0) {
        length = LoadStringW(program_, id, reinterpret_cast<LPWSTR>(&text), 0);
    }
    return length > 0 ? std::wstring(text, static_cast<size_t>(length)) : std::wstring();
}
