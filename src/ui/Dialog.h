#pragma once

#include <windows.h>

#include <exception>
#include <stdexcept>
#include <utility>

#include "ui/Language.h"
#include "ui/Messages.h"
#include "common/UniqueHandle.h"
#include "resources/ResourceIds.h"

// A modal dialog from a template of the executable. T is the dialog class itself: one
// dialog of each class can be open at a time, and every message of its window goes to
// its HandleMessage.
template <typename T> class Dialog {
  public:
    HWND window = nullptr;
    HINSTANCE instance = nullptr;
    int templateId = 0;
    HWND owner = nullptr;

    // The object whose dialog is being shown; null when none is.
    static inline T* activeInstance = nullptr;

    Dialog(HINSTANCE instance, int templateId, HWND owner)
        : instance(instance), templateId(templateId), owner(owner) {}
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;
    virtual ~Dialog() = default;

    // The common behaviour: window icons and the product title on WM_INITDIALOG, and
    // IDOK or IDCANCEL end the dialog with the whole wParam as its result.
    virtual INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM /*lParam*/) {
        switch (message) {
        case WM_INITDIALOG:
            SetIconsAndTitle();
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                EndDialog(window, static_cast<INT_PTR>(wParam));
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
        }
    }

    // Shows the dialog and returns what ended it (IDOK, IDCANCEL), or -1 when it could
    // not be created. An error raised while it was open is raised here once it has closed.
    int Show() {
        if (activeInstance) {
            throw std::runtime_error("Dialog: Reentrance not allowed");
        }
        activeInstance = static_cast<T*>(this);
        // The template in the user's language, else the English one.
        const DLGTEMPLATE* const found = UiDialogTemplate(templateId);
        const INT_PTR result = found ? DialogBoxIndirectParamW(GetModuleHandleW(nullptr), found,
                                                               owner, StaticDialogProc, 0)
                                     : -1;
        activeInstance = nullptr;
        if (failure_) {
            std::rethrow_exception(std::exchange(failure_, nullptr));
        }
        return static_cast<int>(result);
    }

    static INT_PTR CALLBACK StaticDialogProc(HWND hwnd, UINT message, WPARAM wParam,
                                             LPARAM lParam) noexcept {
        T* self = activeInstance;
        if (!self) {
            return FALSE;
        }
        if (!self->window) {
            self->window = hwnd;
        }
        // An exception cannot unwind through user32's frames (it would end in
        // std::terminate): keep the first one, end the dialog, and let Show raise it.
        try {
            return self->HandleMessage(message, wParam, lParam);
        } catch (...) {
            if (!self->failure_) {
                self->failure_ = std::current_exception();
                EndDialog(hwnd, -1);
            }
            return TRUE;
        }
    }

  protected:
    void SetIconsAndTitle() {
        smallIcon_ = LoadWindowIcon(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON));
        if (smallIcon_) {
            SendMessageW(window, WM_SETICON, ICON_SMALL,
                         reinterpret_cast<LPARAM>(smallIcon_.get()));
        }
        bigIcon_ = LoadWindowIcon(GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON));
        if (bigIcon_) {
            SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_.get()));
        }
        const std::wstring title = GetProductTitle();
        SendMessageW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(title.c_str()));
    }

  private:
    UniqueIcon LoadWindowIcon(int width, int height) const {
        return UniqueIcon(static_cast<HICON>(LoadImageW(
            instance, MAKEINTRESOURCEW(IDI_SETUP), IMAGE_ICON, width, height, LR_DEFAULTCOLOR)));
    }

    std::exception_ptr failure_;
    // The window's icons, owned here because the window does not destroy them; the
    // object outlives its window.
    UniqueIcon smallIcon_;
    UniqueIcon bigIcon_;
};
