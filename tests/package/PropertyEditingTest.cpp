#include "package/PropertyEditing.h"

#include "Handles.h"
#include "PackageFiles.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <functional>

// Packages made by wixl at build time (Properties.wxs) are edited through the real
// Windows Installer.
namespace {

std::wstring CopyOfTestPackage(const TempDir& dir) {
    const std::wstring path = dir / L"package.msi";
    WriteBytes(path, ReadBytes(BinDirectory() + L"Properties.msi"));
    return path;
}

TEST(PropertyEditing, InsertsNewNamesAndReplacesTheValueOfExistingOnes) {
    TempDir dir{L"prop"};
    const std::wstring path = CopyOfTestPackage(dir);
    std::multimap<std::wstring, std::wstring> expected = ReadPropertyTable(path);
    ASSERT_EQ(expected.count(L"EXISTING_PROPERTY"), 1u);
    ASSERT_EQ(expected.count(L"NEW_PROPERTY"), 0u);

    const struct {
        const wchar_t* name;
        const wchar_t* value;
    } writes[] = {
        {L"NEW_PROPERTY", L"#0"},                     // inserted
        {L"EXISTING_PROPERTY", L" C:\\Typed Dir\\ "}, // the package's own row, replaced
        {L"NEW_PROPERTY", L"#1"},                     // a row written before, replaced
        // Within the package's code page (1252).
        {L"SECOND_NEW_PROPERTY", L"\u00e9t\u00e9"},
    };
    const DWORD handles = OpenHandleCount();
    {
        const MsiHandle database = OpenPackageDatabase(path);
        const MsiHandle view = OpenPropertyView(database);
        for (const auto& write : writes) {
            SetProperty(view.get(), write.name, write.value);
        }
        CommitDatabase(database);
    }
    EXPECT_EQ(OpenHandleCount(), handles);

    for (const auto& write : writes) {
        expected.erase(write.name);
        expected.emplace(write.name, write.value);
    }
    EXPECT_EQ(ReadPropertyTable(path), expected);
}

TEST(PropertyEditing, EachFailingStepRaisesItsOwnText) {
    TempDir dir{L"prop"};
    WriteBytes(dir / L"text.msi", "This is not an installer package.\r\n");
    {
        // A database of its own without a Property table.
        MSIHANDLE created = 0;
        const std::wstring empty = dir / L"empty.msi";
        ASSERT_EQ(MsiOpenDatabaseW(empty.c_str(), MSIDBOPEN_CREATE, &created), 0u);
        ASSERT_EQ(MsiDatabaseCommit(created), 0u);
        MsiCloseHandle(created);
    }
    const std::wstring package = CopyOfTestPackage(dir);

    const struct {
        const char* name;
        std::function<void()> step;
        const char* error;
    } cases[] = {
        {"not a package", [&] { OpenPackageDatabase(dir / L"text.msi"); },
         "MsiOpenDatabase failed"},
        {"no file", [&] { OpenPackageDatabase(dir / L"absent.msi"); }, "MsiOpenDatabase failed"},
        {"no Property table",
         [&] {
             const MsiHandle database = OpenPackageDatabase(dir / L"empty.msi");
             OpenPropertyView(database);
         },
         "MsiDatabaseOpenView failed"},
        {"a row without a name",
         [&] {
             const MsiHandle database = OpenPackageDatabase(package);
             const MsiHandle view = OpenPropertyView(database);
             SetProperty(view.get(), L"", L"#1");
         },
         "MsiViewModify failed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            c.step();
            ADD_FAILURE() << "no error";
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), c.error);
        }
    }
    // The handles were closed as the errors passed: every file can be deleted.
    for (const wchar_t* name : {L"text.msi", L"empty.msi", L"package.msi"}) {
        EXPECT_TRUE(DeleteFileW((dir / name).c_str()))
            << testing::PrintToString(std::wstring(name));
    }
}

} // namespace
