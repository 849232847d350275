#include "ui/Language.h"

#include "common/SystemPaths.h"
#include "resources/ResourceIds.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

// Every dialog in every product language, made from its template as the bootstrapper makes
// it, each text measured with the dialog's font as a process of that language has it.
namespace {

// English first: the other languages are compared with it.
const wchar_t* const kLanguages[] = {L"en-US", L"de",    L"es", L"fr",     L"it",
                                     L"ja",    L"pt-BR", L"ru", L"zh-Hans"};
const int kDialogs[] = {IDD_EXTRACT, IDD_EXTRACT_RESULT, IDD_EULA, IDD_PROGRESS};
// Texts that a language rightly shares with English.
const std::set<std::pair<std::wstring, std::wstring>> kSameAsEnglish = {
    {L"de", L"OK"}, {L"fr", L"OK"},    {L"it", L"OK"},
    {L"ja", L"OK"}, {L"pt-BR", L"OK"}, {L"ru", L"OK"}};

// The dialog's font as a process of the language makes it. There the font's DEFAULT_CHARSET
// is the language's own character set, which picks the font: a Japanese or Chinese one where
// the shell font has no such glyphs. The dialog's units follow that font.
HFONT LanguageFont(HWND dialog, const wchar_t* language) {
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)), sizeof(font),
               &font);
    UINT codePage = 0;
    GetLocaleInfoW(MAKELCID(ResourceLanguageOf(language), SORT_DEFAULT),
                   LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                   reinterpret_cast<LPWSTR>(&codePage), sizeof(codePage) / sizeof(wchar_t));
    CHARSETINFO charset{};
    TranslateCharsetInfo(reinterpret_cast<DWORD*>(static_cast<UINT_PTR>(codePage)), &charset,
                         TCI_SRCCODEPAGE);
    font.lfCharSet = static_cast<BYTE>(charset.ciCharset);
    return CreateFontIndirectW(&font);
}

// The pixels of 4 horizontal and 8 vertical dialog units with the font, as dialogs count them.
SIZE BaseUnits(HDC dc) {
    SIZE letters{};
    GetTextExtentPoint32W(dc, L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", 52,
                          &letters);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    return {(letters.cx / 26 + 1) / 2, metrics.tmHeight};
}

// What the control shows: its text, or for the progress line the texts it is given.
std::vector<std::wstring> TextsOf(HWND control) {
    if (GetDlgCtrlID(control) == IDC_PROGRESS_TEXT) {
        return {UiText(IDS_PREPARING), UiText(IDS_CREATING_PACKAGE), UiText(IDS_CANCELLING)};
    }
    wchar_t text[1024] = {};
    return GetWindowTextW(control, text, 1024) > 0 ? std::vector<std::wstring>{text}
                                                   : std::vector<std::wstring>{};
}

// The pixels the text needs in the control, with the font selected in the dc: the text as
// the control draws it, wrapped at the width, and what the control draws beside it.
SIZE Needed(HDC dc, HWND control, const std::wstring& text, LONG width) {
    wchar_t kind[32] = {};
    GetClassNameW(control, kind, 32);
    const LONG style = GetWindowLongW(control, GWL_STYLE);
    const LONG type = style & BS_TYPEMASK;
    UINT flags = DT_CALCRECT | DT_EXPANDTABS | DT_HIDEPREFIX;
    LONG beside = 0;
    if (lstrcmpiW(kind, L"Static") == 0) {
        // Left, centred and right-aligned statics wrap.
        flags |= (style & SS_TYPEMASK) <= SS_RIGHT ? DT_WORDBREAK : DT_SINGLELINE;
        flags |= (style & SS_NOPREFIX) ? DT_NOPREFIX : 0;
    } else if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_GROUPBOX) {
        // A check box: the box, 13 pixels at 96 DPI, then half a digit (6 pixels with visual
        // styles) before the text. A frame's caption starts 7 pixels in (12 with visual
        // styles) and keeps as clear of its corner on the right.
        flags |= DT_SINGLELINE;
        beside = MulDiv(type == BS_GROUPBOX ? 12 + 7 : 13 + 6, GetDeviceCaps(dc, LOGPIXELSX), 96);
    } else {
        // Push buttons: the frame, and at least an average character clear on either side.
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc, &metrics);
        flags |= DT_SINGLELINE;
        beside = 2 * metrics.tmAveCharWidth;
    }
    RECT rect{0, 0, (flags & DT_WORDBREAK) ? width : 0, 0};
    DrawTextW(dc, text.c_str(), -1, &rect, flags);
    return {rect.right + beside, rect.bottom};
}

