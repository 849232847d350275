// The smallest program that shows a window: one information message box, then exit 0.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    MessageBoxW(nullptr, L"A message box and nothing else.", L"Message box only",
                MB_ICONINFORMATION);
    return 0;
}
