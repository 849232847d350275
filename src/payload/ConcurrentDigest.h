#pragma once

#include "common/SystemThread.h"
#include "common/UniqueHandle.h"
#include "payload/Digest.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

// Digests the chunks of a copy on a thread of its own, so that digesting one chunk overlaps
// writing it and reading the next: the check costs no time of the copy's own.
class ConcurrentDigest {
  public:
    ConcurrentDigest();
    // Stops the thread, also when the copy ended early.
    ~ConcurrentDigest();
    ConcurrentDigest(const ConcurrentDigest&) = delete;
    ConcurrentDigest& operator=(const ConcurrentDigest&) = delete;

    // Hands the chunk over once the one before it has been digested, and returns: the
    // chunk's memory must stay unchanged until the next Add or Value, while the one before
    // it may then be used again.
    void Add(const void* data, size_t size);
    // Waits for the last chunk; the digest of every chunk, in order.
    uint64_t Value();

  private:
    // A one-way signal that is waited for by spinning a little first: a chunk takes about
    // a millisecond, and a wait through the system would cost a good part of that under
    // Wine. Set is cheap unless the other side has gone to sleep.
    class Signal {
      public:
        Signal();
        void Set();
        void Wait(const std::atomic<bool>& condition);

      private:
        std::atomic<bool> sleeping_{false};
        UniqueKernelHandle event_;
    };

    void Run();
    void WaitUntilIdle();

    PayloadDigest digest_;
    std::atomic<const void*> pending_{nullptr};
    std::atomic<size_t> pendingSize_{0};
    std::atomic<bool> hasWork_{false};
    std::atomic<bool> idle_{true};
    std::atomic<bool> stopping_{false};
    Signal work_;
    Signal done_;
    SystemThread thread_;
};