// The characters the font has no glyph for: they would show as boxes.
std::wstring Missing(HDC dc, const std::wstring& text) {
    std::vector<WORD> glyphs(text.size());
    GetGlyphIndicesW(dc, text.c_str(), static_cast<int>(text.size()), glyphs.data(),
                     GGI_MARK_NONEXISTING_GLYPHS);
    std::wstring missing;
    for (size_t i = 0; i < text.size(); ++i) {
        missing.append(glyphs[i] == 0xFFFF ? 1 : 0, text[i]);
    }
    return missing;
}

INT_PTR CALLBACK Inert(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG;
}

struct EnglishAgain {
    ~EnglishAgain() { SetUiLanguage(L"en-US"); }
};

} // namespace

TEST(DialogLayout, EveryTextFitsItsControlInsideTheDialogAndIsTranslated) {
    // The licence's Rich Edit class, from the system directory as the dialog loads it.
    ASSERT_TRUE(LoadLibraryW(SystemDirectoryFile(L"riched20.dll").c_str()));
    EnglishAgain restore;
    std::map<int, std::vector<std::wstring>> english;
    for (const wchar_t* language : kLanguages) {
        SetUiLanguage(language);
        for (int id : kDialogs) {
            const std::string where =
                testing::PrintToString(std::wstring(language)) + " dialog " + std::to_string(id);
            HWND dialog = CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
                                                     UiDialogTemplate(id), nullptr, Inert, 0);
            ASSERT_TRUE(dialog) << where;
            RECT client{};
            GetClientRect(dialog, &client);
            // Pixels in this process, and in one of the language, for 4 by 8 dialog units.
            RECT here{0, 0, 4, 8};
            MapDialogRect(dialog, &here);
            const HFONT font = LanguageFont(dialog, language);
            HDC dc = GetDC(dialog);
            const HGDIOBJ old = SelectObject(dc, font);
            const SIZE there = BaseUnits(dc);
            std::vector<std::wstring>& englishTexts = english[id];
            size_t shown = 0;
            for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
                const std::string control = where + " control " + std::to_string(GetDlgCtrlID(c));
                RECT r{};
                GetWindowRect(c, &r);
                MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&r), 2);
                EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= client.right &&
                            r.bottom <= client.bottom)
                    << control << ": at (" << r.left << "," << r.top << ")-(" << r.right << ","
                    << r.bottom << "), client area " << client.right << "x" << client.bottom;
                const SIZE room{MulDiv(MulDiv(r.right - r.left, 4, here.right), there.cx, 4),
                                MulDiv(MulDiv(r.bottom - r.top, 8, here.bottom), there.cy, 8)};
                for (const std::wstring& text : TextsOf(c)) {
                    if (language == kLanguages[0]) {
                        englishTexts.push_back(text);
                    } else if (shown < englishTexts.size() && text == englishTexts[shown]) {
                        EXPECT_TRUE(kSameAsEnglish.count({language, text}))
                            << control << " is in English: " << testing::PrintToString(text);
                    }
                    ++shown;
                    const SIZE needed = Needed(dc, c, text, room.cx);
                    EXPECT_TRUE(needed.cx <= room.cx && needed.cy <= room.cy)
                        << control << ": needs " << needed.cx << "x" << needed.cy << " px, has "
                        << room.cx << "x" << room.cy << " px for " << testing::PrintToString(text);
                    EXPECT_EQ(Missing(dc, text), L"") << control << ": no glyphs in the font";
                }
            }
            EXPECT_EQ(shown, englishTexts.size()) << where << ": not the English controls";
            SelectObject(dc, old);
            ReleaseDC(dialog, dc);
            DeleteObject(font);
            DestroyWindow(dialog);
        }
    }
}
