#include "resources/ResourceIds.h"

#include "Driver.h"
#include "InstallRun.h"
#include "PackageDriver.h"

#include <gtest/gtest.h>

#include <cstdint>

// Runs whose temporary folder, or chosen package, is on a small drive: small-volume.sh
// mounts a 2 MiB tmpfs as S: and names it in ORVANTA_SMALL_DRIVE. Each case fills it with
// ballast to the free space it needs.
namespace {

std::wstring SmallDrive() {
    wchar_t value[MAX_PATH] = {};
    return GetEnvironmentVariableW(L"ORVANTA_SMALL_DRIVE", value, MAX_PATH) ? value : L"";
}

uint64_t FreeBytes(const std::wstring& folder) {
    ULARGE_INTEGER free{};
    EXPECT_TRUE(GetDiskFreeSpaceExW(folder.c_str(), &free, nullptr, nullptr)) << GetLastError();
    return free.QuadPart;
}

// What the payloads and satellites of a bootstrapper take on the drive, in whole clusters.
uint64_t LayoutBytesOn(const std::wstring& program, const std::wstring& drive) {
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
    EXPECT_TRUE(GetDiskFreeSpaceW(drive.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters,
                                  &clusters));
    const uint64_t cluster = uint64_t{sectorsPerCluster} * bytesPerSector;
    const UniqueLibrary image(LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    uint64_t total = 0;
    for (WORD id = 132; id <= 144; ++id) {
        const HRSRC resource = FindResourceW(image.get(), MAKEINTRESOURCEW(id), L"BIN");
        const uint64_t size = resource ? SizeofResource(image.get(), resource) : 0;
        total += (size + cluster - 1) / cluster * cluster;
    }
    return total;
}

std::wstring Megabytes(uint64_t bytes, bool roundUp) {
    constexpr uint64_t kMegabyte = 1024 * 1024;
    return std::to_wstring(bytes / kMegabyte + (roundUp && bytes % kMegabyte != 0));
}

// Fills the drive until the free space is the given amount, for the life of the object.
class Ballast {
  public:
    Ballast(const std::wstring& drive, uint64_t leftFree) : path_(drive + L"ballast.bin") {
        const uint64_t free = FreeBytes(drive);
        EXPECT_GE(free, leftFree);
        WriteBytes(path_, std::string(static_cast<size_t>(free - leftFree), '\0'));
        EXPECT_EQ(FreeBytes(drive), leftFree);
    }
    Ballast(const Ballast&) = delete;
    Ballast& operator=(const Ballast&) = delete;
    ~Ballast() { DeleteFileW(path_.c_str()); }

  private:
    std::wstring path_;
};

TEST(SmallVolumeE2E, AnInstallRunWithoutRoomSaysSoBeforeCopyingAndEndsWith112) {
    const std::wstring drive = SmallDrive();
    ASSERT_FALSE(drive.empty()) << "run by small-volume.sh";
    const std::wstring program = BuiltProgram(L"StandInSetup.exe");
    const uint64_t needed = LayoutBytesOn(program, drive);
    // The layout's size less a cluster or so: the log fits, the payloads do not.
    const Ballast ballast(drive, needed - 64 * 1024);
    InstallRun run(program, 0, {}, {}, nullptr, drive);
    HWND box = WaitForWindow(run.process->id(), L"#32770");
    ASSERT_NE(box, nullptr);
    // Everything the run wrote is there already: the workspace, its log.
    const uint64_t free = FreeBytes(drive);
    const std::wstring folder = run.temp->path().substr(0, run.temp->path().size() - 1);
    EXPECT_EQ(WindowText(box), L"Orvanta Vellumo Setup");
    EXPECT_EQ(MessageBoxText(box), L"There is not enough free space to prepare setup. It needs " +
                                       Megabytes(needed, true) + L" MB in " + folder + L", and " +
                                       Megabytes(free, false) +
                                       L" MB are free. Free some space on that drive, then "
                                       L"start setup again.");
    EXPECT_EQ(MessageBoxIcon(box), static_cast<UINT>(MB_ICONERROR));
    EXPECT_EQ(ListDirectory(run.Workspace()), std::vector<std::wstring>{L"Setup.log"});
    Click(box, IDOK);
    EXPECT_EQ(run.process->ExitCode(), static_cast<DWORD>(ERROR_DISK_FULL));
    EXPECT_EQ(run.Log(), "ExeImage: module path is " + WideToUtf8(program) +
                             "\nNot enough free space in " + WideToUtf8(folder) + ": " +
                             WideToUtf8(Megabytes(needed, true)) + " MB needed, " +
                             WideToUtf8(Megabytes(free, false)) + " MB free\n");
    EXPECT_TRUE(run.Started().empty());
}

TEST(SmallVolumeE2E, AnInstallRunWithRoomOnTheDriveRunsAsEver) {
    const std::wstring drive = SmallDrive();
    ASSERT_FALSE(drive.empty()) << "run by small-volume.sh";
    const std::wstring program = BuiltProgram(L"StandInSetup.exe");
    // Room for the layout, the log and the stand-in's record, and not much more.
    const Ballast ballast(drive, LayoutBytesOn(program, drive) + 64 * 1024);
    InstallRun run(program, 0, {}, {}, nullptr, drive);
    EXPECT_EQ(run.process->ExitCode(), 0u);
    const std::wstring workspace = run.Workspace();
    EXPECT_EQ(run.Log(), ExpectedLog(program, workspace, 0));
    EXPECT_EQ(ListDirectory(workspace), std::vector<std::wstring>{L"Setup.log"});
    ASSERT_EQ(run.Started().size(), 1u);
    EXPECT_EQ(run.Started()[0][0], workspace + L"SetupUI.exe");
}

TEST(SmallVolumeE2E, APackageThatDoesNotFitIsNotWrittenAndTheRunEndsWith112) {
    const std::wstring drive = SmallDrive();
    ASSERT_FALSE(drive.empty()) << "run by small-volume.sh";
    const Ballast ballast(drive, 0);
    // The run's workspace stays on the usual drive; only the package is to go on the full one.
    SetupRun run(L"StandInSetup", L"/extract");
    const std::wstring package = drive + L"Silent.msi";
    HWND options = run.Window(kOptions);
    ASSERT_NE(options, nullptr);
    Click(options, IDC_CREATE);
    ASSERT_TRUE(ChooseSaveFile(run.setup.id(), package));
    HWND box = WaitForBoxWithText(run.setup.id(), L"There is not enough free space");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box),
              L"There is not enough free space to create the package. It needs 1 MB in " + drive +
                  L", and 0 MB are free. Free some space on that drive or choose "
                  L"another folder, then create the package again.");
    EXPECT_FALSE(FileExists(package));
    Click(box, IDOK);
    EXPECT_EQ(run.setup.ExitCode(), static_cast<DWORD>(ERROR_DISK_FULL));
    EXPECT_FALSE(FileExists(package));
}

} // namespace
