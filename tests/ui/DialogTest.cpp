#include "ui/EulaDialog.h"
#include "ui/ExtractDialog.h"
#include "ui/ExtractResultDialog.h"
#include "package/PackageCreation.h"
#include "package/WindowsInstaller.h"

#include "Handles.h"
#include "TestFiles.h"
#include "UiScript.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <new>

// This program carries the bootstrapper's resources: the templates, the icons, the
// licence and the manifest that brings common controls 6; its installer package is the
// property editing test package.
namespace {

HINSTANCE Self() {
    return GetModuleHandleW(nullptr);
}

// The control with the focus while the dialog is active. A window of another test on the
// same display may have taken the activation; on its return the dialog gives the focus
// back to the control that had it.
HWND FocusWhileActive(HWND dialog) {
    SetForegroundWindow(dialog);
    return GetFocus();
}

std::wstring CueBanner(HWND dialog) {
    wchar_t text[64] = {};
    SendDlgItemMessageW(dialog, IDC_INSTALL_DIR, EM_GETCUEBANNER, reinterpret_cast<WPARAM>(text),
                        64);
    return text;
}

// Where the option dialog's controls are, in its client coordinates.
struct Layout {
    RECT frame;
    RECT create;
    RECT cancel;
    int height;
    bool extractOnlyVisible;
};

Layout Measure(HWND dialog) {
    RECT window{};
    GetWindowRect(dialog, &window);
    bool visible = false;
    for (int id : {IDC_EXTRACT_ONLY_FRAME, IDC_NO_UPDATE_CHECK, IDC_NO_UPDATE_CHECK_NOTE,
                   IDC_NO_EULA, IDC_NO_EULA_NOTE}) {
        visible = visible || IsWindowVisible(GetDlgItem(dialog, id));
    }
    return {ClientRect(dialog, IDC_EXTRACT_ONLY_FRAME), ClientRect(dialog, IDC_CREATE),
            ClientRect(dialog, IDCANCEL), static_cast<int>(window.bottom - window.top), visible};
}

TEST(ExtractDialog, ExtractModeReadsEveryOptionAndTheFileChosenInTheSaveDialog) {
    TempDir dir{L"dlg"};
    const std::wstring chosen = dir / L"Chosen Package.msi";
    const std::wstring typed = L"  C:\\Program Files\\Orvanta Test\\ ";
    ExtractDialog dialog(Self(), false);
    UiScript script({
        {kOptions,
         [&](HWND options) {
             EXPECT_EQ(CueBanner(options), L"[Default]");
             EXPECT_EQ(FocusWhileActive(options), GetDlgItem(options, IDC_CREATE));
             // Enter presses the create button: nothing sends IDOK before a file is chosen.
             EXPECT_EQ(LOWORD(SendMessageW(options, DM_GETDEFID, 0, 0)), IDC_CREATE);
             EXPECT_EQ(GetDlgItem(options, IDOK), nullptr);
             std::vector<int> tabOrder;
             HWND control = GetDlgItem(options, IDC_INSTALL_DIR);
             for (int i = 0; i < 6; ++i, control = GetNextDlgTabItem(options, control, FALSE)) {
                 tabOrder.push_back(GetDlgCtrlID(control));
             }
             EXPECT_EQ(tabOrder,
                       (std::vector<int>{IDC_INSTALL_DIR, IDC_DESKTOP_SHORTCUT, IDC_NO_UPDATE_CHECK,
                                         IDC_NO_EULA, IDC_CREATE, IDCANCEL}));
             EXPECT_TRUE(Measure(options).extractOnlyVisible);
             SetDlgItemTextW(options, IDC_INSTALL_DIR, typed.c_str());
             ClickNow(options, IDC_DESKTOP_SHORTCUT);
             ClickNow(options, IDC_NO_UPDATE_CHECK);
             Click(options, IDC_NO_EULA);
         }},
        {kAgreement,
         [&](HWND agreement) {
             // The rich text is shown as text, not as its markup.
             const std::wstring text = ControlText(agreement, IDC_LICENCE_TEXT);
             EXPECT_EQ(text.rfind(L"Orvanta Vellumo", 0), 0u) << testing::PrintToString(text);
             EXPECT_EQ(text.find(L"\\rtf"), std::wstring::npos);
             Click(agreement, IDOK);
         }},
        {kOptions,
         [&](HWND options) {
             EXPECT_TRUE(IsChecked(options, IDC_NO_EULA));
             Click(options, IDC_CREATE);
         }},
        {kSaveAs, [&](HWND saveAs) { ChooseFile(saveAs, chosen); }},
    });

    EXPECT_EQ(dialog.Show(), IDOK);
    EXPECT_TRUE(script.Finished());
    EXPECT_EQ(dialog.packagePath, chosen);
    EXPECT_EQ(dialog.installDir, typed);
    EXPECT_TRUE(dialog.installDesktopShortcut);
    EXPECT_TRUE(dialog.noUpdateCheck);
    EXPECT_TRUE(dialog.noEula);
    EXPECT_TRUE(dialog.agreementAccepted);
    EXPECT_EQ(ExtractDialog::activeInstance, nullptr);
}

TEST(ExtractDialog, TheAgreementIsShownUntilAcceptedAndThenTheBoxTogglesWithoutIt) {
    ExtractDialog dialog(Self(), false);
    int agreementsShown = 0;
    DWORD handles = 0;
    auto decline = [&](void (*how)(HWND)) {
        return UiScript::Step{kAgreement, [&agreementsShown, &handles, how](HWND agreement) {
                                  // Counted once the first agreement has loaded its libraries.
                                  handles = ++agreementsShown == 2 ? OpenHandleCount() : handles;
                                  how(agreement);
                              }};
    };
    auto expectUncheckedAndClick = UiScript::Step{kOptions, [](HWND options) {
                                                      EXPECT_FALSE(IsChecked(options, IDC_NO_EULA));
                                                      Click(options, IDC_NO_EULA);
                                                  }};
    UiScript script({
        {kOptions, [](HWND options) { Click(options, IDC_NO_EULA); }},
        decline([](HWND agreement) { Click(agreement, IDCANCEL); }),
        expectUncheckedAndClick,
        decline(CloseBox),
        expectUncheckedAndClick,
        decline(PressEscape),
        expectUncheckedAndClick,
        {kAgreement,
         [&](HWND agreement) {
             ++agreementsShown;
             Click(agreement, IDOK);
         }},
        {kOptions,
         [&](HWND options) {
             EXPECT_TRUE(IsChecked(options, IDC_NO_EULA));
             ClickNow(options, IDC_NO_EULA);
             EXPECT_FALSE(IsChecked(options, IDC_NO_EULA));
             ClickNow(options, IDC_NO_EULA);
             EXPECT_TRUE(IsChecked(options, IDC_NO_EULA));
             EXPECT_EQ(FindThreadWindow(kAgreement), nullptr);
             Click(options, IDCANCEL);
         }},
    });

    EXPECT_EQ(dialog.Show(), IDCANCEL);
    EXPECT_EQ(OpenHandleCount(), handles);
    EXPECT_TRUE(script.Finished());
    EXPECT_EQ(agreementsShown, 4);
    EXPECT_TRUE(dialog.agreementAccepted);
}

TEST(ExtractDialog, WithoutItsAgreementResourceTheAgreementOpensEmpty) {
    // The agreement text comes from the dialog's module; kernel32 has none.
    ExtractDialog dialog(GetModuleHandleW(L"kernel32.dll"), false);
    UiScript script({
        {kOptions, [](HWND options) { Click(options, IDC_NO_EULA); }},
        {kAgreement,
         [](HWND agreement) {
             EXPECT_EQ(ControlText(agreement, IDC_LICENCE_TEXT), L"");
             Click(agreement, IDCANCEL);
         }},
        {kOptions, [](HWND options) { Click(options, IDCANCEL); }},
    });
    EXPECT_EQ(dialog.Show(), IDCANCEL);
    EXPECT_TRUE(script.Finished());
}

TEST(ExtractDialog, DefaultsModeHidesTheExtractOnlyBlockMovesTheButtonsUpAndReadsNeitherBox) {
    Layout extract{};
    {
        ExtractDialog dialog(Self(), false);
        UiScript script({{kOptions, [&](HWND options) {
                              extract = Measure(options);
                              Click(options, IDCANCEL);
                          }}});
        ASSERT_EQ(dialog.Show(), IDCANCEL);
    }

    TempDir dir{L"dlg"};
    ExtractDialog dialog(Self(), true);
    Layout defaults{};
    UiScript script({
        {kOptions,
         [&](HWND options) {
             defaults = Measure(options);
             EXPECT_EQ(CueBanner(options), L"[Default]");
             EXPECT_EQ(FocusWhileActive(options), GetDlgItem(options, IDC_CREATE));
             // Whatever state the hidden boxes are in, they are not read.
             CheckDlgButton(options, IDC_NO_UPDATE_CHECK, BST_CHECKED);
             CheckDlgButton(options, IDC_NO_EULA, BST_CHECKED);
             ClickNow(options, IDC_DESKTOP_SHORTCUT);
             Click(options, IDC_CREATE);
         }},
        {kSaveAs, [&](HWND saveAs) { ChooseFile(saveAs, dir / L"defaults.msi"); }},
    });
    EXPECT_EQ(dialog.Show(), IDOK);
    EXPECT_TRUE(script.Finished());

    EXPECT_FALSE(defaults.extractOnlyVisible);
    const LONG shift = extract.frame.top - extract.create.top;
    ASSERT_LT(shift, 0);
    EXPECT_EQ(defaults.create.top, extract.frame.top);
    EXPECT_EQ(defaults.cancel.top, extract.cancel.top + shift);
    EXPECT_EQ(defaults.create.left, extract.create.left);
    EXPECT_EQ(defaults.cancel.left, extract.cancel.left);
    EXPECT_EQ(defaults.create.bottom - defaults.create.top,
              extract.create.bottom - extract.create.top);
    EXPECT_EQ(defaults.cancel.right - defaults.cancel.left,
              extract.cancel.right - extract.cancel.left);
    EXPECT_EQ(defaults.height, extract.height + shift);

    EXPECT_FALSE(dialog.noUpdateCheck);
    EXPECT_FALSE(dialog.noEula);
    EXPECT_TRUE(dialog.installDesktopShortcut);
    EXPECT_EQ(dialog.installDir, L"");
    EXPECT_EQ(dialog.packagePath, dir / L"defaults.msi");
}

TEST(ExtractDialog, EnterOpensTheSaveDialogWhoseCancelKeepsTheOptionsAndEveryCloseCancels) {
    const struct {
        const char* name;
        void (*close)(HWND);
    } closes[] = {{"Cancel", [](HWND options) { Click(options, IDCANCEL); }},
                  {"Escape", PressEscape},
                  {"close box", CloseBox}};
    DWORD handles = 0;
    for (const auto& close : closes) {
        SCOPED_TRACE(close.name);
        handles = &close == &closes[1] ? OpenHandleCount() : handles; // the first warms up
        ExtractDialog dialog(Self(), false);
        UiScript script({
            {kOptions,
             [](HWND options) {
                 SetDlgItemTextW(options, IDC_INSTALL_DIR, L"D:\\Kept");
                 ClickNow(options, IDC_DESKTOP_SHORTCUT);
                 HWND edit = GetDlgItem(options, IDC_INSTALL_DIR);
                 SetFocus(edit);
                 PressKey(edit, VK_RETURN);
             }},
            {kSaveAs, [](HWND saveAs) { Click(saveAs, IDCANCEL); }},
            {kOptions,
             [&](HWND options) {
                 EXPECT_EQ(ControlText(options, IDC_INSTALL_DIR), L"D:\\Kept");
                 EXPECT_TRUE(IsChecked(options, IDC_DESKTOP_SHORTCUT));
                 close.close(options);
             }},
        });
        EXPECT_EQ(dialog.Show(), IDCANCEL);
        EXPECT_TRUE(script.Finished());
        EXPECT_EQ(dialog.packagePath, L"");
    }
    EXPECT_EQ(OpenHandleCount(), handles);
}

TEST(ExtractResultDialog, ShowInExplorerIsTheBoxStateOnlyWhenClosedWithOk) {
    const struct {
        const char* name;
        bool check;
        void (*close)(HWND);
        int result;
        bool showInExplorer;
    } cases[] = {
        {"OK, checked", true, [](HWND d) { Click(d, IDOK); }, IDOK, true},
        {"OK, unchecked", false, [](HWND d) { Click(d, IDOK); }, IDOK, false},
        {"Cancel, checked", true, [](HWND d) { Click(d, IDCANCEL); }, IDCANCEL, false},
        {"close box, checked", true, CloseBox, IDCANCEL, false},
        {"Escape, checked", true, PressEscape, IDCANCEL, false},
    };
    DWORD handles = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        handles = &c == &cases[1] ? OpenHandleCount() : handles; // the first warms up
        ExtractResultDialog dialog(Self());
        UiScript script({{kResult, [&](HWND result) {
                              EXPECT_TRUE(IsChecked(result, IDC_SHOW_IN_EXPLORER));
                              // The window icons, at the small and large icon sizes.
                              for (const auto& [kind, size] :
                                   {std::pair{ICON_SMALL, SM_CXSMICON}, {ICON_BIG, SM_CXICON}}) {
                                  auto icon = reinterpret_cast<HICON>(
                                      SendMessageW(result, WM_GETICON, kind, 0));
                                  ICONINFO info{};
                                  ASSERT_TRUE(icon && GetIconInfo(icon, &info));
                                  BITMAP bitmap{};
                                  GetObjectW(info.hbmColor, sizeof(bitmap), &bitmap);
                                  EXPECT_EQ(bitmap.bmWidth, GetSystemMetrics(size));
                                  EXPECT_EQ(bitmap.bmBitsPixel, 32);
                                  DeleteObject(info.hbmColor);
                                  DeleteObject(info.hbmMask);
                              }
                              CheckDlgButton(result, IDC_SHOW_IN_EXPLORER,
                                             c.check ? BST_CHECKED : BST_UNCHECKED);
                              c.close(result);
                          }}});
        EXPECT_EQ(dialog.Show(), c.result);
        EXPECT_TRUE(script.Finished());
        EXPECT_EQ(dialog.showInExplorer, c.showInExplorer);
    }
    EXPECT_EQ(OpenHandleCount(), handles);
}

