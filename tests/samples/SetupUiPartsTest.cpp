// The setup UI's configuration reader, language choice and progress arithmetic.
#include "Language.h"
#include "Progress.h"
#include "SampleFixtures.h"
#include "SetupConfig.h"

#include <gtest/gtest.h>

namespace {

TEST(SetupConfig, ReadsTheShippedFileAndToleratesWhatXmlAllows) {
    const SetupConfig shipped = ReadSetupConfig(SampleLayout() + L"SetupUI.exe.config");
    EXPECT_EQ(shipped.package, L"Orvanta.msi");
    EXPECT_EQ(shipped.logFile, L"OrvantaInstall.log");

    const SetupConfig varied = ParseSetupConfig(
        "\xEF\xBB\xBF<?xml version='1.0'?>\r\n<!-- <add key=\"Package\" value=\"old.msi\"/> -->"
        "<configuration>\n <appSettings >\n  <add value='A &amp; B.msi' key='Package'></add>"
        "\n  <add key=\"Other\" value=\"x\" />\n </appSettings>\n</configuration>");
    EXPECT_EQ(varied.package, L"A & B.msi");
    EXPECT_EQ(varied.logFile, L"OrvantaInstall.log");
}

TEST(SetupConfig, RefusesDamageAndFilesOutsideTheProgramsFolder) {
    const char* bad[] = {
        "",
        "\xFF\xFE<configuration/>",
        "<configuration><appSettings><add key=\"Package\" value=\"a.msi\"/></appSettings>",
        "<configuration><appSettings><add key=\"Package\" "
        "value=\"a.msi\"/></configuration></appSettings>",
        "<configuration><appSettings><add key=\"Package\" "
        "value=\"a.msi\"</appSettings></configuration>",
        "<configuration><!-- <appSettings>",
        "<configuration><add key=\"Package\" value=\"a.msi\"/></configuration>",
        "<configuration><appSettings><add key=\"Package\" "
        "value=\"a&b.msi\"/></appSettings></configuration>",
        "<configuration><appSettings><add key=\"Package\" "
        "value=\"..\\a.msi\"/></appSettings></configuration>",
        "<configuration><appSettings><add key=\"Package\" "
        "value=\"C:\\a.msi\"/></appSettings></configuration>",
        "<configuration><appSettings><add key=\"Package\" "
        "value=\"sub/a.msi\"/></appSettings></configuration>",
        "<configuration><appSettings><add key=\"Package\" value=\"a.msi\"/><add key=\"LogFile\" "
        "value=\"..\\log.txt\"/></appSettings></configuration>",
    };
    for (const char* text : bad) {
        SCOPED_TRACE(text);
        EXPECT_THROW(ParseSetupConfig(text), std::runtime_error);
    }
}

// The bootstrapper's rule, then US English; a name that is no product language never
// becomes a folder name.
TEST(SatelliteCandidates, GoFromTheLocaleToItsProductLanguageThenToUsEnglish) {
    const struct {
        const wchar_t* locale;
        std::vector<std::wstring> candidates;
    } cases[] = {
        {L"de-AT", {L"de", L"en-US"}},
        {L"pt-BR", {L"pt-BR", L"en-US"}},
        {L"zh-CN", {L"zh-Hans", L"en-US"}},
        {L"zh-TW", {L"en-US"}},
        {L"sr-Latn-RS", {L"en-US"}},
        {L"en-US", {L"en-US"}},
        {L"", {L"en-US"}},
        {L"..\\x", {L"en-US"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SatelliteCandidates(c.locale), c.candidates)
            << testing::PrintToString(std::wstring(c.locale));
    }
}

TEST(ProgressTracker, FollowsScriptThenExecutionThenRollback) {
    ProgressTracker tracker;
    const struct {
        const wchar_t* message; // null: an action data message
        int permille;
        bool executing;
    } steps[] = {
        {L"garbage", 0, false},
        {L"1: 0 2: 100 3: 0 4: 1 ", 0, false},  // reset: script generation
        {L"1: 2 2: 50 ", 50, false},            // half of the first tenth
        {L"1: 0 2: 200 3: 0 4: 0 ", 100, true}, // reset: execution
        {L"1: 1 2: 10 3: 1 ", 100, true},       // each action data is worth 10
        {nullptr, 145, true},
        {nullptr, 190, true},
        {L"1: 3 2: 200 ", 145, true},            // total grows to 400
        {L"1: 2 2: 1000 ", 1000, true},          // a report beyond the total stops at the end
        {L"1: 0 2: 100 3: 1 4: 0 ", 1000, true}, // reset: rollback, backwards
        {L"1: 2 2: 40 ", 640, true},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(
            testing::PrintToString(std::wstring(step.message ? step.message : L"(action data)")));
        if (step.message) {
            tracker.OnProgress(step.message);
        } else {
            tracker.OnActionData();
        }
        EXPECT_EQ(tracker.Permille(), step.permille);
        EXPECT_EQ(tracker.Executing(), step.executing);
    }
}

} // namespace
