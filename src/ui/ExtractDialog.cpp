#include "ui/ExtractDialog.h"

#include "ui/Language.h"

#include <commctrl.h>
#include <commdlg.h>

#include "common/SystemPaths.h"
#include "ui/EulaDialog.h"

namespace {

// The controls of the block of options that only /extract offers; the frame is the
// block's topmost control.
constexpr int kExtractOnlyControls[] = {IDC_EXTRACT_ONLY_FRAME, IDC_NO_UPDATE_CHECK,
                                        IDC_NO_UPDATE_CHECK_NOTE, IDC_NO_EULA, IDC_NO_EULA_NOTE};

bool IsChecked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

RECT ScreenRect(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return rect;
}

using GetSaveFileNameFunction = decltype(&GetSaveFileNameW);

// The save dialog, from comdlg32.dll in the system directory, loaded when it is first
// needed and kept. Imported statically, comdlg32 would bring in the common controls, their
// theming and the display driver at the start of every run, the install run and /help
// included, which never show it. Null when the library or the function is missing.
GetSaveFileNameFunction SaveFileDialog() {
    static const GetSaveFileNameFunction function = [] {
        HMODULE library = LoadLibraryW(SystemDirectoryFile(L"comdlg32.dll").c_str());
        if (!library) {
            return GetSaveFileNameFunction{};
        }
        // Through a plain function pointer type, which the compiler accepts as a cast target.
        return reinterpret_cast<GetSaveFileNameFunction>(
            reinterpret_cast<void (*)()>(GetProcAddress(library, "GetSaveFileNameW")));
    }();
    return function;
}

} // namespace

ExtractDialog::ExtractDialog(HINSTANCE instance, bool defaultsMode)
    : Dialog<ExtractDialog>(instance, IDD_EXTRACT, nullptr), defaultsMode(defaultsMode) {}

INT_PTR ExtractDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        // The title comes from the template, and this dialog has no icons of its own.
        SendDlgItemMessageW(window, IDC_INSTALL_DIR, EM_SETCUEBANNER, FALSE,
                            reinterpret_cast<LPARAM>(UiText(IDS_DEFAULT_FOLDER).c_str()));
        SetFocus(GetDlgItem(window, IDC_CREATE));
        if (defaultsMode) {
            HideExtractOnlyOptions();
        }
        return FALSE;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDC_CREATE) {
        ReadOptions();
        ChoosePackagePath();
        return FALSE;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDC_NO_EULA) {
        OnAgreementBoxClicked();
        return FALSE;
    }
    if (message == WM_COMMAND) {
        return Dialog<ExtractDialog>::HandleMessage(message, wParam, lParam);
    }
    return FALSE;
}

void ExtractDialog::ReadOptions() {
    if (!defaultsMode) {
        noUpdateCheck = IsChecked(window, IDC_NO_UPDATE_CHECK);
        noEula = IsChecked(window, IDC_NO_EULA);
    }
    wchar_t text[MAX_PATH] = {};
    GetWindowTextW(GetDlgItem(window, IDC_INSTALL_DIR), text, MAX_PATH);
    installDir = text;
    installDesktopShortcut = IsChecked(window, IDC_DESKTOP_SHORTCUT);
}

void ExtractDialog::ChoosePackagePath() {
    wchar_t file[MAX_PATH] = L"Orvanta.msi";
    OPENFILENAMEW choice{};
    choice.lStructSize = sizeof(choice);
    choice.hwndOwner = window;
    // Pairs of a name and a pattern, each ended by a NUL, and a NUL after the last.
    const std::wstring filter = UiText(IDS_MSI_FILES) + L'\0' + L"*.msi" + L'\0' +
                                UiText(IDS_ALL_FILES) + L'\0' + L"*.*" + L'\0';
    const std::wstring title = UiText(IDS_SAVE_TITLE);
    choice.lpstrFilter = filter.c_str();
    choice.lpstrTitle = title.c_str();
    choice.lpstrFile = file;
    choice.nMaxFile = MAX_PATH;
    choice.Flags = OFN_OVERWRITEPROMPT;
    // Cancelled, or a name that does not fit: the dialog stays open as it is.
    const GetSaveFileNameFunction showSaveDialog = SaveFileDialog();
    if (showSaveDialog && showSaveDialog(&choice)) {
        packagePath = file;
        EndDialog(window, IDOK);
    }
}

void ExtractDialog::OnAgreementBoxClicked() {
    HWND box = GetDlgItem(window, IDC_NO_EULA);
    if (SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED) {
        SendMessageW(box, BM_SETCHECK, BST_UNCHECKED, 0);
        return;
    }
    if (agreementAccepted) {
        SendMessageW(box, BM_SETCHECK, BST_CHECKED, 0);
        return;
    }
    EulaDialog agreement(instance, window);
    // Registers the Rich Edit 2.0 class of the agreement's template. Loaded by its full
    // path, never by bare name from beside the executable; it stays loaded for the
    // dialogs to come.
    LoadLibraryW(SystemDirectoryFile(L"riched20.dll").c_str());
    agreement.text = LoadAgreementText(instance);
    agreementAccepted = agreement.Show() == IDOK;
    if (agreementAccepted) {
        SendMessageW(box, BM_SETCHECK, BST_CHECKED, 0);
    }
}

void ExtractDialog::HideExtractOnlyOptions() {
    for (int id : kExtractOnlyControls) {
        ShowWindow(GetDlgItem(window, id), SW_HIDE);
    }
    const RECT block = ScreenRect(GetDlgItem(window, kExtractOnlyControls[0]));
    const RECT create = ScreenRect(GetDlgItem(window, IDC_CREATE));
    const RECT dialog = ScreenRect(window);
    // Negative: the block lies above the buttons, which take its place.
    const LONG shift = block.top - create.top;
    for (int id : {IDC_CREATE, IDCANCEL}) {
        HWND button = GetDlgItem(window, id);
        const RECT rect = ScreenRect(button);
        POINT topLeft{rect.left, rect.top + shift};
        POINT bottomRight{rect.right, rect.bottom + shift};
        ScreenToClient(window, &topLeft);
        ScreenToClient(window, &bottomRight);
        MoveWindow(button, topLeft.x, topLeft.y, bottomRight.x - topLeft.x,
                   bottomRight.y - topLeft.y, TRUE);
    }
    MoveWindow(window, dialog.left, dialog.top, dialog.right - dialog.left,
               dialog.bottom + shift - dialog.top, TRUE);
}
