#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// How the long-input loop runs: plain 32-bit code, or SSE2 (which the processor must have).
enum class DigestKernel { Scalar, Sse2 };

// The faster of the two on this processor, timed once per process; Scalar without SSE2.
DigestKernel FastestDigestKernel();

// XXH3 64-bit (seed 0, default secret) of a stream of bytes, fed in pieces of any size. A
// check against damaged copies, not against tampering. Allocates nothing.
class PayloadDigest {
  public:
    explicit PayloadDigest(DigestKernel kernel = FastestDigestKernel());

    void Update(const void* data, size_t size);
    // The digest of every byte given so far; Update may go on after it.
    uint64_t Value() const;

    // The kernel's stripe functions (Digest.cpp).
    struct Kernel;

  private:
    static constexpr size_t kStripeSize = 64;
    // Bytes held back until there are more than this many: up to 240 bytes hash differently.
    static constexpr size_t kBufferSize = 4 * kStripeSize;

    struct Lanes {
        uint64_t lane[8];
        size_t stripesInBlock;
    };

    // Adds whole stripes, each known not to be the input's last.
    void Consume(Lanes& lanes, const uint8_t* stripes, size_t count) const;
    uint64_t LongValue() const;

    const Kernel* kernel_;
    Lanes lanes_;
    uint64_t totalSize_ = 0;
    size_t buffered_ = 0;
    uint8_t buffer_[kBufferSize];
    // The last stripe consumed: the final stripe reaches back into it when fewer than 64
    // bytes are buffered.
    uint8_t previousStripe_[kStripeSize];
};

// The digest of one run of bytes.
uint64_t PayloadDigestOf(const void* data, size_t size,
                         DigestKernel kernel = FastestDigestKernel());

// Digest text as the build writes it: 16 lower-case hex digits.
std::string DigestText(uint64_t digest);
