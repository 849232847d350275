#include "payload/Digest.h"

#include <windows.h>

#include <emmintrin.h>

#include <algorithm>
#include <cstring>

// The algorithm is XXH3_64bits of xxHash; only what seed 0 and the default secret need is
// here. Windows runs little-endian only, so the byte order needs no care.

namespace {

constexpr uint32_t kPrime32_1 = 0x9E3779B1U;
constexpr uint32_t kPrime32_2 = 0x85EBCA77U;
constexpr uint32_t kPrime32_3 = 0xC2B2AE3DU;
constexpr uint64_t kPrime64_1 = 0x9E3779B185EBCA87ULL;
constexpr uint64_t kPrime64_2 = 0xC2B2AE3D27D4EB4FULL;
constexpr uint64_t kPrime64_3 = 0x165667B19E3779F9ULL;
constexpr uint64_t kPrime64_4 = 0x85EBCA77C2B2AE63ULL;
constexpr uint64_t kPrime64_5 = 0x27D4EB2F165667C5ULL;

constexpr size_t kStripeSize = 64;
constexpr size_t kSecretSize = 192;
// Each stripe takes the secret 8 bytes further on, so a block is as many stripes as fit.
constexpr size_t kStripesPerBlock = (kSecretSize - kStripeSize) / 8;
constexpr size_t kMidSizeMax = 240;

alignas(16) constexpr uint8_t kSecret[kSecretSize] = {
    0xb8, 0xfe, 0x6c, 0x39, 0x23, 0xa4, 0x4b, 0xbe, 0x7c, 0x01, 0x81, 0x2c, 0xf7, 0x21, 0xad, 0x1c,
    0xde, 0xd4, 0x6d, 0xe9, 0x83, 0x90, 0x97, 0xdb, 0x72, 0x40, 0xa4, 0xa4, 0xb7, 0xb3, 0x67, 0x1f,
    0xcb, 0x79, 0xe6, 0x4e, 0xcc, 0xc0, 0xe5, 0x78, 0x82, 0x5a, 0xd0, 0x7d, 0xcc, 0xff, 0x72, 0x21,
    0xb8, 0x08, 0x46, 0x74, 0xf7, 0x43, 0x24, 0x8e, 0xe0, 0x35, 0x90, 0xe6, 0x81, 0x3a, 0x26, 0x4c,
    0x3c, 0x28, 0x52, 0xbb, 0x91, 0xc3, 0x00, 0xcb, 0x88, 0xd0, 0x65, 0x8b, 0x1b, 0x53, 0x2e, 0xa3,
    0x71, 0x64, 0x48, 0x97, 0xa2, 0x0d, 0xf9, 0x4e, 0x38, 0x19, 0xef, 0x46, 0xa9, 0xde, 0xac, 0xd8,
    0xa8, 0xfa, 0x76, 0x3f, 0xe3, 0x9c, 0x34, 0x3f, 0xf9, 0xdc, 0xbb, 0xc7, 0xc7, 0x0b, 0x4f, 0x1d,
    0x8a, 0x51, 0xe0, 0x4b, 0xcd, 0xb4, 0x59, 0x31, 0xc8, 0x9f, 0x7e, 0xc9, 0xd9, 0x78, 0x73, 0x64,
    0xea, 0xc5, 0xac, 0x83, 0x34, 0xd3, 0xeb, 0xc3, 0xc5, 0x81, 0xa0, 0xff, 0xfa, 0x13, 0x63, 0xeb,
    0x17, 0x0d, 0xdd, 0x51, 0xb7, 0xf0, 0xda, 0x49, 0xd3, 0x16, 0x55, 0x26, 0x29, 0xd4, 0x68, 0x9e,
    0x2b, 0x16, 0xbe, 0x58, 0x7d, 0x47, 0xa1, 0xfc, 0x8f, 0xf8, 0xb8, 0xd1, 0x7a, 0xd0, 0x31, 0xce,
    0x45, 0xcb, 0x3a, 0x8f, 0x95, 0x16, 0x04, 0x28, 0xaf, 0xd7, 0xfb, 0xca, 0xbb, 0x4b, 0x40, 0x7e,
};
// Where the scramble, the final stripe and the merge read the secret: deliberately not on
// the 8-byte steps the stripes use.
constexpr const uint8_t* kScrambleSecret = kSecret + kSecretSize - kStripeSize;
constexpr const uint8_t* kLastStripeSecret = kScrambleSecret - 7;
constexpr const uint8_t* kMergeSecret = kSecret + 11;

inline uint32_t Read32(const uint8_t* bytes) {
    uint32_t value;
    std::memcpy(&value, bytes, sizeof(value));
    return value;
}

inline uint64_t Read64(const uint8_t* bytes) {
    uint64_t value;
    std::memcpy(&value, bytes, sizeof(value));
    return value;
}

inline uint64_t RotateLeft(uint64_t value, int bits) {
    return (value << bits) | (value >> (64 - bits));
}

// The full 128-bit product, its halves XORed; built from 32-bit products for lack of
// 128-bit integers on this target. No partial sum overflows.
inline uint64_t MultiplyFold(uint64_t left, uint64_t right) {
    const uint64_t lowLow = (left & 0xFFFFFFFF) * (right & 0xFFFFFFFF);
    const uint64_t highLow = (left >> 32) * (right & 0xFFFFFFFF);
    const uint64_t lowHigh = (left & 0xFFFFFFFF) * (right >> 32);
    const uint64_t highHigh = (left >> 32) * (right >> 32);
    const uint64_t cross = (lowLow >> 32) + (highLow & 0xFFFFFFFF) + lowHigh;
    const uint64_t high = (highLow >> 32) + (cross >> 32) + highHigh;
    const uint64_t low = (cross << 32) | (lowLow & 0xFFFFFFFF);
    return low ^ high;
}

uint64_t Avalanche(uint64_t value) {
    value ^= value >> 37;
    value *= 0x165667919E3779F9ULL;
    return value ^ (value >> 32);
}

uint64_t Xxh64Avalanche(uint64_t value) {
    value ^= value >> 33;
    value *= kPrime64_2;
    value ^= value >> 29;
    value *= kPrime64_3;
    return value ^ (value >> 32);
}

uint64_t RrmxmxAvalanche(uint64_t value, uint64_t size) {
    value ^= RotateLeft(value, 49) ^ RotateLeft(value, 24);
    value *= 0x9FB21C651E98DF25ULL;
    value ^= (value >> 35) + size;
    value *= 0x9FB21C651E98DF25ULL;
    return value ^ (value >> 28);
}

uint64_t HashUpTo16(const uint8_t* input, size_t size) {
    if (size > 8) {
        const uint64_t low = Read64(input) ^ (Read64(kSecret + 24) ^ Read64(kSecret + 32));
        const uint64_t high =
            Read64(input + size - 8) ^ (Read64(kSecret + 40) ^ Read64(kSecret + 48));
        return Avalanche(size + __builtin_bswap64(low) + high + MultiplyFold(low, high));
    }
    if (size >= 4) {
        const uint64_t joined = Read32(input + size - 4) + (uint64_t{Read32(input)} << 32);
        return RrmxmxAvalanche(joined ^ (Read64(kSecret + 8) ^ Read64(kSecret + 16)), size);
    }
    if (size > 0) {
        const uint32_t joined = uint32_t{input[0]} << 16 | uint32_t{input[size >> 1]} << 24 |
                                uint32_t{input[size - 1]} | static_cast<uint32_t>(size) << 8;
        return Xxh64Avalanche(joined ^ (Read32(kSecret) ^ Read32(kSecret + 4)));
    }
    return Xxh64Avalanche(Read64(kSecret + 56) ^ Read64(kSecret + 64));
}

inline uint64_t Mix16(const uint8_t* input, const uint8_t* secret) {
    return MultiplyFold(Read64(input) ^ Read64(secret), Read64(input + 8) ^ Read64(secret + 8));
}

// 17 to 128 bytes: pairs of 16-byte pieces from both ends, working inwards.
uint64_t HashUpTo128(const uint8_t* input, size_t size) {
    uint64_t sum = size * kPrime64_1;
    const size_t pairs = (size - 1) / 32;
    for (size_t pair = 0; pair <= pairs; ++pair) {
        sum += Mix16(input + 16 * pair, kSecret + 32 * pair);
        sum += Mix16(input + size - 16 * (pair + 1), kSecret + 32 * pair + 16);
    }
    return Avalanche(sum);
}

// 129 to 240 bytes: every whole 16-byte piece, the ninth on with the secret shifted by 3,
// then the last 16 bytes.
uint64_t HashUpTo240(const uint8_t* input, size_t size) {
    uint64_t sum = size * kPrime64_1;
    for (size_t piece = 0; piece < 8; ++piece) {
        sum += Mix16(input + 16 * piece, kSecret + 16 * piece);
    }
    sum = Avalanche(sum);
    for (size_t piece = 8; piece < size / 16; ++piece) {
        sum += Mix16(input + 16 * piece, kSecret + 16 * (piece - 8) + 3);
    }
    sum += Mix16(input + size - 16, kSecret + 136 - 17);
    return Avalanche(sum);
}

uint64_t HashShort(const uint8_t* input, size_t size) {
    if (size <= 16) {
        return HashUpTo16(input, size);
    }
    return size <= 128 ? HashUpTo128(input, size) : HashUpTo240(input, size);
}

void AccumulateScalar(uint64_t* lanes, const uint8_t* stripes, size_t count,
                      const uint8_t* secret) {
    for (const uint8_t* const end = stripes + count * kStripeSize; stripes != end;
         stripes += kStripeSize, secret += 8) {
#pragma GCC unroll 8
        for (size_t lane = 0; lane < 8; ++lane) {
            const uint64_t data = Read64(stripes + 8 * lane);
            const uint64_t keyed = data ^ Read64(secret + 8 * lane);
            lanes[lane ^ 1] += data;
            lanes[lane] += (keyed & 0xFFFFFFFF) * (keyed >> 32);
        }
    }
}

void ScrambleScalar(uint64_t* lanes) {
    for (size_t lane = 0; lane < 8; ++lane) {
        const uint64_t value =
            lanes[lane] ^ (lanes[lane] >> 47) ^ Read64(kScrambleSecret + 8 * lane);
        lanes[lane] = value * kPrime32_1;
    }
}

// The lanes stay in registers for the whole run of stripes. The stack is realigned on
// entry, since a 32-bit Windows caller only promises 4 bytes and spills need 16.
__attribute__((target("sse2"), force_align_arg_pointer)) void
AccumulateSse2(uint64_t* lanes, const uint8_t* stripes, size_t count, const uint8_t* secret) {
    __m128i sums[4];
    for (int pair = 0; pair < 4; ++pair) {
        sums[pair] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lanes) + pair);
    }
    for (const uint8_t* const end = stripes + count * kStripeSize; stripes != end;
         stripes += kStripeSize, secret += 8) {
        for (int pair = 0; pair < 4; ++pair) {
            const __m128i data = _mm_loadu_si128(reinterpret_cast<const __m128i*>(stripes) + pair);
            const __m128i key = _mm_loadu_si128(reinterpret_cast<const __m128i*>(secret) + pair);
            const __m128i keyed = _mm_xor_si128(data, key);
            // Low half times high half of each 64-bit lane.
            const __m128i product =
                _mm_mul_epu32(keyed, _mm_shuffle_epi32(keyed, _MM_SHUFFLE(0, 3, 0, 1)));
            // Each lane also takes the data of its neighbour.
            const __m128i swapped = _mm_shuffle_epi32(data, _MM_SHUFFLE(1, 0, 3, 2));
            sums[pair] = _mm_add_epi64(sums[pair], _mm_add_epi64(product, swapped));
        }
    }
    for (int pair = 0; pair < 4; ++pair) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes) + pair, sums[pair]);
    }
}

