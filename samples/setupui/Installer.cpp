#include "Installer.h"

#include "Progress.h"
#include "SystemLibrary.h"

namespace {

// Everything but the progress messages themselves, like "msiexec /l*v".
constexpr DWORD kVerboseLog =
    INSTALLLOGMODE_FATALEXIT | INSTALLLOGMODE_ERROR | INSTALLLOGMODE_WARNING | INSTALLLOGMODE_USER |
    INSTALLLOGMODE_INFO | INSTALLLOGMODE_RESOLVESOURCE | INSTALLLOGMODE_OUTOFDISKSPACE |
    INSTALLLOGMODE_ACTIONSTART | INSTALLLOGMODE_ACTIONDATA | INSTALLLOGMODE_COMMONDATA |
    INSTALLLOGMODE_PROPERTYDUMP | INSTALLLOGMODE_VERBOSE;

// What the basic UI would otherwise show itself; the questions it asks beyond these (files
// in use, the source) stay with it.
constexpr DWORD kHandledMessages =
    INSTALLLOGMODE_PROGRESS | INSTALLLOGMODE_ACTIONDATA | INSTALLLOGMODE_ACTIONSTART |
    INSTALLLOGMODE_FATALEXIT | INSTALLLOGMODE_ERROR | INSTALLLOGMODE_WARNING | INSTALLLOGMODE_USER;

struct HandlerState {
    InstallObserver& observer;
    ProgressTracker tracker;
    std::wstring lastError;
};

int ReportProgress(HandlerState& state) {
    state.observer.Progress(state.tracker.Permille(), state.tracker.Executing());
    return state.observer.CancelRequested() ? IDCANCEL : IDOK;
}

// Called by the installer on the installing thread; nothing may unwind into it.
int WINAPI HandleMessage(LPVOID context, UINT type, LPCWSTR message) noexcept {
    try {
        auto& state = *static_cast<HandlerState*>(context);
        const std::wstring text = message ? message : L"";
        switch (static_cast<INSTALLMESSAGE>(type & 0xFF000000)) {
        case INSTALLMESSAGE_PROGRESS:
            state.tracker.OnProgress(text);
            return ReportProgress(state);
        case INSTALLMESSAGE_ACTIONDATA:
            state.tracker.OnActionData();
            return ReportProgress(state);
        case INSTALLMESSAGE_ACTIONSTART:
            return IDOK; // the window shows no action names
        case INSTALLMESSAGE_FATALEXIT:
            state.lastError = text;
            return IDOK;
        case INSTALLMESSAGE_ERROR:
        case INSTALLMESSAGE_WARNING:
        case INSTALLMESSAGE_USER:
            // A message with only an OK button is kept for the final report instead of
            // stopping the run; one that offers a choice is put to the user.
            if ((type & MB_TYPEMASK) == MB_OK) {
                if ((type & 0xFF000000) == INSTALLMESSAGE_ERROR) {
                    state.lastError = text;
                }
                return IDOK;
            }
            return state.observer.Ask(type & (MB_TYPEMASK | MB_ICONMASK | MB_DEFMASK), text);
        default:
            return 0;
        }
    } catch (...) {
        return 0;
    }
}

} // namespace

MsiLibrary::MsiLibrary() : library_(LoadSystemLibrary(L"msi.dll")) {
    SetInternalUI = LibraryFunction<decltype(SetInternalUI)>(library_, "MsiSetInternalUI");
    SetExternalUI = LibraryFunction<decltype(SetExternalUI)>(library_, "MsiSetExternalUIW");
    EnableLog = LibraryFunction<decltype(EnableLog)>(library_, "MsiEnableLogW");
    InstallProduct = LibraryFunction<decltype(InstallProduct)>(library_, "MsiInstallProductW");
}

InstallOutcome InstallPackage(const MsiLibrary& msi, const std::wstring& package,
                              const std::wstring& logPath, InstallObserver& observer) {
    HandlerState state{observer, {}, {}};
    HWND owner = observer.Owner();
    msi.SetInternalUI(INSTALLUILEVEL_BASIC, &owner);
    msi.SetExternalUI(HandleMessage, kHandledMessages, &state);
    if (!logPath.empty()) {
        // A log that cannot be written does not stop the install.
        msi.EnableLog(kVerboseLog, logPath.c_str(), INSTALLLOGATTRIBUTES_FLUSHEACHLINE);
    }
    // A restart that the package asks for is left to the user, after setup has ended.
    InstallOutcome outcome;
    outcome.code = msi.InstallProduct(package.c_str(), L"REBOOT=ReallySuppress");
    msi.SetExternalUI(nullptr, 0, nullptr);
    outcome.message = state.lastError;
    return outcome;
}
