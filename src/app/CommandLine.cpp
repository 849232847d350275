#include "app/CommandLine.h"

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
    return L"Options:\n"
           L"\n"
           L"/help\tShow this message\n"
           L"/extract\tCreate MSI for silent installation\n"
           L"/defaults\tCreate MSI for silent installation (for use with an Orvanta.defaults "
           L"file)\n";
}
