#include "payload/Digest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

constexpr size_t kMiB = 1024 * 1024;

// Not periodic in 256, so that a stripe read from the wrong place changes the digest.
std::vector<uint8_t> PatternBytes(size_t size) {
    std::vector<uint8_t> bytes(size);
    for (size_t index = 0; index < size; ++index) {
        bytes[index] = static_cast<uint8_t>(index * 31 + index / 251);
    }
    return bytes;
}

// Every short form and its edges; the long form around the held-back buffer (256), the block
// (1024, 16 stripes) and the 1 MiB chunk, each with the last stripe whole and split.
struct DigestCase {
    size_t size;
    const char* expected; // xxhsum -H3 (xxHash 0.8.1) of a file of the first `size` PatternBytes
};
const DigestCase kCases[] = {
    {0, "2d06800538d394c2"},    {1, "c44bdff4074eecdb"},        {2, "50a0dc43c774eb84"},
    {3, "3698b80191e625f9"},    {4, "2e4ac2f1c52157fc"},        {5, "3e2847637b2924d1"},
    {8, "60e1baa91347a1f2"},    {9, "9c88fc32c37b56cb"},        {15, "169c3d71d6ffc07e"},
    {16, "f9fbd0260ba978df"},   {17, "c56f339d36cc73d7"},       {32, "7418fd090e5a8159"},
    {33, "d80a3226002e02f8"},   {64, "ef5426b31747db78"},       {65, "b98e2a2698771ec0"},
    {96, "59d3b91aa4416fb9"},   {97, "3fea7cc420f592c0"},       {128, "31ccf8dec850d035"},
    {129, "c72af4c6ac4dea94"},  {143, "9fd13564b133db3c"},      {144, "83db3050f78b59eb"},
    {239, "95c1000fab028173"},  {240, "e315d53d5129eede"},      {241, "18773c512b008a63"},
    {255, "b063a3bd05935145"},  {256, "7ec3de3415e4eb12"},      {257, "d69e0913f9d0af27"},
    {319, "3aa00f9288a96e12"},  {320, "65708068804c5cb1"},      {321, "11512a8ccae9c25f"},
    {1023, "2b9c688263843349"}, {1024, "f1c18c411ad4114c"},     {1025, "9e49547ac2266535"},
    {1087, "41789ab4e40ab063"}, {1088, "01bb41312d1acf64"},     {1089, "1a950546e3a427cd"},
    {2048, "38114dc191a290a4"}, {2049, "88a32ad0ad410fc3"},     {16385, "469787a110bda185"},
    {kMiB, "fe0ba60c76c29245"}, {kMiB + 1, "281f10e4095cc4d5"}, {3 * kMiB + 5, "58de85bd7dc19170"},
};

// Fed in pieces of the size, with a look at the value after each, which must change nothing.
uint64_t DigestInPieces(const uint8_t* bytes, size_t size, size_t piece, DigestKernel kernel) {
    PayloadDigest digest(kernel);
    for (size_t offset = 0; offset < size; offset += piece) {
        digest.Update(bytes + offset, std::min(piece, size - offset));
        digest.Value();
    }
    return digest.Value();
}

// The SSE2 kernel is covered wherever the processor has SSE2 (any that runs Wine).
TEST(PayloadDigestTest, MatchesXxhsumWholeAndInPiecesWithEitherKernel) {
    const std::vector<uint8_t> bytes = PatternBytes(3 * kMiB + 5);
    for (const DigestKernel kernel : {DigestKernel::Scalar, FastestDigestKernel()}) {
        for (const DigestCase& digestCase : kCases) {
            SCOPED_TRACE(testing::Message()
                         << "kernel " << static_cast<int>(kernel) << ", size " << digestCase.size);
            EXPECT_EQ(DigestText(PayloadDigestOf(bytes.data(), digestCase.size, kernel)),
                      digestCase.expected);
            for (const size_t piece :
                 {size_t{1}, size_t{7}, size_t{63}, size_t{64}, size_t{65}, kMiB}) {
                EXPECT_EQ(DigestText(DigestInPieces(bytes.data(), digestCase.size, piece, kernel)),
                          digestCase.expected)
                    << "in pieces of " << piece;
            }
        }
    }
}

} // namespace
