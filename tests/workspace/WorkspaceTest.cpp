#include "workspace/Workspace.h"

#include "TestFiles.h"
#include "common/UniqueHandle.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>

namespace {

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

// The accounts that a directory's access list lets in, as SID strings; its owner (the user
// who made it) first.
std::vector<std::wstring> OwnerAndAllowed(const std::wstring& path) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT,
                              OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                              nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
        ADD_FAILURE() << "GetNamedSecurityInfoW failed";
        return {};
    }
    const UniqueLocalMemory owned(descriptor);
    std::vector<std::wstring> sids;
    auto add = [&sids](PSID sid) {
        wchar_t* text = nullptr;
        if (ConvertSidToStringSidW(sid, &text)) {
            const UniqueLocalMemory ownedText(text);
            sids.push_back(text);
        }
    };
    add(owner);
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        if (GetAce(dacl, i, reinterpret_cast<void**>(&ace)) &&
            ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE) {
            add(&ace->SidStart);
        }
    }
    return sids;
}

TEST(CreateWorkspace, MakesANewUuidDirectoryUnderTheSharedParentForEachRun) {
    TempDir temp{L"ws"};
    ScopedEnvironment variables(TempAt(temp.path()));

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

    // Only SYSTEM, the administrators and the user may open it; a directory made with the
    // default security would let Everyone read it.
    const std::vector<std::wstring> sids = OwnerAndAllowed(first);
    ASSERT_FALSE(sids.empty());
    const std::vector<std::wstring> allowed(sids.begin() + 1, sids.end());
    for (const std::wstring& needed : {std::wstring(L"S-1-5-18"), sids[0]}) {
        EXPECT_NE(std::find(allowed.begin(), allowed.end(), needed), allowed.end()) << needed;
    }
    for (const wchar_t* refused : {L"S-1-1-0", L"S-1-5-32-545", L"S-1-5-11"}) {
        EXPECT_EQ(std::find(allowed.begin(), allowed.end(), refused), allowed.end()) << refused;
    }
}

TEST(CreateWorkspace, FailsWhenTheTemporaryDirectoryIsMissing) {
    TempDir temp{L"ws"};
    ScopedEnvironment variables(TempAt(temp.path() + L"missing\\deeper\\"));
    try {
        CreateWorkspace();
        FAIL() << "no error raised";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "CreateDirectory failed");
    }
}

} // namespace
