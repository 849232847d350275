#include "resources/ResourceIds.h"

#include "TestFiles.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string_view>
#include <vector>

// The resources of the shipped executable, read from its file.
namespace {

constexpr WORD kLanguage = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_UK);

class ShippedResources : public testing::Test {
  protected:
    void SetUp() override {
        module_ = LoadLibraryExW((BinDirectory() + L"OrvantaSetup.exe").c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module_, nullptr);
    }
    void TearDown() override { FreeLibrary(module_); }

    std::string_view Bytes(LPCWSTR type, int id) const {
        HRSRC found = FindResourceExW(module_, type, MAKEINTRESOURCEW(id), kLanguage);
        if (!found) {
            return {};
        }
        return {static_cast<const char*>(LockResource(LoadResource(module_, found))),
                SizeofResource(module_, found)};
    }

    HMODULE module_ = nullptr;
};

// A DLGTEMPLATEEX and its items, as far as the checks below need them.
struct Control {
    int id;
    std::wstring className; // "Button", "Edit", "Static" for the predefined atoms
    DWORD style;
    std::wstring text;
    RECT rect;
};

struct Template {
    DWORD style = 0;
    std::wstring typeface;
    std::vector<Control> controls;
};

class Reader {
  public:
    explicit Reader(std::string_view bytes) : bytes_(bytes) {}
    template <typename T> T Read() {
        T value{};
        if (offset_ + sizeof(T) > bytes_.size()) {
            throw std::runtime_error("template cut short");
        }
        memcpy(&value, bytes_.data() + offset_, sizeof(T));
        offset_ += sizeof(T);
        return value;
    }
    std::wstring String() {
        std::wstring text;
        for (wchar_t c = Read<wchar_t>(); c; c = Read<wchar_t>()) {
            text += c;
        }
        return text;
    }
    // A name, or 0xFFFF and an ordinal.
    std::wstring NameOrOrdinal() {
        const WORD first = Read<WORD>();
        if (first == 0xFFFF) {
            const WORD ordinal = Read<WORD>();
            switch (ordinal) {
            case 0x80:
                return L"Button";
            case 0x81:
                return L"Edit";
            case 0x82:
                return L"Static";
            default:
                return L"#" + std::to_wstring(ordinal);
            }
        }
        offset_ -= sizeof(WORD);
        return String();
    }
    void Skip(size_t count) { offset_ += count; }
    void AlignToDword() { offset_ = (offset_ + 3) & ~size_t{3}; }

  private:
    std::string_view bytes_;
    size_t offset_ = 0;
};

Template Parse(std::string_view bytes) {
    Reader reader(bytes);
    Template result;
    EXPECT_EQ(reader.Read<WORD>(), 1);      // dlgVer
    EXPECT_EQ(reader.Read<WORD>(), 0xFFFF); // signature of DIALOGEX
    reader.Skip(8);                         // help id, extended style
    result.style = reader.Read<DWORD>();
    const WORD count = reader.Read<WORD>();
    reader.Skip(8); // x, y, cx, cy
    reader.NameOrOrdinal();
    reader.NameOrOrdinal();
    reader.String(); // caption
    if (result.style & DS_SETFONT) {
        reader.Skip(6); // point size, weight, italic, character set
        result.typeface = reader.String();
    }
    for (WORD i = 0; i < count; ++i) {
        reader.AlignToDword();
        Control control{};
        reader.Skip(8); // help id, extended style
        control.style = reader.Read<DWORD>();
        const short x = reader.Read<short>(), y = reader.Read<short>();
        const short cx = reader.Read<short>(), cy = reader.Read<short>();
        control.rect = {x, y, x + cx, y + cy};
        control.id = static_cast<int>(reader.Read<DWORD>());
        control.className = reader.NameOrOrdinal();
        control.text = reader.NameOrOrdinal();
        reader.Skip(reader.Read<WORD>());
        result.controls.push_back(control);
    }
    return result;
}

const Control* Find(const Template& dialog, int id) {
    for (const Control& control : dialog.controls) {
        if (control.id == id) {
            return &control;
        }
    }
    return nullptr;
}

