#include "workspace/ScopedFile.h"

#include "TestFiles.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <thread>

namespace {

ULONGLONG MillisecondsToDestroy(std::unique_ptr<ScopedFile> file) {
    const ULONGLONG start = GetTickCount64();
    file.reset();
    return GetTickCount64() - start;
}

std::unique_ptr<ScopedFile> Owning(const std::wstring& path, bool armed = true) {
    auto file = std::make_unique<ScopedFile>();
    file->path = path;
    file->armed = armed;
    return file;
}

HANDLE OpenWithoutDeleteSharing(const std::wstring& path) {
    return CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Well below the 2000 ms that a retrying destruction takes, however slowly the test runs.
constexpr ULONGLONG kNoWaitMs = 1000;

TEST(ScopedFile, DeletesOnlyAnArmedExistingFileAndNeverWaitsOtherwise) {
    TempDir dir{L"sf"};
    WriteBytes(dir / L"kept", "k");
    WriteBytes(dir / L"deleted", "d");

    EXPECT_LT(MillisecondsToDestroy(Owning(dir / L"kept", false)), kNoWaitMs);
    EXPECT_TRUE(FileExists(dir / L"kept"));

    EXPECT_LT(MillisecondsToDestroy(Owning(L"")), kNoWaitMs);
    EXPECT_LT(MillisecondsToDestroy(Owning(dir / L"absent")), kNoWaitMs);

    EXPECT_LT(MillisecondsToDestroy(Owning(dir / L"deleted")), kNoWaitMs);
    EXPECT_FALSE(FileExists(dir / L"deleted"));
}

TEST(ScopedFile, GivesUpAfterTwoSecondsOnAFileHeldWithoutDeleteSharing) {
    TempDir dir{L"sf"};
    WriteBytes(dir / L"held", "h");
    HANDLE holder = OpenWithoutDeleteSharing(dir / L"held");
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);

    EXPECT_GE(MillisecondsToDestroy(Owning(dir / L"held")), 2000u);
    EXPECT_TRUE(FileExists(dir / L"held"));
    CloseHandle(holder);
}

TEST(ScopedFile, DeletesAFileReleasedWithinTheRetryTime) {
    TempDir dir{L"sf"};
    WriteBytes(dir / L"released", "r");
    HANDLE holder = OpenWithoutDeleteSharing(dir / L"released");
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);

    // The handle is closed 300 ms after the destruction has begun, however late that is, so
    // the first attempts must fail and a later one succeed.
    HANDLE destroying = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread releaser([holder, destroying] {
        WaitForSingleObject(destroying, INFINITE);
        Sleep(300);
        CloseHandle(holder);
    });
    auto file = Owning(dir / L"released");
    const ULONGLONG start = GetTickCount64();
    SetEvent(destroying);
    file.reset();
    const ULONGLONG elapsed = GetTickCount64() - start;
    releaser.join();
    CloseHandle(destroying);
    EXPECT_FALSE(FileExists(dir / L"released"));
    // Deleted only after the release (a tick of the clock aside).
    EXPECT_GE(elapsed, 290u);
    EXPECT_LT(elapsed, 2000u);
}

} // namespace
