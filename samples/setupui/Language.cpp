#include "Language.h"

std::vector<std::wstring> SatelliteCandidates(const std::wstring& localeName) {
    std::vector<std::wstring> candidates{ProductLanguageFor(localeName)};
    if (candidates.front() != L"en-US") {
        candidates.push_back(L"en-US");
    }
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
