#include <windows.h>

#include <stdexcept>
#include <string>

#include "app/CommandLine.h"
#include "app/DllSearch.h"
#include "resources/ResourceIds.h"
#include "ui/Language.h"
#include "ui/LanguageRule.h"
#include "ui/Messages.h"
#include "app/Setup.h"
#include "common/Cancelled.h"
#include "common/DamagedSetup.h"
#include "log/Logger.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR arguments, int) {
    RestrictDllSearchToSystemDirectory();
    // The windows speak the user's language, chosen as the setup UI chooses its own.
    SetUiLanguage(ProductLanguageFor(UserUiLanguage()));
    const CommandLineOptions options = ParseCommandLine(arguments ? arguments : L"");
    if (options.showHelp) {
        ShowMessage(GetHelpText(), MB_ICONINFORMATION);
        return 0;
    }
    try {
        return RunSetup(instance, options.mode);
    } catch (const Cancelled& cancelled) {
        // What was written is gone already; the user needs no message for their own choice.
        Logger << cancelled.what() << std::endl;
        return 0;
    } catch (const DamagedSetup&) {
        // Logged with the resource where it was found.
        ShowMessage(UiText(IDS_DAMAGED), MB_ICONERROR);
        return ERROR_FILE_CORRUPT;
    } catch (const std::runtime_error& error) {
        const std::string text = std::string("Exception: ") + error.what();
        MessageBoxA(nullptr, text.c_str(), "Orvanta Setup", MB_ICONERROR);
        // What deployment tools read as a failed installation.
        return ERROR_INSTALL_FAILURE;
    }
}
