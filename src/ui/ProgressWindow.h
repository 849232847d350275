#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "common/SystemThread.h"
#include "common/UniqueHandle.h"
#include "payload/CopyObserver.h"

// A sign of life for long work: a window with the product title, a line of text, a bar by
// bytes and Cancel. It is shown by a thread of its own once the work has gone on for a
// second, so that it is drawn and answers clicks however long a read takes; work that
// ends within the second shows nothing. Cancel, Escape and the close box only ask the work
// to stop: the observed copy stops at its next chunk.
class ProgressWindow : public CopyObserver {
  public:
    // The clock starts here, before the work knows how much it has to copy.
    ProgressWindow(HINSTANCE instance, std::wstring text);
    ~ProgressWindow() override;
    ProgressWindow(const ProgressWindow&) = delete;
    ProgressWindow& operator=(const ProgressWindow&) = delete;

    // What the bar counts up to.
    void SetTotal(uint64_t bytes);

    bool ShouldContinue() override;
    void Copied(uint32_t bytes) override;

    // Closes the window and ends its thread. Raises Cancelled when the user asked to stop,
    // also when that came after the last chunk.
    void Finish();

    // The state the window's thread reads and the window's Cancel sets.
    struct Shared {
        HINSTANCE instance = nullptr;
        std::wstring text;
        std::atomic<uint64_t> totalBytes{0};
        std::atomic<uint64_t> doneBytes{0};
        std::atomic<bool> cancelRequested{false};
        // Set when the work is over: the window is not shown, or closes.
        UniqueKernelHandle finished;
        // The open window, for a prompt close.
        std::atomic<HWND> window{nullptr};
    };

  private:
    void Close() noexcept;

    Shared shared_;
    SystemThread thread_;
};
