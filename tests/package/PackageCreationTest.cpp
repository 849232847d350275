#include "package/PackageCreation.h"

#include <gtest/gtest.h>

namespace {

// What the flow hands to the shell. The program is Explorer in the Windows directory: a
// bare "explorer.exe" would be looked for beside the bootstrapper first (Wine's shell
// looks in the system directories first, so only this check tells them apart). The path
// stands between quotes so that one with blanks or commas reaches Explorer whole.
TEST(ShowInExplorer, NamesExplorerByItsFullPathAndQuotesThePackagePath) {
    wchar_t windows[MAX_PATH] = {};
    ASSERT_GT(GetWindowsDirectoryW(windows, MAX_PATH), 0u);
    const struct {
        const wchar_t* path;
        const wchar_t* parameters;
    } cases[] = {
        {L"C:\\Packages\\Orvanta.msi", L"/select,\"C:\\Packages\\Orvanta.msi\""},
        {L"C:\\Admin Share\\Silent, all users.msi",
         L"/select,\"C:\\Admin Share\\Silent, all users.msi\""},
    };
    for (const auto& c : cases) {
        const ExplorerCommand command = SelectInExplorer(c.path);
        EXPECT_EQ(command.program, std::wstring(windows) + L"\\explorer.exe");
        EXPECT_EQ(command.parameters, c.parameters);
    }
}

} // namespace
