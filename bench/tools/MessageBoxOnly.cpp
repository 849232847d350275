// The smallest program that shows a window: one information message box, then exit 0.
// Built again with the bootstrapper's manifest, with its DLL imports, and with everything the
// bootstrapper has before its first window (manifest, imports, a static file stream like the
// log, a large address space), to tell what each adds to the time to the first window.
#include <windows.h>

#ifdef WITH_STATIC_STREAM
#include <fstream>

std::ofstream unopenedLog;
#endif

#ifdef WITH_BOOTSTRAPPER_IMPORTS
#include <imagehlp.h>
#include <rpc.h>
#include <shellapi.h>

// Referenced, never called: the loader still loads and initialises every DLL named here.
[[gnu::used]] void* volatile const keepImports[] = {
    reinterpret_cast<void*>(&ImageLoad),
    reinterpret_cast<void*>(&UuidCreateSequential),
    reinterpret_cast<void*>(&ShellExecuteExW),
    reinterpret_cast<void*>(&RegOpenKeyExW),
};
#endif

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    MessageBoxW(nullptr, L"A message box and nothing else.", L"Message box only",
                MB_ICONINFORMATION);
    return 0;
}
