// Throughput of the ways payload bytes could be checked while they are copied: hashes 256 MiB,
// one 1 MiB buffer of random bytes over and over, with each candidate, and prints one line per
// candidate, "label<TAB>MB/s" (10^6 bytes per second, the best of 3 runs). A plain 1 MiB
// memcpy is the yardstick. Exit code 0 on success, 1 on any failure.
//
//   digestspeed.exe
#include <windows.h>

#include <bcrypt.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <vector>

#include "payload/Digest.h"

namespace {

constexpr size_t kChunkSize = 1024 * 1024;
constexpr size_t kChunks = 256;
constexpr int kRuns = 3;

using Chunk = std::vector<uint8_t>;
// Consumes kChunks times the chunk; returns something of the result so none of it is skipped.
using Workload = std::function<uint64_t(const Chunk&)>;

// CRC-32 (the zip/PNG one) eight bytes at a time: table k gives a byte's effect k bytes on.
class Crc32Slice8 {
  public:
    Crc32Slice8() {
        for (uint32_t byte = 0; byte < 256; ++byte) {
            uint32_t crc = byte;
            for (int bit = 0; bit < 8; ++bit) {
                crc = (crc >> 1) ^ (0xEDB88320U & (0U - (crc & 1)));
            }
            tables_[0][byte] = crc;
        }
        for (uint32_t byte = 0; byte < 256; ++byte) {
            for (int table = 1; table < 8; ++table) {
                const uint32_t previous = tables_[table - 1][byte];
                tables_[table][byte] = (previous >> 8) ^ tables_[0][previous & 0xFF];
            }
        }
    }

    uint32_t Update(uint32_t crc, const uint8_t* data, size_t size) const {
        crc = ~crc;
        for (; size >= 8; data += 8, size -= 8) {
            uint32_t low;
            uint32_t high;
            std::memcpy(&low, data, 4);
            std::memcpy(&high, data + 4, 4);
            low ^= crc;
            crc = tables_[7][low & 0xFF] ^ tables_[6][(low >> 8) & 0xFF] ^
                  tables_[5][(low >> 16) & 0xFF] ^ tables_[4][low >> 24] ^ tables_[3][high & 0xFF] ^
                  tables_[2][(high >> 8) & 0xFF] ^ tables_[1][(high >> 16) & 0xFF] ^
                  tables_[0][high >> 24];
        }
        for (; size > 0; ++data, --size) {
            crc = (crc >> 8) ^ tables_[0][(crc ^ *data) & 0xFF];
        }
        return ~crc;
    }

  private:
    uint32_t tables_[8][256];
};

// One CNG hash algorithm, provider opened once, a hash object per run.
class CngHash {
  public:
    explicit CngHash(const wchar_t* algorithm) {
        if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&provider_, algorithm, nullptr, 0))) {
            throw std::runtime_error("BCryptOpenAlgorithmProvider");
        }
    }
    CngHash(const CngHash&) = delete;
    CngHash& operator=(const CngHash&) = delete;
    ~CngHash() { BCryptCloseAlgorithmProvider(provider_, 0); }

    uint64_t Run(const Chunk& chunk) const {
        BCRYPT_HASH_HANDLE hash = nullptr;
        if (!BCRYPT_SUCCESS(BCryptCreateHash(provider_, &hash, nullptr, 0, nullptr, 0, 0))) {
            throw std::runtime_error("BCryptCreateHash");
        }
        bool hashed = true;
        for (size_t index = 0; index < kChunks && hashed; ++index) {
            hashed = BCRYPT_SUCCESS(BCryptHashData(hash, const_cast<PUCHAR>(chunk.data()),
                                                   static_cast<ULONG>(chunk.size()), 0));
        }
        UCHAR result[64] = {};
        DWORD resultSize = 0;
        ULONG written = 0;
        hashed = hashed &&
                 BCRYPT_SUCCESS(BCryptGetProperty(provider_, BCRYPT_HASH_LENGTH,
                                                  reinterpret_cast<PUCHAR>(&resultSize),
                                                  sizeof(resultSize), &written, 0)) &&
                 resultSize <= sizeof(result) &&
                 BCRYPT_SUCCESS(BCryptFinishHash(hash, result, resultSize, 0));
        BCryptDestroyHash(hash);
        if (!hashed) {
            throw std::runtime_error("BCryptHashData");
        }
        uint64_t head;
        std::memcpy(&head, result, sizeof(head));
        return head;
    }

  private:
    BCRYPT_ALG_HANDLE provider_ = nullptr;
};

