#include "UiScript.h"

#include <gtest/gtest.h>

namespace {

// One script per thread runs at a time; the timer procedure finds it here.
thread_local UiScript* activeScript = nullptr;

// A script that has not moved on for this long gives up and closes what is open, so that
// a missing window fails the test instead of hanging it.
constexpr ULONGLONG kStepTimeoutMs = 20000;

struct Search {
    const std::wstring* caption;
    HWND found;
};

BOOL CALLBACK MatchThreadWindow(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<Search*>(parameter);
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    if (IsWindowVisible(window) && IsWindowEnabled(window) && *search->caption == text) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK CloseThreadWindow(HWND window, LPARAM) {
    if (IsWindowVisible(window)) {
        PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
    }
    return TRUE;
}

} // namespace

UiScript::UiScript(std::vector<Step> steps) : steps_(std::move(steps)) {
    activeScript = this;
    deadline_ = GetTickCount64() + kStepTimeoutMs;
    timer_ = SetTimer(nullptr, 0, 50, OnTimer);
}

UiScript::~UiScript() {
    KillTimer(nullptr, timer_);
    activeScript = nullptr;
}

void CALLBACK UiScript::OnTimer(HWND, UINT, UINT_PTR, DWORD) {
    if (!activeScript) {
        return;
    }
    if (!activeScript->busy_) {
        activeScript->Run();
    } else if (GetTickCount64() > activeScript->deadline_) {
        // A step is stuck in a window it opened unexpectedly.
        activeScript->GiveUp("a window opened by UI step ", activeScript->next_ - 1);
    }
}

void UiScript::GiveUp(const char* what, size_t step) {
    ADD_FAILURE() << what << step << " was not expected or did not appear";
    next_ = steps_.size();
    deadline_ = ~0ULL;
    EnumThreadWindows(GetCurrentThreadId(), CloseThreadWindow, 0);
}

void UiScript::Run() {
    if (Finished()) {
        return;
    }
    busy_ = true;
    HWND window = FindThreadWindow(steps_[next_].caption);
    if (window) {
        const size_t step = next_++;
        SCOPED_TRACE(testing::Message() << "UI step " << step);
        steps_[step].action(window);
        deadline_ = GetTickCount64() + kStepTimeoutMs;
    } else if (GetTickCount64() > deadline_) {
        GiveUp("the window of UI step ", next_);
    }
    busy_ = false;
}

HWND FindThreadWindow(const std::wstring& caption) {
    Search search{&caption, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), MatchThreadWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring ControlText(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return text;
}

RECT ClientRect(HWND dialog, int id) {
    RECT rect{};
    GetWindowRect(GetDlgItem(dialog, id), &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}
