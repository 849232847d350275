#pragma once

#include <cstdint>

// Follows a copy of payload bytes and may stop it.
class CopyObserver {
  public:
    virtual ~CopyObserver() = default;

    // Asked before the output file is made and before each chunk is read: false stops the
    // copy there, which then raises Cancelled and leaves no output file.
    virtual bool ShouldContinue() = 0;
    // Told after each chunk has been written.
    virtual void Copied(uint32_t bytes) = 0;
};
