#include "ui/ProgressWindow.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "common/Cancelled.h"
#include "ui/Dialog.h"
#include "ui/Language.h"

namespace {

// The window is made, hidden, a while before it is shown: making it takes a few hundred
// milliseconds where 32-bit code is emulated.
constexpr DWORD kMakeAfterMs = 750;
constexpr DWORD kShowAfterMs = 1000;
constexpr UINT kRefreshMs = 100;
constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT_PTR kShowTimer = 2;
// Posted by the work when it is over.
constexpr UINT kCloseMessage = WM_APP + 1;
// The bar's range: bytes would not fit its 32-bit position.
constexpr int kBarSteps = 1000;

// Milliseconds from now to the tick, 0 when it has passed.
DWORD TimeUntil(ULONGLONG tick) {
    const ULONGLONG now = GetTickCount64();
    return tick > now ? static_cast<DWORD>(tick - now) : 0;
}

class ProgressDialog : public Dialog<ProgressDialog> {
  public:
    ProgressDialog(ProgressWindow::Shared& shared, ULONGLONG showAt)
        : Dialog<ProgressDialog>(shared.instance, IDD_PROGRESS, nullptr), shared_(shared),
          showAt_(showAt) {}

    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        switch (message) {
        case WM_INITDIALOG:
            SetIconsAndTitle();
            SetDlgItemTextW(window, IDC_PROGRESS_TEXT, shared_.text.c_str());
            SendDlgItemMessageW(window, IDC_PROGRESS_BAR, PBM_SETRANGE32, 0, kBarSteps);
            Refresh();
            SetTimer(window, kRefreshTimer, kRefreshMs, nullptr);
            SetTimer(window, kShowTimer, TimeUntil(showAt_), nullptr);
            // Published before the check, so that the work either finds the window or is
            // found to be over here.
            shared_.window = window;
            if (WaitForSingleObject(shared_.finished.get(), 0) == WAIT_OBJECT_0) {
                EndDialog(window, IDOK);
            }
            return TRUE;
        case WM_TIMER:
            if (WaitForSingleObject(shared_.finished.get(), 0) == WAIT_OBJECT_0) {
                EndDialog(window, IDOK);
            } else if (wParam == kShowTimer) {
                // A timer may fire a tick early.
                if (const DWORD early = TimeUntil(showAt_)) {
                    SetTimer(window, kShowTimer, early, nullptr);
                    return TRUE;
                }
                KillTimer(window, kShowTimer);
                mayShow_ = true;
                ShowWindow(window, SW_SHOWNORMAL);
            } else {
                Refresh();
            }
            return TRUE;
        case WM_WINDOWPOSCHANGING:
            // The dialog box shows itself once its queue is empty; not before its time.
            if (!mayShow_) {
                reinterpret_cast<WINDOWPOS*>(lParam)->flags &= ~SWP_SHOWWINDOW;
            }
            return FALSE;
        case kCloseMessage:
            EndDialog(window, IDOK);
            return TRUE;
        case WM_COMMAND:
            // Cancel, Escape and the close box; the button is disabled once pressed, so
            // none of them asks again. Enter does nothing.
            if (LOWORD(wParam) == IDCANCEL) {
                shared_.cancelRequested = true;
                EnableWindow(GetDlgItem(window, IDCANCEL), FALSE);
                SetDlgItemTextW(window, IDC_PROGRESS_TEXT, UiText(IDS_CANCELLING).c_str());
            }
            return TRUE;
        case WM_DESTROY:
            KillTimer(window, kRefreshTimer);
            shared_.window = nullptr;
            return FALSE;
        default:
            return Dialog<ProgressDialog>::HandleMessage(message, wParam, lParam);
        }
    }

  private:
    void Refresh() {
        const uint64_t total = shared_.totalBytes;
        const uint64_t done = std::min<uint64_t>(shared_.doneBytes, total);
        const int position = total == 0 ? 0 : static_cast<int>(done * kBarSteps / total);
        SendDlgItemMessageW(window, IDC_PROGRESS_BAR, PBM_SETPOS, position, 0);
    }

    ProgressWindow::Shared& shared_;
    ULONGLONG showAt_;
    bool mayShow_ = false;
};

