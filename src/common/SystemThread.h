#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <utility>

#include "common/UniqueHandle.h"

// A thread of the system's own, waited for when it goes. Not std::thread: its library makes
// an event at a start or join that meets another thread in its lock, and keeps it for the
// rest of the process, which a count of the process's handles cannot tell from a leak.
class SystemThread {
  public:
    SystemThread() = default;
    // Runs the work on a new thread; raises "CreateThread failed".
    explicit SystemThread(std::function<void()> work) {
        auto owned = std::make_unique<std::function<void()>>(std::move(work));
        handle_.reset(CreateThread(nullptr, 0, &Run, owned.get(), 0, nullptr));
        if (!handle_) {
            throw std::runtime_error("CreateThread failed");
        }
        static_cast<void>(owned.release()); // the thread's now
    }
    ~SystemThread() { Join(); }
    SystemThread(const SystemThread&) = delete;
    SystemThread& operator=(const SystemThread&) = delete;
    SystemThread(SystemThread&&) noexcept = default;
    SystemThread& operator=(SystemThread&& other) noexcept {
        Join();
        handle_ = std::move(other.handle_);
        return *this;
    }

    bool Running() const { return static_cast<bool>(handle_); }
    // Waits until the work has returned.
    void Join() noexcept {
        if (handle_) {
            WaitForSingleObject(handle_.get(), INFINITE);
            handle_.reset();
        }
    }

  private:
    static DWORD WINAPI Run(void* work) {
        const std::unique_ptr<std::function<void()>> owned(
            static_cast<std::function<void()>*>(work));
        (*owned)();
        return 0;
    }

    UniqueKernelHandle handle_;
};
