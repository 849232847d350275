#include "payload/ConcurrentDigest.h"

ConcurrentDigest::ConcurrentDigest() : thread_([this] { Run(); }) {}

ConcurrentDigest::~ConcurrentDigest() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void ConcurrentDigest::WaitUntilIdle(std::unique_lock<std::mutex>& lock) {
    changed_.wait(lock, [this] { return pending_ == nullptr; });
}

void ConcurrentDigest::Add(const void* data, size_t size) {
    {
        std::unique_lock<std::mutex> lock(mutex_);
        WaitUntilIdle(lock);
        pending_ = data;
        pendingSize_ = size;
    }
    changed_.notify_all();
}

uint64_t ConcurrentDigest::Value() {
    std::unique_lock<std::mutex> lock(mutex_);
    WaitUntilIdle(lock);
    return digest_.Value();
}

void ConcurrentDigest::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return pending_ != nullptr || stopping_; });
        if (pending_ == nullptr) {
            return;
        }
        const void* data = pending_;
        const size_t size = pendingSize_;
        // Only this thread touches the digest while a chunk is pending.
        lock.unlock();
        digest_.Update(data, size);
        lock.lock();
        pending_ = nullptr;
        changed_.notify_all();
    }
}
