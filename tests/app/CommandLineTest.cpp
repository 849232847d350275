#include "app/CommandLine.h"
#include "ui/Messages.h"

#include <gtest/gtest.h>

namespace {

struct ParseCase {
    const wchar_t* arguments;
    bool showHelp;
    RunMode mode;
};

TEST(ParseCommandLine, MatchesEachPieceExactly) {
    const ParseCase cases[] = {
        {L"", false, RunMode::Install},
        {L"/extract", false, RunMode::Extract},
        {L"/defaults", false, RunMode::Defaults},
        {L"/extract /defaults", false, RunMode::Defaults},
        {L"/defaults /extract", false, RunMode::Extract},
        {L"/extract  /defaults", false, RunMode::Defaults},
        {L"/extract ", false, RunMode::Extract},
        {L" /extract", false, RunMode::Extract},
        {L"/help", true, RunMode::Install},
        {L"/?", true, RunMode::Install},
        {L"/Help", true, RunMode::Install},
        {L"-help", true, RunMode::Install},
        {L"help", true, RunMode::Install},
        {L"/EXTRACT", true, RunMode::Install},
        {L"/extractx", true, RunMode::Install},
        {L"/extrac", true, RunMode::Install},
        {L"\"/extract\"", true, RunMode::Install},
        {L"/extract\t/defaults", true, RunMode::Install},
        {L"/extract /help", true, RunMode::Extract},
        {L"/help /defaults", true, RunMode::Defaults},
        {L"/defaults x", true, RunMode::Defaults},
    };
    for (const ParseCase& c : cases) {
        const CommandLineOptions options = ParseCommandLine(c.arguments);
        EXPECT_EQ(options.showHelp, c.showHelp)
            << "arguments: [" << testing::PrintToString(std::wstring(c.arguments)) << "]";
        EXPECT_EQ(options.mode, c.mode)
            << "arguments: " << testing::PrintToString(std::wstring(c.arguments));
    }
}

TEST(HelpText, ListsTheSwitchesOnFiveLinesWithLineFeedsOnly) {
    EXPECT_EQ(
        GetHelpText(),
        L"Options:\n\n/help\tShow this message\n/extract\tCreate MSI for silent installation\n"
        L"/defaults\tCreate MSI for silent installation (for use with an Orvanta.defaults file)\n");
    EXPECT_EQ(GetProductTitle(), L"Orvanta Vellumo Setup");
}

} // namespace
