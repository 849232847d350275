#include "app/CommandLine.h"

#include "resources/ResourceIds.h"
#include "ui/Language.h"

CommandLineOptions ParseCommandLine(const std::wstring& arguments) {
    CommandLineOptions options;
    std::wstring::size_type start = 0;
    while (start < arguments.size()) {
        std::wstring::size_type end = arguments.find(L' ', start);
        if (end == std::wstring::npos) {
            end = arguments.size();
        }
        const std::wstring piece = arguments.substr(start, end - start);
        start = end + 1;

        if (piece.empty()) {
            continue;
        }
        if (piece == L"/help" || piece == L"/?") {
            options.showHelp = true;
        } else if (piece == L"/extract") {
            options.mode = RunMode::Extract;
        } else if (piece == L"/defaults") {
            options.mode = RunMode::Defaults;
        } else {
            options.showHelp = true;
        }
    }
    return options;
}

std::wstring GetHelpText() {
    // The switches stay as they are typed, in every language.
    return UiText(IDS_HELP_OPTIONS) + L"\n" + L"\n" + L"/help\t" + UiText(IDS_HELP_HELP) + L"\n" +
           L"/extract\t" + UiText(IDS_HELP_EXTRACT) + L"\n" + L"/defaults\t" +
           UiText(IDS_HELP_DEFAULTS) + L"\n";
}
