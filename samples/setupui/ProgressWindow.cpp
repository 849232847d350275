#include "ProgressWindow.h"

#include "Strings.h"
#include "SystemLibrary.h"

#include <commctrl.h>

#include <stdexcept>

namespace {

const wchar_t kClassName[] = L"OrvantaSetupUI";

enum : UINT {
    WM_APP_PROGRESS = WM_APP + 1, // wParam: permille, lParam: executing
    WM_APP_ASK,                   // wParam: style, lParam: the text; returns the button
    WM_APP_FINISHED,
};

constexpr int kClientWidth = 440;
constexpr int kClientHeight = 118;
constexpr int kMargin = 16;
constexpr int kCancelId = IDCANCEL;

} // namespace

ProgressWindow::ProgressWindow(HINSTANCE instance, const SetupStrings& strings)
    : strings_(strings), commonControls_(LoadSystemLibrary(L"comctl32.dll")) {
    using InitFunction = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    const INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS};
    LibraryFunction<InitFunction>(commonControls_, "InitCommonControlsEx")(&controls);

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kClassName;
    RegisterClassExW(&windowClass);

    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT frame{0, 0, kClientWidth, kClientHeight};
    AdjustWindowRect(&frame, style, FALSE);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    window_ = CreateWindowExW(0, kClassName, strings_.Get(IDS_TITLE).c_str(), style,
                              work.left + (work.right - work.left - width) / 2,
                              work.top + (work.bottom - work.top - height) / 2, width, height,
                              nullptr, nullptr, instance, this);
    if (!window_) {
        throw std::runtime_error("CreateWindow failed");
    }
    const auto child = [&](const wchar_t* className, const std::wstring& text, DWORD childStyle,
                           int x, int y, int w, int h, int id) {
        HWND control =
            CreateWindowExW(0, className, text.c_str(), WS_CHILD | WS_VISIBLE | childStyle, x, y, w,
                            h, window_, reinterpret_cast<HMENU>(id), instance, nullptr);
        if (!control) {
            throw std::runtime_error("CreateWindow failed");
        }
        SendMessageW(control, WM_SETFONT,
                     reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
        return control;
    };
    const int inner = kClientWidth - 2 * kMargin;
    status_ = child(L"STATIC", strings_.Get(IDS_PREPARING), SS_LEFT | SS_NOPREFIX, kMargin, kMargin,
                    inner, 20, -1);
    bar_ = child(PROGRESS_CLASSW, L"", 0, kMargin, 42, inner, 18, -1);
    SendMessageW(bar_, PBM_SETRANGE32, 0, 1000);
    cancel_ = child(L"BUTTON", strings_.Get(IDS_CANCEL), BS_PUSHBUTTON | WS_TABSTOP,
                    kClientWidth - kMargin - 96, 76, 96, 26, kCancelId);
    ShowWindow(window_, SW_SHOWNORMAL);
    UpdateWindow(window_);
}

ProgressWindow::~ProgressWindow() {
    if (window_) {
        DestroyWindow(window_);
    }
}

void ProgressWindow::RunUntilFinished() {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.hwnd == window_ && message.message == WM_APP_FINISHED) {
            return;
        }
        if (!IsDialogMessageW(window_, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

void ProgressWindow::ShowError(const std::wstring& text) {
    MessageBoxW(window_, text.c_str(), strings_.Get(IDS_TITLE).c_str(), MB_OK | MB_ICONERROR);
}

void ProgressWindow::Finish() {
    PostMessageW(window_, WM_APP_FINISHED, 0, 0);
}

void ProgressWindow::Progress(int permille, bool executing) {
    PostMessageW(window_, WM_APP_PROGRESS, static_cast<WPARAM>(permille), executing);
}

int ProgressWindow::Ask(UINT style, const std::wstring& text) {
    return static_cast<int>(
        SendMessageW(window_, WM_APP_ASK, style, reinterpret_cast<LPARAM>(text.c_str())));
}

void ProgressWindow::RequestCancel() {
    if (!cancelRequested_.exchange(true)) {
        EnableWindow(cancel_, FALSE);
        SetWindowTextW(status_, strings_.Get(IDS_CANCELLING).c_str());
    }
}

LRESULT CALLBACK ProgressWindow::Procedure(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) noexcept {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<ProgressWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self && self->window_ == window) {
        try {
            return self->Handle(message, wParam, lParam);
        } catch (...) {
            // Nothing may unwind into user32; the message gets its default handling.
        }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT ProgressWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_APP_PROGRESS:
        if (lParam && !executing_ && !cancelRequested_) {
            executing_ = true;
            SetWindowTextW(status_, strings_.Get(IDS_INSTALLING).c_str());
        }
        SendMessageW(bar_, PBM_SETPOS, wParam, 0);
        return 0;
    case WM_APP_ASK:
        return MessageBoxW(window_, reinterpret_cast<const wchar_t*>(lParam),
                           strings_.Get(IDS_TITLE).c_str(), static_cast<UINT>(wParam));
    case WM_COMMAND:
        if (LOWORD(wParam) == kCancelId) {
            RequestCancel();
            return 0;
        }
        break;
    case WM_CLOSE:
        // The window stays until the installer has rolled back.
        RequestCancel();
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}
