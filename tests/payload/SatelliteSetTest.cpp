#include "payload/SatelliteSet.h"

#include "Handles.h"
#include "PayloadTest.h"

#include <memory>
#include <vector>

namespace {

const std::vector<std::wstring> kLanguages{L"de", L"en-US", L"es", L"fr",     L"it",
                                           L"ja", L"pt-BR", L"ru", L"zh-Hans"};

class SatelliteSetTest : public SetupLogTest {
  protected:
    ExeImage image;
    TempDir workspace{L"sat"};
};

// A foreign file keeps its language's directory; the others go, each after its file, in
// the order they were laid out (shown by the order of the log lines).
TEST_F(SatelliteSetTest, LaysOutNineLanguagesAndRemovesThemFileFirstInOrder) {
    const std::vector<std::vector<std::wstring>> foreignIn{{}, {L"fr"}, kLanguages};
    DWORD handles = 0;
    for (const auto& foreign : foreignIn) {
        SCOPED_TRACE(foreign.size());
        handles = &foreign == &foreignIn[1] ? OpenHandleCount() : handles; // after a warm-up
        // An existing directory with an older satellite is used and its file replaced.
        CreateDirectoryW((workspace / L"de").c_str(), nullptr);
        WriteBytes(workspace / L"de\\SetupUI.resources.dll", "older");
        auto set = std::make_unique<SatelliteSet>(workspace.path(), image);
        for (std::size_t index = 0; index < kLanguages.size(); ++index) {
            set->AddSatellite(kLanguages[index], static_cast<uint16_t>(136 + index));
        }
        EXPECT_EQ(ListDirectory(workspace.path()), kLanguages);
        for (std::size_t index = 0; index < kLanguages.size(); ++index) {
            EXPECT_EQ(ReadBytes(workspace / (kLanguages[index] + L"\\SetupUI.resources.dll")),
                      TestPayload(static_cast<uint16_t>(136 + index)));
        }
        std::string expectedLog;
        for (const std::wstring& tag : foreign) {
            WriteBytes(workspace / (tag + L"\\foreign.txt"), "not ours");
            expectedLog += "RemoveDirectory failed: " + WideToUtf8(workspace / tag) + "\n";
        }
        const std::string logBefore = LogText();
        set.reset();

        EXPECT_EQ(LogText(), logBefore + expectedLog);
        EXPECT_EQ(ListDirectory(workspace.path()), foreign);
        for (const std::wstring& tag : foreign) {
            EXPECT_EQ(ListDirectory(workspace / tag), std::vector<std::wstring>{L"foreign.txt"});
            RemoveTree(workspace / tag);
        }
    }
    EXPECT_EQ(OpenHandleCount(), handles);
}

TEST_F(SatelliteSetTest, AFailedExtractionKeepsTheEarlierSatellitesForRemovalAndItsEmptyDirectory) {
    {
        SatelliteSet set(workspace.path(), image);
        const uint16_t ids[] = {136, 137, 138, 139, 145, 141};
        std::string error;
        for (std::size_t index = 0; index < 6 && error.empty(); ++index) {
            error = ErrorText([&] { set.AddSatellite(kLanguages[index], ids[index]); });
        }
        EXPECT_EQ(error, "ResourceDir::GetChildWithId");
        EXPECT_EQ(ListDirectory(workspace.path()),
                  (std::vector<std::wstring>{L"de", L"en-US", L"es", L"fr", L"it"}));
    }
    EXPECT_EQ(ListDirectory(workspace.path()), std::vector<std::wstring>{L"it"});
    EXPECT_TRUE(ListDirectory(workspace / L"it").empty());
}

} // namespace