bool Inside(const RECT& inner, const RECT& outer) {
    return inner.left >= outer.left && inner.right <= outer.right && inner.top >= outer.top &&
           inner.bottom <= outer.bottom;
}

TEST_F(ShippedResources, DialogTemplatesHaveTheirControlsLabelsFontAndTabOrder) {
    struct Expected {
        int id;
        const wchar_t* className;
        DWORD kind; // button type, or an edit/rich edit style bit that must be set
    };
    const struct {
        int id;
        std::vector<Expected> controls;
        std::vector<int> tabOrder;
    } templates[] = {
        {IDD_EXTRACT,
         {{IDC_DESKTOP_SHORTCUT, L"Button", BS_AUTOCHECKBOX},
          {IDC_NO_UPDATE_CHECK, L"Button", BS_AUTOCHECKBOX},
          {IDC_CREATE, L"Button", BS_DEFPUSHBUTTON},
          {IDC_INSTALL_DIR, L"Edit", ES_AUTOHSCROLL},
          // Toggled only by the code, after the agreement.
          {IDC_NO_EULA, L"Button", BS_CHECKBOX},
          {IDCANCEL, L"Button", BS_PUSHBUTTON}},
         {IDC_INSTALL_DIR, IDC_DESKTOP_SHORTCUT, IDC_NO_UPDATE_CHECK, IDC_NO_EULA, IDC_CREATE,
          IDCANCEL}},
        {IDD_EXTRACT_RESULT,
         {{IDC_SHOW_IN_EXPLORER, L"Button", BS_AUTOCHECKBOX},
          {IDOK, L"Button", BS_DEFPUSHBUTTON},
          {IDCANCEL, L"Button", BS_PUSHBUTTON}},
         {IDC_SHOW_IN_EXPLORER, IDOK, IDCANCEL}},
        {IDD_EULA,
         {{IDC_LICENCE_TEXT, L"RichEdit20W", ES_READONLY | ES_MULTILINE},
          {IDOK, L"Button", BS_DEFPUSHBUTTON},
          {IDCANCEL, L"Button", BS_PUSHBUTTON}},
         // The focus starts on Accept, not in the text, which it would select whole.
         {IDOK, IDCANCEL, IDC_LICENCE_TEXT}},
    };
    for (const auto& expected : templates) {
        SCOPED_TRACE(expected.id);
        const std::string_view bytes = Bytes(RT_DIALOG, expected.id);
        ASSERT_FALSE(bytes.empty()) << "no template in English (United Kingdom)";
        const Template dialog = Parse(bytes);
        EXPECT_EQ(dialog.style & DS_SHELLFONT, static_cast<DWORD>(DS_SHELLFONT));
        EXPECT_EQ(dialog.typeface, L"MS Shell Dlg 2");

        std::vector<int> tabOrder;
        for (const Control& control : dialog.controls) {
            if (control.style & WS_TABSTOP) {
                tabOrder.push_back(control.id);
            }
            const DWORD type = control.style & BS_TYPEMASK;
            if (control.className == L"Button" && type != BS_GROUPBOX) {
                EXPECT_FALSE(control.text.empty()) << "unlabelled button " << control.id;
            }
        }
        EXPECT_EQ(tabOrder, expected.tabOrder);

        for (const Expected& want : expected.controls) {
            SCOPED_TRACE(want.id);
            const Control* control = Find(dialog, want.id);
            ASSERT_NE(control, nullptr);
            // Class names compare without case (windres writes them in capitals).
            EXPECT_EQ(_wcsicmp(control->className.c_str(), want.className), 0)
                << testing::PrintToString(control->className);
            if (control->className == L"Button") {
                EXPECT_EQ(control->style & BS_TYPEMASK, want.kind);
            } else {
                EXPECT_EQ(control->style & want.kind, want.kind);
            }
        }
    }
}

