#include "ui/Messages.h"

#include "log/Logger.h"
#include "ui/Language.h"

namespace {

// Megabytes as Explorer counts them.
constexpr uint64_t kMegabyte = 1024 * 1024;

} // namespace

std::wstring GetProductTitle() {
    return std::wstring(L"Orvanta Vellumo") + L" Setup";
}

int ShowMessage(const std::wstring& text, UINT style) {
    return MessageBoxW(nullptr, text.c_str(), GetProductTitle().c_str(), style);
}

std::wstring FillIn(const std::wstring& text, const std::vector<std::wstring>& values) {
    std::wstring result;
    for (size_t at = 0; at < text.size(); ++at) {
        const wchar_t next = at + 1 < text.size() ? text[at + 1] : L'\0';
        if (text[at] == L'%' && next >= L'1' && next < L'1' + static_cast<int>(values.size())) {
            result += values[next - L'1'];
            ++at;
        } else {
            result += text[at];
        }
    }
    return result;
}

void ReportNoRoom(UINT textId, const std::wstring& folder, uint64_t neededBytes,
                  uint64_t freeBytes) {
    const std::wstring needed =
        std::to_wstring(neededBytes / kMegabyte + (neededBytes % kMegabyte != 0));
    const std::wstring free = std::to_wstring(freeBytes / kMegabyte);
    Logger << L"Not enough free space in " << folder << L": " << needed << L" MB needed, " << free
           << L" MB free" << std::endl;
    ShowMessage(FillIn(UiText(textId), {needed, folder, free}), MB_ICONERROR);
}