// The window's code and resources come from the executable's file, which may be on the
// slow medium itself: once the copy streams from it, every page the window touches first
// would wait behind the copy's reads, for seconds. So they are read in while the copy
// starts: every section but the resources (the payloads), the template and the icons.
void ReadInWhatTheWindowNeeds(HINSTANCE instance) {
    const auto* base = reinterpret_cast<const uint8_t*>(instance);
    const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const DWORD resources =
        headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_RESOURCE].VirtualAddress;
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(headers);
    volatile uint8_t sink = 0;
    for (WORD i = 0; i < headers->FileHeader.NumberOfSections; ++i, ++section) {
        if (section->VirtualAddress == resources) {
            continue;
        }
        for (DWORD offset = 0; offset < section->Misc.VirtualSize; offset += 4096) {
            sink = sink ^ base[section->VirtualAddress + offset];
        }
    }
    const auto readIn = [instance, &sink](const wchar_t* name, const wchar_t* type) {
        const HRSRC found = FindResourceW(instance, name, type);
        const auto* bytes =
            found ? static_cast<const uint8_t*>(LockResource(LoadResource(instance, found)))
                  : nullptr;
        const DWORD size = bytes ? SizeofResource(instance, found) : 0;
        for (DWORD offset = 0; offset < size; offset += 4096) {
            sink = sink ^ bytes[offset];
        }
        return std::make_pair(bytes, size);
    };
    readIn(MAKEINTRESOURCEW(IDD_PROGRESS), RT_DIALOG);
    // Every icon of the group, not only the two the dialog takes: asking the system which
    // those are makes it open the display, which a run that shows nothing would pay for. The group
    // is a 6-byte header and 14-byte entries, each ending in the icon's id.
    const auto [group, groupSize] = readIn(MAKEINTRESOURCEW(IDI_SETUP), RT_GROUP_ICON);
    if (group != nullptr && groupSize >= 6) {
        WORD count = 0;
        std::memcpy(&count, group + 4, sizeof(count));
        for (DWORD entry = 6; count > 0 && entry + 14 <= groupSize; entry += 14, --count) {
            WORD id = 0;
            std::memcpy(&id, group + entry + 12, sizeof(id));
            readIn(MAKEINTRESOURCEW(id), RT_ICON);
        }
    }
}

void ShowWhenSlow(ProgressWindow::Shared& shared, ULONGLONG begun) {
    ReadInWhatTheWindowNeeds(shared.instance);
    if (WaitForSingleObject(shared.finished.get(), TimeUntil(begun + kMakeAfterMs)) !=
        WAIT_TIMEOUT) {
        return;
    }
    // The window is only a sign of life: when it cannot be shown, the work goes on without.
    try {
        ProgressDialog dialog(shared, begun + kShowAfterMs);
        dialog.Show();
    } catch (...) {
    }
}

} // namespace

ProgressWindow::ProgressWindow(HINSTANCE instance, std::wstring text) {
    shared_.instance = instance;
    shared_.text = std::move(text);
    shared_.finished.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (shared_.finished) {
        // The window is only a sign of life: without a thread for it, the work goes on alone.
        try {
            thread_ =
                SystemThread([this, begun = GetTickCount64()] { ShowWhenSlow(shared_, begun); });
        } catch (const std::runtime_error&) {
        }
    }
}

ProgressWindow::~ProgressWindow() {
    Close();
}

void ProgressWindow::SetTotal(uint64_t bytes) {
    shared_.totalBytes = bytes;
}

bool ProgressWindow::ShouldContinue() {
    return !shared_.cancelRequested;
}

void ProgressWindow::Copied(uint32_t bytes) {
    shared_.doneBytes += bytes;
}

void ProgressWindow::Finish() {
    Close();
    if (shared_.cancelRequested) {
        throw Cancelled();
    }
}

void ProgressWindow::Close() noexcept {
    if (!thread_.Running()) {
        return;
    }
    SetEvent(shared_.finished.get());
    if (const HWND window = shared_.window) {
        PostMessageW(window, kCloseMessage, 0, 0);
    }
    thread_.Join();
}
