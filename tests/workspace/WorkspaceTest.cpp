#include "workspace/Workspace.h"

#include "TestFiles.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cwctype>

namespace {

// Points TMP and TEMP at a directory of the test for the length of a scope.
class TempVariables {
  public:
    explicit TempVariables(const std::wstring& directory) {
        for (const wchar_t* name : {L"TMP", L"TEMP"}) {
            wchar_t value[MAX_PATH] = {};
            saved_.emplace_back(name, GetEnvironmentVariableW(name, value, MAX_PATH) ? value : L"");
            SetEnvironmentVariableW(name, directory.c_str());
        }
    }
    ~TempVariables() {
        for (const auto& [name, value] : saved_) {
            SetEnvironmentVariableW(name.c_str(), value.empty() ? nullptr : value.c_str());
        }
    }

  private:
    std::vector<std::pair<std::wstring, std::wstring>> saved_;
};

bool IsUuidText(const std::wstring& text) {
    if (text.size() != 36) {
        return false;
    }
    for (size_t i = 0; i < text.size(); ++i) {
        const bool hyphen = i == 8 || i == 13 || i == 18 || i == 23;
        if (hyphen ? text[i] != L'-'
                   : !(std::iswdigit(text[i]) || (text[i] >= L'a' && text[i] <= L'f'))) {
            return false;
        }
    }
    return true;
}

TEST(CreateWorkspace, MakesANewUuidDirectoryUnderTheSharedParentForEachRun) {
    TempDir temp{L"ws"};
    TempVariables variables(temp.path());

    const std::wstring first = CreateWorkspace();
    const std::wstring second = CreateWorkspace();

    const std::wstring parent = temp.path() + L"OrvantaSetup\\";
    for (const std::wstring& path : {first, second}) {
        ASSERT_EQ(path.substr(0, parent.size()), parent);
        const std::wstring rest = path.substr(parent.size());
        ASSERT_EQ(rest.back(), L'\\');
        EXPECT_TRUE(IsUuidText(rest.substr(0, rest.size() - 1))) << testing::PrintToString(rest);
        EXPECT_TRUE(DirectoryExists(path));
    }
    EXPECT_NE(first, second);
    EXPECT_EQ(ListDirectory(parent).size(), 2u);
}

TEST(CreateWorkspace, FailsWhenTheTemporaryDirectoryIsMissing) {
    TempDir temp{L"ws"};
    TempVariables variables(temp.path() + L"missing\\deeper\\");
    try {
        CreateWorkspace();
        FAIL() << "no error raised";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "CreateDirectory failed");
    }
}

} // namespace
