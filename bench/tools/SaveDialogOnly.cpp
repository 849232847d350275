// The system's save dialog and nothing else, called as package creation calls it, with the
// bootstrapper's manifest: the time to this window is what the save dialog costs by itself.
#include <windows.h>

#include <commdlg.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    wchar_t file[MAX_PATH] = L"Orvanta-save-dialog-only.msi";
    OPENFILENAMEW choice{};
    choice.lStructSize = sizeof(choice);
    choice.lpstrFilter = L"MSI files\0*.msi\0All files\0*.*\0";
    choice.lpstrFile = file;
    choice.nMaxFile = MAX_PATH;
    choice.Flags = OFN_OVERWRITEPROMPT;
    return GetSaveFileNameW(&choice) ? 0 : 1;
}
