#include "workspace/FreeSpace.h"

namespace {

// The root of the volume (or the folder it is mounted in) that holds the path; the cluster
// size is only given for such a root.
std::wstring VolumeRootOf(const std::wstring& path) {
    std::wstring root(path.size() + 2, L'\0');
    if (!GetVolumePathNameW(path.c_str(), root.data(), static_cast<DWORD>(root.size()))) {
        return {};
    }
    root.resize(wcslen(root.c_str()));
    return root;
}

uint64_t ClusterBytesOf(const std::wstring& path) {
    const std::wstring root = VolumeRootOf(path);
    DWORD sectorsPerCluster = 0;
    DWORD bytesPerSector = 0;
    DWORD freeClusters = 0;
    DWORD clusters = 0;
    if (root.empty() || !GetDiskFreeSpaceW(root.c_str(), &sectorsPerCluster, &bytesPerSector,
                                           &freeClusters, &clusters)) {
        return 0;
    }
    return static_cast<uint64_t>(sectorsPerCluster) * bytesPerSector;
}

} // namespace

std::optional<VolumeSpace> ReadVolumeSpace(const std::wstring& folder) {
    if (folder.empty()) {
        return std::nullopt;
    }
    // A share ("\\server\share") is only read with a backslash at the end.
    const std::wstring path = folder.back() == L'\\' ? folder : folder + L"\\";
    ULARGE_INTEGER freeForCaller{};
    if (!GetDiskFreeSpaceExW(path.c_str(), &freeForCaller, nullptr, nullptr)) {
        return std::nullopt;
    }
    return VolumeSpace{freeForCaller.QuadPart, ClusterBytesOf(path)};
}

uint64_t SpaceTaken(const std::vector<uint64_t>& sizes, uint64_t clusterBytes) {
    uint64_t total = 0;
    for (const uint64_t size : sizes) {
        total += clusterBytes == 0 ? size : (size + clusterBytes - 1) / clusterBytes * clusterBytes;
    }
    return total;
}

std::optional<SpaceShortage> FindShortage(const std::vector<uint64_t>& sizes,
                                          const VolumeSpace& volume, uint64_t replacedBytes) {
    const uint64_t needed = SpaceTaken(sizes, volume.clusterBytes);
    const uint64_t free = volume.freeBytes + SpaceTaken({replacedBytes}, volume.clusterBytes);
    if (needed <= free) {
        return std::nullopt;
    }
    return SpaceShortage{needed, free};
}

std::optional<SpaceShortage> FindShortageIn(const std::wstring& folder,
                                            const std::vector<uint64_t>& sizes,
                                            uint64_t replacedBytes) {
    const std::optional<VolumeSpace> volume = ReadVolumeSpace(folder);
    return volume ? FindShortage(sizes, *volume, replacedBytes) : std::nullopt;
}
