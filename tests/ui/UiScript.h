#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "Controls.h"

// Drives the modal windows that this thread opens, from a timer of the thread: each step
// waits until a visible, enabled window with its caption exists on the thread, then acts
// on it. Steps run from the modal loops' message dispatch, never inside a dialog
// procedure; an action that opens another modal window must post its click (Click) so
// that the script goes on. The timer goes with the object.
class UiScript {
  public:
    struct Step {
        std::wstring caption;
        std::function<void(HWND)> action;
    };

    explicit UiScript(std::vector<Step> steps);
    UiScript(const UiScript&) = delete;
    UiScript& operator=(const UiScript&) = delete;
    ~UiScript();

    // Every step ran.
    bool Finished() const { return next_ == steps_.size(); }

  private:
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD);
    void Run();
    void GiveUp(const char* what, size_t step);

    std::vector<Step> steps_;
    size_t next_ = 0;
    bool busy_ = false;
    ULONGLONG deadline_ = 0;
    UINT_PTR timer_ = 0;
};

// The visible, enabled top-level window of this thread with the caption; null if none.
HWND FindThreadWindow(const std::wstring& caption);

std::wstring ControlText(HWND dialog, int id);
// A control's rectangle in the client coordinates of its dialog.
RECT ClientRect(HWND dialog, int id);
