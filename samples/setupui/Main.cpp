// The setup UI: installs the package named by its configuration, which lies beside it, with
// a progress window in the user's language. Exit code 0 on success, else the installer's
// error code. "/log=true" makes the installer write its verbose log beside the program.
#include "Installer.h"
#include "Language.h"
#include "ProgressWindow.h"
#include "SetupConfig.h"
#include "Strings.h"
#include "SystemLibrary.h"

#include <shellapi.h>

#include <optional>
#include <stdexcept>
#include <thread>

namespace {

std::wstring ProgramPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            throw std::runtime_error("GetModuleFileName failed");
        }
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

bool LogRequested() {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments) {
        return false;
    }
    bool requested = false;
    for (int i = 1; i < count; ++i) {
        requested = requested ||
                    CompareStringOrdinal(arguments[i], -1, L"/log=true", -1, TRUE) == CSTR_EQUAL;
    }
    LocalFree(arguments);
    return requested;
}

std::wstring FailureText(const SetupStrings& strings, UINT code, const std::wstring& detail) {
    // The satellite's text is data: the code replaces "%1", nothing is formatted from it.
    std::wstring text = strings.Get(IDS_FAILED);
    const size_t marker = text.find(L"%1");
    if (marker != std::wstring::npos) {
        text.replace(marker, 2, std::to_wstring(code));
    }
    if (!detail.empty()) {
        text += L"\n\n" + detail;
    }
    return text;
}

// Runs the installer on a thread of its own while the window stays responsive; the
// destructor waits for it.
class InstallThread {
  public:
    InstallThread(const MsiLibrary& msi, std::wstring package, std::wstring logPath,
                  ProgressWindow& window)
        : thread_(
              [this, &msi, package = std::move(package), logPath = std::move(logPath), &window] {
                  try {
                      outcome_ = InstallPackage(msi, package, logPath, window);
                  } catch (...) {
                      outcome_.code = ERROR_INSTALL_FAILURE;
                  }
                  window.Finish();
              }) {}
    InstallThread(const InstallThread&) = delete;
    InstallThread& operator=(const InstallThread&) = delete;
    ~InstallThread() {
        if (thread_.joinable()) {
            thread_.join();
        }
    }

    // Only after the window has been told that the run is finished.
    InstallOutcome Outcome() {
        thread_.join();
        return outcome_;
    }

  private:
    InstallOutcome outcome_;
    std::thread thread_;
};

UINT RunSetupUi(HINSTANCE instance) {
    const std::wstring program = ProgramPath();
    const std::wstring directory = program.substr(0, program.rfind(L'\\') + 1);
    const bool log = LogRequested();
    const SetupStrings strings(instance, directory, SatelliteCandidates(UserUiLanguage()));
    ProgressWindow window(instance, strings);

    SetupConfig config;
    try {
        config = ReadSetupConfig(program + L".config");
    } catch (const std::runtime_error&) {
        window.ShowError(strings.Get(IDS_CONFIG_DAMAGED));
        return ERROR_BAD_CONFIGURATION;
    }
    std::optional<MsiLibrary> msi;
    try {
        msi.emplace();
    } catch (const std::runtime_error&) {
        window.ShowError(FailureText(strings, ERROR_INSTALL_SERVICE_FAILURE, {}));
        return ERROR_INSTALL_SERVICE_FAILURE;
    }

    InstallOutcome outcome;
    {
        InstallThread thread(*msi, directory + config.package,
                             log ? directory + config.logFile : std::wstring(), window);
        window.RunUntilFinished();
        outcome = thread.Outcome();
    }
    if (outcome.code == ERROR_SUCCESS || outcome.code == ERROR_SUCCESS_REBOOT_REQUIRED) {
        return ERROR_SUCCESS;
    }
    if (outcome.code != ERROR_INSTALL_USEREXIT) {
        window.ShowError(FailureText(strings, outcome.code, outcome.message));
    }
    return outcome.code;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    RestrictLibrarySearch();
    try {
        return static_cast<int>(RunSetupUi(instance));
    } catch (const std::exception&) {
        return ERROR_INSTALL_FAILURE;
    }
}
