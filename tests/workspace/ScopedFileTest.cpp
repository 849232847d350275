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

TEST(ScopedFile, DeletesOnlyAnArmedExistingFileAndNeverWaitsOtherwise) {
    TempDir dir{L"sf"};
    WriteBytes(dir / L"kept", "k");
    WriteBytes(dir / L"deleted", "d");

    EXPECT_LT(MillisecondsToDestroy(Owning(dir / L"kept", false)), 500u);
    EXPECT_TRUE(FileExists(dir / L"kept"));

    EXPECT_LT(MillisecondsToDestroy(Owning(L"")), 500u);
    EXPECT_LT(MillisecondsToDestroy(Owning(dir / L"absent")), 500u);

    EXPECT_LT(MillisecondsToDestroy(Owning(dir / L"deleted")), 500u);
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

    std::thread releaser([holder] {
        Sleep(300);
        CloseHandle(holder);
    });
    const ULONGLONG elapsed = MillisecondsToDestroy(Owning(dir / L"released"));
    releaser.join();
    EXPECT_FALSE(FileExists(dir / L"released"));
    EXPECT_GE(elapsed, 250u);
    EXPECT_LT(elapsed, 2000u);
}

} // namespace
