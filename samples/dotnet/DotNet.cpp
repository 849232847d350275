// Placeholder for the framework installer that a release carries for the setup UI. The
// sample product needs no framework, so there is nothing to install: it ends at once and
// reports success.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    return 0;
}
