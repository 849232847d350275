#include "workspace/FreeSpace.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

namespace {

// Each file takes whole clusters; an exact multiple takes no more, an empty file none.
// Files fit up to the last free byte, and a file they replace frees its clusters.
TEST(FreeSpace, FilesTakeWholeClustersAndFitUpToTheLastFreeByte) {
    const struct {
        std::vector<uint64_t> sizes;
        uint64_t cluster;
        uint64_t taken;
    } sizes[] = {
        {{1}, 4096, 4096},
        {{4096}, 4096, 4096},
        {{4097}, 4096, 8192},
        {{0}, 4096, 0},
        {{1, 1, 1}, 512, 1536},
        {{320512, 25, 17}, 4096, 331776},
        {{5'000'000'000}, 65536, 5'000'003'584},
        {{1, 4097}, 0, 4098}, // a cluster size that could not be read
    };
    for (const auto& c : sizes) {
        EXPECT_EQ(SpaceTaken(c.sizes, c.cluster), c.taken) << testing::PrintToString(c.sizes);
    }

    const std::vector<uint64_t> files = {4097, 1}; // 12288 bytes in 4 KiB clusters
    const struct {
        const char* what;
        uint64_t free;
        uint64_t replaced;
        bool fits;
    } decisions[] = {
        {"a byte less free", 12287, 0, false},
        {"exactly as much free", 12288, 0, true},
        {"a byte more free", 12289, 0, true},
        {"a cluster less, a 1-byte file replaced", 8192, 1, true},
        {"two clusters less, a 1-byte file replaced", 4096, 1, false},
    };
    for (const auto& c : decisions) {
        SCOPED_TRACE(c.what);
        const auto shortage = FindShortage(files, {c.free, 4096}, c.replaced);
        EXPECT_EQ(!shortage, c.fits);
        if (shortage) {
            EXPECT_EQ(shortage->neededBytes, 12288u);
            EXPECT_EQ(shortage->freeBytes, c.free + (c.replaced ? 4096 : 0));
        }
    }
}

TEST(FreeSpace, AFolderOnARealVolumeHasFreeSpaceAndAClusterSizeAndAMissingOneNone) {
    TempDir dir{L"free"};
    const auto volume = ReadVolumeSpace(dir.path());
    ASSERT_TRUE(volume);
    EXPECT_GT(volume->freeBytes, 0u);
    EXPECT_GE(volume->clusterBytes, 512u);
    EXPECT_EQ(volume->clusterBytes & (volume->clusterBytes - 1), 0u) << volume->clusterBytes;
    // Nothing to check against: the copy goes on and meets the disk as it is.
    EXPECT_FALSE(ReadVolumeSpace(L"Q:\\no such drive\\"));
    EXPECT_FALSE(FindShortageIn(L"Q:\\no such drive\\", {uint64_t{1} << 62}));
}

} // namespace