__attribute__((target("sse2"), force_align_arg_pointer)) void ScrambleSse2(uint64_t* lanes) {
    const __m128i prime = _mm_set1_epi32(static_cast<int>(kPrime32_1));
    for (int pair = 0; pair < 4; ++pair) {
        __m128i* const slot = reinterpret_cast<__m128i*>(lanes) + pair;
        const __m128i value = _mm_loadu_si128(slot);
        const __m128i key =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(kScrambleSecret) + pair);
        const __m128i mixed = _mm_xor_si128(_mm_xor_si128(value, _mm_srli_epi64(value, 47)), key);
        // A 64-bit lane times a 32-bit prime, from two 32x32 products.
        const __m128i low = _mm_mul_epu32(mixed, prime);
        const __m128i high = _mm_mul_epu32(_mm_srli_epi64(mixed, 32), prime);
        _mm_storeu_si128(slot, _mm_add_epi64(low, _mm_slli_epi64(high, 32)));
    }
}

} // namespace

struct PayloadDigest::Kernel {
    void (*accumulate)(uint64_t* lanes, const uint8_t* stripes, size_t count,
                       const uint8_t* secret);
    void (*scramble)(uint64_t* lanes);
};

namespace {

constexpr PayloadDigest::Kernel kScalarKernel{AccumulateScalar, ScrambleScalar};
constexpr PayloadDigest::Kernel kSse2Kernel{AccumulateSse2, ScrambleSse2};

} // namespace