// A dialog that raises an error from its message handling.
class FailingDialog : public Dialog<FailingDialog> {
  public:
    FailingDialog(UINT failAt, bool outOfMemory)
        : Dialog<FailingDialog>(GetModuleHandleW(nullptr), IDD_EXTRACT_RESULT, nullptr),
          failAt_(failAt), outOfMemory_(outOfMemory) {}

    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == failAt_ &&
            (message != WM_COMMAND || LOWORD(wParam) == IDC_SHOW_IN_EXPLORER)) {
            if (outOfMemory_) {
                throw std::bad_alloc();
            }
            throw std::runtime_error("raised while open");
        }
        return Dialog<FailingDialog>::HandleMessage(message, wParam, lParam);
    }

  private:
    UINT failAt_;
    bool outOfMemory_;
};

TEST(Dialog, AnErrorRaisedWhileOpenEndsTheDialogAndIsRaisedAgainByShow) {
    // Without the catch in the dialog procedure, this process would end in std::terminate.
    const struct {
        const char* name;
        UINT failAt;
        bool outOfMemory;
    } cases[] = {{"WM_INITDIALOG", WM_INITDIALOG, false}, {"a click", WM_COMMAND, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FailingDialog failing(c.failAt, c.outOfMemory);
        // A dialog failing in WM_INITDIALOG never shows; the other one is clicked.
        std::vector<UiScript::Step> steps;
        if (c.failAt == WM_COMMAND) {
            steps.push_back({kResult, [](HWND result) { Click(result, IDC_SHOW_IN_EXPLORER); }});
        }
        UiScript script(steps);
        if (c.outOfMemory) {
            EXPECT_THROW(failing.Show(), std::bad_alloc);
        } else {
            try {
                failing.Show();
                ADD_FAILURE() << "Show returned";
            } catch (const std::runtime_error& error) {
                EXPECT_STREQ(error.what(), "raised while open");
            }
        }
        EXPECT_TRUE(script.Finished());
        EXPECT_FALSE(IsWindow(failing.window));
        EXPECT_EQ(FailingDialog::activeInstance, nullptr);
    }

    // The class can be shown again afterwards.
    FailingDialog quiet(WM_APP + 99, false);
    UiScript script({{kResult, [](HWND result) { Click(result, IDCANCEL); }}});
    EXPECT_EQ(quiet.Show(), IDCANCEL);
}

class MissingTemplateDialog : public Dialog<MissingTemplateDialog> {
  public:
    MissingTemplateDialog()
        : Dialog<MissingTemplateDialog>(GetModuleHandleW(nullptr), 4242, nullptr) {}
};

TEST(Dialog, ASecondShowOfTheSameClassIsRefusedAndAMissingTemplateGivesMinusOne) {
    ExtractResultDialog first(Self());
    bool refused = false;
    UiScript script({{kResult, [&](HWND result) {
                          ExtractResultDialog second(Self());
                          try {
                              second.Show();
                          } catch (const std::runtime_error& error) {
                              refused =
                                  std::string(error.what()) == "Dialog: Reentrance not allowed";
                          }
                          EXPECT_EQ(second.window, nullptr);
                          EXPECT_EQ(ExtractResultDialog::activeInstance, &first);
                          // Another class may open meanwhile: the guard is per class.
                          EXPECT_EQ(MissingTemplateDialog().Show(), -1);
                          Click(result, IDCANCEL);
                      }}});
    EXPECT_EQ(first.Show(), IDCANCEL);
    EXPECT_TRUE(script.Finished());
    EXPECT_TRUE(refused);
    EXPECT_EQ(ExtractResultDialog::activeInstance, nullptr);
    EXPECT_EQ(MissingTemplateDialog::activeInstance, nullptr);
}

UINT WINAPI FailCommit(MSIHANDLE) {
    return ERROR_FUNCTION_FAILED;
}

// Puts a commit that fails into the installer table for the length of a scope.
class FailingCommit {
  public:
    explicit FailingCommit(WindowsInstaller& api) : api_(api), saved_(api.DatabaseCommit) {
        api_.DatabaseCommit = FailCommit;
    }
    ~FailingCommit() { api_.DatabaseCommit = saved_; }
    FailingCommit(const FailingCommit&) = delete;
    FailingCommit& operator=(const FailingCommit&) = delete;

  private:
    WindowsInstaller& api_;
    decltype(WindowsInstaller::DatabaseCommit) saved_;
};

TEST(PackageCreation, APackageWhoseCommitFailedIsNotLeftAtTheChosenPath) {
    WindowsInstaller* api = GetWindowsInstaller();
    ASSERT_NE(api, nullptr);
    const FailingCommit failing(*api);
    DWORD handles = 0;
    for (const bool defaultsMode : {false, true, false, true}) {
        SCOPED_TRACE(defaultsMode ? "/defaults" : "/extract");
        handles = handles == 0 && defaultsMode ? OpenHandleCount() : handles; // after a warm-up
        TempDir dir{L"pkg"};
        const std::wstring chosen = dir / L"Silent.msi";
        UiScript script({
            {kOptions, [](HWND options) { Click(options, IDC_CREATE); }},
            {kSaveAs, [&](HWND saveAs) { ChooseFile(saveAs, chosen); }},
        });
        try {
            RunPackageCreation(Self(), defaultsMode);
            ADD_FAILURE() << "RunPackageCreation returned";
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), "MsiDatabaseCommit failed");
        }
        EXPECT_TRUE(script.Finished());
        EXPECT_FALSE(FileExists(chosen));
    }
    // The runs' progress windows had threads of their own, which Wine lets go of later.
    EXPECT_EQ(SettledHandleCount(handles), handles);
}

} // namespace
