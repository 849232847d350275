#include "payload/ConcurrentDigest.h"

#include <stdexcept>

namespace {
// About 50 microseconds on a current processor.
constexpr int kSpins = 20000;
} // namespace

ConcurrentDigest::Signal::Signal() : event_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    if (!event_) {
        throw std::runtime_error("CreateEvent failed");
    }
}

void ConcurrentDigest::Signal::Set() {
    // The condition was stored before: a waiter that went to sleep after this load has
    // checked the condition after storing its flag, and so sees it.
    if (sleeping_.load()) {
        SetEvent(event_.get());
    }
}

void ConcurrentDigest::Signal::Wait(const std::atomic<bool>& condition) {
    for (int spin = 0; spin < kSpins; ++spin) {
        if (condition.load()) {
            return;
        }
        YieldProcessor();
    }
    for (;;) {
        sleeping_.store(true);
        if (condition.load()) {
            break;
        }
        // A Set left over from an earlier wait only makes this loop look once more.
        WaitForSingleObject(event_.get(), INFINITE);
    }
    sleeping_.store(false);
}

ConcurrentDigest::ConcurrentDigest() : thread_([this] { Run(); }) {}

ConcurrentDigest::~ConcurrentDigest() {
    WaitUntilIdle();
    stopping_.store(true);
    hasWork_.store(true);
    work_.Set();
    thread_.Join();
}

void ConcurrentDigest::WaitUntilIdle() {
    done_.Wait(idle_);
}

void ConcurrentDigest::Add(const void* data, size_t size) {
    WaitUntilIdle();
    pending_.store(data);
    pendingSize_.store(size);
    idle_.store(false);
    hasWork_.store(true);
    work_.Set();
}

uint64_t ConcurrentDigest::Value() {
    WaitUntilIdle();
    return digest_.Value();
}

void ConcurrentDigest::Run() {
    for (;;) {
        work_.Wait(hasWork_);
        hasWork_.store(false);
        if (stopping_.load()) {
            return;
        }
        digest_.Update(pending_.load(), pendingSize_.load());
        idle_.store(true);
        done_.Set();
    }
}