TEST_F(ShippedResources, TheOptionDialogSendsNoIdOkAndKeepsItsExtractOnlyOptionsInOneBlock) {
    const Template dialog = Parse(Bytes(RT_DIALOG, IDD_EXTRACT));
    // IDOK would end the dialog before a file was chosen.
    EXPECT_EQ(Find(dialog, IDOK), nullptr);

    // The install directory's label comes just before it, with a mnemonic.
    const auto edit = std::find_if(dialog.controls.begin(), dialog.controls.end(),
                                   [](const Control& c) { return c.id == IDC_INSTALL_DIR; });
    ASSERT_NE(edit, dialog.controls.begin());
    EXPECT_EQ((edit - 1)->className, L"Static");
    EXPECT_NE((edit - 1)->text.find(L'&'), std::wstring::npos);

    const Control* frame = Find(dialog, IDC_EXTRACT_ONLY_FRAME);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->style & BS_TYPEMASK, static_cast<DWORD>(BS_GROUPBOX));
    const int block[] = {IDC_NO_UPDATE_CHECK, IDC_NO_UPDATE_CHECK_NOTE, IDC_NO_EULA,
                         IDC_NO_EULA_NOTE};
    for (const Control& control : dialog.controls) {
        const bool inBlock =
            std::find(std::begin(block), std::end(block), control.id) != std::end(block);
        if (control.id != frame->id) {
            EXPECT_EQ(Inside(control.rect, frame->rect), inBlock) << control.id;
            EXPECT_TRUE(inBlock || control.rect.bottom <= frame->rect.top ||
                        control.rect.top >= frame->rect.bottom)
                << "control " << control.id << " overlaps the block";
        }
    }
    // The buttons sit below the block, side by side, so that they can take its place.
    const Control* create = Find(dialog, IDC_CREATE);
    const Control* cancel = Find(dialog, IDCANCEL);
    ASSERT_TRUE(create && cancel);
    EXPECT_GT(create->rect.top, frame->rect.bottom);
    EXPECT_EQ(create->rect.top, cancel->rect.top);
    EXPECT_LT(create->rect.right, cancel->rect.left);
}

TEST_F(ShippedResources, IconLicenceAndManifest) {
    // Group icon: twelve 32-bit images, the sizes in this order (0 stands for 256).
    const std::string_view group = Bytes(RT_GROUP_ICON, IDI_SETUP);
    ASSERT_GE(group.size(), 6u);
    Reader reader(group);
    reader.Skip(4);
    const WORD count = reader.Read<WORD>();
    ASSERT_EQ(count, 12);
    std::vector<int> sizes;
    for (WORD i = 0; i < count; ++i) {
        const BYTE width = reader.Read<BYTE>();
        const BYTE height = reader.Read<BYTE>();
        reader.Skip(4); // colour count, reserved, planes
        EXPECT_EQ(reader.Read<WORD>(), 32) << "bits of image " << i;
        reader.Skip(4); // size in bytes
        const WORD image = reader.Read<WORD>();
        EXPECT_FALSE(Bytes(RT_ICON, image).empty()) << "image " << image;
        EXPECT_EQ(width, height);
        sizes.push_back(width == 0 ? 256 : width);
    }
    std::sort(sizes.begin(), sizes.end());
    EXPECT_EQ(sizes, (std::vector<int>{16, 20, 24, 32, 40, 48, 64, 72, 96, 128, 180, 256}));

    const std::string_view licence = Bytes(L"TXT", IDR_LICENCE);
    EXPECT_EQ(licence.substr(0, 6), "{\\rtf1");
    EXPECT_NE(licence.find("Licence Agreement"), std::string_view::npos);

    HRSRC found = FindResourceW(module_, MAKEINTRESOURCEW(1), RT_MANIFEST);
    ASSERT_NE(found, nullptr);
    const std::string_view manifest(
        static_cast<const char*>(LockResource(LoadResource(module_, found))),
        SizeofResource(module_, found));
    for (const char* piece :
         {"name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"", "level=\"asInvoker\"",
          "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", // Windows 7
          "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", // Windows 8
          "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", // Windows 8.1
          "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", // Windows 10 and 11
          "<dpiAware", "<dpiAwareness"}) {
        EXPECT_NE(manifest.find(piece), std::string_view::npos) << piece;
    }
}

} // namespace