uint64_t RunDigest(const Chunk& chunk, DigestKernel kernel) {
    PayloadDigest digest(kernel);
    for (size_t index = 0; index < kChunks; ++index) {
        digest.Update(chunk.data(), chunk.size());
    }
    return digest.Value();
}

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

// Where every result goes, so that no candidate's work can be left out.
volatile uint64_t resultSink = 0;

// Best of the runs, in 10^6 bytes per second.
double MegabytesPerSecond(const Workload& workload, const Chunk& chunk) {
    double best = 0;
    for (int run = 0; run < kRuns; ++run) {
        LARGE_INTEGER start;
        LARGE_INTEGER end;
        QueryPerformanceCounter(&start);
        resultSink = resultSink + workload(chunk);
        QueryPerformanceCounter(&end);
        const double rate = static_cast<double>(kChunks * kChunkSize) / Seconds(start, end) / 1e6;
        best = rate > best ? rate : best;
    }
    return best;
}

} // namespace

int main() {
    try {
        Chunk chunk(kChunkSize);
        if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, chunk.data(), static_cast<ULONG>(chunk.size()),
                                            BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
            throw std::runtime_error("BCryptGenRandom");
        }
        const Crc32Slice8 crc;
        // A slip in the tables would make the figure meaningless.
        if (crc.Update(0, reinterpret_cast<const uint8_t*>("123456789"), 9) != 0xCBF43926U) {
            throw std::runtime_error("CRC-32 check value");
        }
        const CngHash sha256(BCRYPT_SHA256_ALGORITHM);
        const CngHash sha1(BCRYPT_SHA1_ALGORITHM);
        const CngHash md5(BCRYPT_MD5_ALGORITHM);
        Chunk copy(kChunkSize);

        const std::pair<const char*, Workload> candidates[] = {
            {"xxh3_sse2", [](const Chunk& bytes) { return RunDigest(bytes, DigestKernel::Sse2); }},
            {"xxh3_scalar",
             [](const Chunk& bytes) { return RunDigest(bytes, DigestKernel::Scalar); }},
            {"crc32_slice8",
             [&crc](const Chunk& bytes) {
                 uint32_t value = 0;
                 for (size_t index = 0; index < kChunks; ++index) {
                     value = crc.Update(value, bytes.data(), bytes.size());
                 }
                 return uint64_t{value};
             }},
            {"bcrypt_sha256", [&sha256](const Chunk& bytes) { return sha256.Run(bytes); }},
            {"bcrypt_sha1", [&sha1](const Chunk& bytes) { return sha1.Run(bytes); }},
            {"bcrypt_md5", [&md5](const Chunk& bytes) { return md5.Run(bytes); }},
            {"memcpy",
             [&copy](const Chunk& bytes) {
                 uint64_t sum = 0;
                 for (size_t index = 0; index < kChunks; ++index) {
                     std::memcpy(copy.data(), bytes.data(), bytes.size());
                     sum += copy[index * 4093];
                 }
                 return sum;
             }},
        };
        const bool sse2 = IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE);
        for (const auto& [label, workload] : candidates) {
            if (!sse2 && std::strcmp(label, "xxh3_sse2") == 0) {
                continue;
            }
            std::printf("%s\t%.1f\n", label, MegabytesPerSecond(workload, chunk));
            std::fflush(stdout);
        }
        // The kernel the bootstrapper times and takes on this machine.
        std::printf("chosen\t%s\n",
                    FastestDigestKernel() == DigestKernel::Sse2 ? "xxh3_sse2" : "xxh3_scalar");
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "digestspeed: %s failed\n", error.what());
        return 1;
    }
}
