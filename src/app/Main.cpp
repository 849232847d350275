#include <windows.h>

#include <stdexcept>
#include <string>

#include "app/CommandLine.h"
#include "app/DllSearch.h"
#include "app/Messages.h"
#include "app/Setup.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR arguments, int) {
    RestrictDllSearchToSystemDirectory();
    const CommandLineOptions options = ParseCommandLine(arguments ? arguments : L"");
    if (options.showHelp) {
        ShowMessage(GetHelpText(), MB_ICONINFORMATION);
        return 0;
    }
    try {
        return RunSetup(instance, options.mode);
    } catch (const std::runtime_error& error) {
        const std::string text = std::string("Exception: ") + error.what();
        MessageBoxA(nullptr, text.c_str(), "Orvanta Setup", MB_ICONERROR);
        return 0;
    }
}