DigestKernel FastestDigestKernel() {
    // SSE2 is several times faster on a real processor, but where 32-bit code is emulated
    // (Wine through qemu on a host without 32-bit support) its vector instructions are
    // several times slower than plain code. So both are timed once, after a run that lets an
    // emulator translate them, and the faster one is kept for the process.
    static const DigestKernel fastest = [] {
        if (!IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE)) {
            return DigestKernel::Scalar;
        }
        static const uint8_t sample[64 * 1024] = {};
        const auto ticks = [](DigestKernel kernel) {
            LARGE_INTEGER start{};
            LARGE_INTEGER end{};
            QueryPerformanceCounter(&start);
            PayloadDigestOf(sample, sizeof(sample), kernel);
            QueryPerformanceCounter(&end);
            return end.QuadPart - start.QuadPart;
        };
        ticks(DigestKernel::Scalar);
        ticks(DigestKernel::Sse2);
        const LONGLONG scalar = std::min(ticks(DigestKernel::Scalar), ticks(DigestKernel::Scalar));
        const LONGLONG sse2 = std::min(ticks(DigestKernel::Sse2), ticks(DigestKernel::Sse2));
        return sse2 <= scalar ? DigestKernel::Sse2 : DigestKernel::Scalar;
    }();
    return fastest;
}

