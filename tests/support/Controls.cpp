#include "Controls.h"

void Click(HWND dialog, int id) {
    // A message box may have no control for its command.
    HWND button = GetDlgItem(dialog, id);
    button ? PostMessageW(button, BM_CLICK, 0, 0)
           : PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

void ClickNow(HWND dialog, int id) {
    SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

bool IsChecked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

void PressKey(HWND dialog, WPARAM key) {
    HWND target = dialog;
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    if (GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info) && info.hwndFocus) {
        target = info.hwndFocus;
    }
    PostMessageW(target, WM_KEYDOWN, key, 1);
    PostMessageW(target, WM_KEYUP, key, 0xC0000001);
}

void PressEscape(HWND dialog) {
    PressKey(dialog, VK_ESCAPE);
}

void CloseBox(HWND window) {
    PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
}

void ChooseFile(HWND saveAs, const std::wstring& path) {
    // The file name box is a ComboBoxEx32 with id 1148; it takes a whole path.
    SendMessageW(GetDlgItem(saveAs, 1148), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    Click(saveAs, IDOK);
}
