#include "ui/ExtractResultDialog.h"

ExtractResultDialog::ExtractResultDialog(HINSTANCE instance)
    : Dialog<ExtractResultDialog>(instance, IDD_EXTRACT_RESULT, nullptr) {}

INT_PTR ExtractResultDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SendDlgItemMessageW(window, IDC_SHOW_IN_EXPLORER, BM_SETCHECK, BST_CHECKED, 0);
    } else if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
        showInExplorer =
            SendDlgItemMessageW(window, IDC_SHOW_IN_EXPLORER, BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
    return Dialog<ExtractResultDialog>::HandleMessage(message, wParam, lParam);
}