PayloadDigest::PayloadDigest(DigestKernel kernel)
    : kernel_(kernel == DigestKernel::Sse2 ? &kSse2Kernel : &kScalarKernel),
      lanes_{{kPrime32_3, kPrime64_1, kPrime64_2, kPrime64_3, kPrime64_4, kPrime32_2, kPrime64_5,
              kPrime32_1},
             0} {}

void PayloadDigest::Consume(Lanes& lanes, const uint8_t* stripes, size_t count) const {
    while (count > 0) {
        const size_t run = std::min(count, kStripesPerBlock - lanes.stripesInBlock);
        kernel_->accumulate(lanes.lane, stripes, run, kSecret + 8 * lanes.stripesInBlock);
        stripes += run * kStripeSize;
        count -= run;
        lanes.stripesInBlock += run;
        // A block is scrambled as soon as it is full: more input always follows it.
        if (lanes.stripesInBlock == kStripesPerBlock) {
            kernel_->scramble(lanes.lane);
            lanes.stripesInBlock = 0;
        }
    }
}

void PayloadDigest::Update(const void* data, size_t size) {
    const auto* input = static_cast<const uint8_t*>(data);
    totalSize_ += size;
    if (size <= kBufferSize - buffered_) {
        if (size > 0) {
            std::memcpy(buffer_ + buffered_, input, size);
            buffered_ += size;
        }
        return;
    }
    // From here on more than 240 bytes have come, so the long form applies; the last stripe
    // is always held back, as it is hashed with another part of the secret.
    if (buffered_ > 0) {
        const size_t fill = kBufferSize - buffered_;
        std::memcpy(buffer_ + buffered_, input, fill);
        input += fill;
        size -= fill;
        Consume(lanes_, buffer_, kBufferSize / kStripeSize);
        std::memcpy(previousStripe_, buffer_ + kBufferSize - kStripeSize, kStripeSize);
        buffered_ = 0;
    }
    const size_t stripes = (size - 1) / kStripeSize;
    if (stripes > 0) {
        Consume(lanes_, input, stripes);
        input += stripes * kStripeSize;
        size -= stripes * kStripeSize;
        std::memcpy(previousStripe_, input - kStripeSize, kStripeSize);
    }
    std::memcpy(buffer_, input, size);
    buffered_ = size;
}

uint64_t PayloadDigest::LongValue() const {
    Lanes lanes = lanes_;
    uint8_t lastStripe[kStripeSize];
    if (buffered_ >= kStripeSize) {
        Consume(lanes, buffer_, (buffered_ - 1) / kStripeSize);
        std::memcpy(lastStripe, buffer_ + buffered_ - kStripeSize, kStripeSize);
    } else {
        const size_t earlier = kStripeSize - buffered_;
        std::memcpy(lastStripe, previousStripe_ + buffered_, earlier);
        std::memcpy(lastStripe + earlier, buffer_, buffered_);
    }
    kernel_->accumulate(lanes.lane, lastStripe, 1, kLastStripeSecret);

    uint64_t sum = totalSize_ * kPrime64_1;
    for (size_t pair = 0; pair < 4; ++pair) {
        sum += MultiplyFold(lanes.lane[2 * pair] ^ Read64(kMergeSecret + 16 * pair),
                            lanes.lane[2 * pair + 1] ^ Read64(kMergeSecret + 16 * pair + 8));
    }
    return Avalanche(sum);
}

uint64_t PayloadDigest::Value() const {
    return totalSize_ > kMidSizeMax ? LongValue() : HashShort(buffer_, buffered_);
}

uint64_t PayloadDigestOf(const void* data, size_t size, DigestKernel kernel) {
    PayloadDigest digest(kernel);
    digest.Update(data, size);
    return digest.Value();
}

std::string DigestText(uint64_t digest) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text(16, '0');
    for (size_t position = 16; position-- > 0; digest >>= 4) {
        text[position] = kDigits[digest & 0xF];
    }
    return text;
}
