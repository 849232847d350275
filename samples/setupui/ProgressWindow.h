#pragma once

#include "Installer.h"
#include "Language.h"

#include <atomic>

// The setup UI's one window: a status line, a progress bar and a Cancel button. It lives
// on the program's main thread; the installer's thread talks to it only through the
// InstallObserver calls, which post or send window messages.
class ProgressWindow final : public InstallObserver {
  public:
    // Creates and shows the window; raises std::runtime_error when it cannot.
    ProgressWindow(HINSTANCE instance, const SetupStrings& strings);
    ProgressWindow(const ProgressWindow&) = delete;
    ProgressWindow& operator=(const ProgressWindow&) = delete;
    ~ProgressWindow() override;

    // Main thread: handles messages until Finish has been called.
    void RunUntilFinished();
    // Main thread: an error box owned by the window.
    void ShowError(const std::wstring& text);

    // Any thread.
    void Finish();
    HWND Owner() const override { return window_; }
    void Progress(int permille, bool executing) override;
    int Ask(UINT style, const std::wstring& text) override;
    bool CancelRequested() const override { return cancelRequested_; }

  private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam,
                                      LPARAM lParam) noexcept;
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void RequestCancel();

    const SetupStrings& strings_;
    UniqueLibrary commonControls_;
    HWND window_ = nullptr;
    HWND status_ = nullptr;
    HWND bar_ = nullptr;
    HWND cancel_ = nullptr;
    bool executing_ = false;
    std::atomic<bool> cancelRequested_{false};
};
