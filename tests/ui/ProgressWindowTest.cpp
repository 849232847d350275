#include "ui/ProgressWindow.h"

#include "common/Cancelled.h"
#include "resources/ResourceIds.h"

#include "Controls.h"
#include "Handles.h"
#include "TestFiles.h"
#include "UiScript.h"

#include <commctrl.h>

#include <gtest/gtest.h>

// The window runs on a thread of its own, so this thread drives it like another process
// would: it finds it, reads it and presses its controls.
namespace {

BOOL CALLBACK FindProgressWindow(HWND window, LPARAM result) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() && IsWindowVisible(window) &&
        GetDlgItem(window, IDC_PROGRESS_BAR)) {
        *reinterpret_cast<HWND*>(result) = window;
        return FALSE;
    }
    return TRUE;
}

HWND ShownProgressWindow() {
    HWND found = nullptr;
    EnumWindows(FindProgressWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

LRESULT BarPosition(HWND window) {
    return SendDlgItemMessageW(window, IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0);
}

TEST(ProgressWindow, ShowsAfterASecondFollowsTheBytesAndEveryCancelAsksTheWorkToStop) {
    const HINSTANCE self = GetModuleHandleW(nullptr);
    {
        // Work that ends within the second shows nothing, and has not been cancelled.
        ProgressWindow quick(self, L"Preparing setup...");
        quick.SetTotal(10);
        quick.Copied(10);
        EXPECT_EQ(ShownProgressWindow(), nullptr);
        EXPECT_NO_THROW(quick.Finish());
    }
    DWORD handles = 0;
    void (*const cancels[])(HWND) = {+[](HWND w) { Click(w, IDCANCEL); }, &PressEscape, &CloseBox};
    for (auto cancel : cancels) {
        handles = cancel == cancels[1] ? OpenHandleCount() : handles; // the first warms up
        const ULONGLONG start = GetTickCount64();
        ProgressWindow progress(self, L"Preparing setup...");
        progress.SetTotal(4000);
        progress.Copied(1000);
        HWND window = nullptr;
        ASSERT_TRUE(WaitUntil([&] { return (window = ShownProgressWindow()) != nullptr; }));
        EXPECT_GE(GetTickCount64() - start, 1000u);
        wchar_t caption[64] = {};
        GetWindowTextW(window, caption, 64);
        EXPECT_EQ(std::wstring(caption), L"Orvanta Vellumo Setup");
        EXPECT_EQ(ControlText(window, IDC_PROGRESS_TEXT), L"Preparing setup...");
        EXPECT_TRUE(WaitUntil([&] { return BarPosition(window) == 250; }));
        progress.Copied(2000);
        EXPECT_TRUE(WaitUntil([&] { return BarPosition(window) == 750; }));

        // Enter does nothing; a cancel asks the work to stop, and the window stays until the
        // work is over. A second request, by any way, cannot be made.
        PressKey(window, VK_RETURN);
        EXPECT_TRUE(progress.ShouldContinue());
        cancel(window);
        EXPECT_TRUE(WaitUntil([&] { return !progress.ShouldContinue(); }));
        // Returns once the window's thread has finished handling the cancel.
        SendMessageW(window, WM_NULL, 0, 0);
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, IDCANCEL)));
        CloseBox(window);
        PressEscape(window);
        // Its thread takes one posted message for every message sent to it: once these
        // return, the close and both key messages have been handled.
        for (int i = 0; i < 4; ++i) {
            SendMessageW(window, WM_NULL, 0, 0);
        }
        EXPECT_TRUE(IsWindowVisible(window));
        EXPECT_THROW(progress.Finish(), Cancelled);
        EXPECT_FALSE(IsWindow(window));
    }
    EXPECT_EQ(SettledHandleCount(handles), handles);
}

} // namespace
