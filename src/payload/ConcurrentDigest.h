#pragma once

#include "payload/Digest.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>

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
    void Run();
    void WaitUntilIdle(std::unique_lock<std::mutex>& lock);

    PayloadDigest digest_;
    std::mutex mutex_;
    std::condition_variable changed_;
    const void* pending_ = nullptr;
    size_t pendingSize_ = 0;
    bool stopping_ = false;
    std::thread thread_;
};
