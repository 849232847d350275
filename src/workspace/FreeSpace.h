#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What a volume has room for, as the calling user sees it (disk quotas included).
struct VolumeSpace {
    uint64_t freeBytes = 0;
    // The allocation unit; 0 where it cannot be read, and sizes are then taken as they are.
    uint64_t clusterBytes = 0;
};

// The free space and cluster size of the volume that holds the folder (a volume mounted in
// a folder counts as its own); nothing when the free space cannot be read.
std::optional<VolumeSpace> ReadVolumeSpace(const std::wstring& folder);

// The space files of these sizes take: each a whole number of clusters.
uint64_t SpaceTaken(const std::vector<uint64_t>& sizes, uint64_t clusterBytes);

// The figures of a volume without room for files.
struct SpaceShortage {
    uint64_t neededBytes = 0;
    uint64_t freeBytes = 0;
};

// Whether files of these sizes fit on the volume; the clusters of a file they replace count
// as free.
std::optional<SpaceShortage> FindShortage(const std::vector<uint64_t>& sizes,
                                          const VolumeSpace& volume, uint64_t replacedBytes = 0);

// The shortage on the volume that holds the folder; nothing when the files fit or when the
// volume's free space cannot be read, so that the copy goes on and meets the disk as it is.
std::optional<SpaceShortage> FindShortageIn(const std::wstring& folder,
                                            const std::vector<uint64_t>& sizes,
                                            uint64_t replacedBytes = 0);
