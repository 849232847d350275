#include "ui/EulaDialog.h"

#include <richedit.h>

EulaDialog::EulaDialog(HINSTANCE instance, HWND owner)
    : Dialog<EulaDialog>(instance, IDD_EULA, owner) {}

INT_PTR EulaDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        // The title comes from the template, and this dialog has no icons of its own.
        SETTEXTEX settings{ST_DEFAULT, CP_ACP};
        SendDlgItemMessageW(window, IDC_LICENCE_TEXT, EM_SETTEXTEX,
                            reinterpret_cast<WPARAM>(&settings),
                            reinterpret_cast<LPARAM>(text.c_str()));
        return TRUE;
    }
    return Dialog<EulaDialog>::HandleMessage(message, wParam, lParam);
}

std::string LoadAgreementText(HINSTANCE instance) {
    HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(IDR_LICENCE), L"TXT");
    if (!found) {
        return {};
    }
    HGLOBAL loaded = LoadResource(instance, found);
    const DWORD size = SizeofResource(instance, found);
    const char* bytes = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    return bytes ? std::string(bytes, size) : std::string();
}
