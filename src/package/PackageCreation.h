#pragma once

#include <windows.h>

#include <string>

// /extract and /defaults: asks for the options and a file, writes the product's installer
// package there with the options in its Property table, and offers to show it in
// Explorer. Returns 0; a cancelled option dialog does nothing else. A package that could
// not be completed is deleted; runtime errors pass through to the caller.
int RunPackageCreation(HINSTANCE instance, bool defaultsMode);

// What the shell is given to show the package: Explorer from the Windows directory (a
// bare "explorer.exe" is looked for beside the executable first) and "/select," with the
// quoted path, so that a path with blanks arrives whole.
struct ExplorerCommand {
    std::wstring program;
    std::wstring parameters;
};
ExplorerCommand SelectInExplorer(const std::wstring& path);

// Starts Explorer with the file selected, without waiting for it.
void ShowInExplorer(const std::wstring& path);
