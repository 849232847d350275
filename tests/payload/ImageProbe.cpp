// A program of the payload tests: opens its own image as the bootstrapper does, copies
// resource 135 beside itself and writes what happened to "outcome.txt" there. With the
// argument "missing" its own file is moved away first, so that the image cannot be found.
#include "log/Logger.h"
#include "payload/ExeImage.h"

#include <windows.h>

#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

int wmain(int argc, wchar_t** argv) {
    std::vector<wchar_t> buffer(4096);
    const std::wstring self(buffer.data(), GetModuleFileNameW(nullptr, buffer.data(), 4096));
    const std::wstring directory = self.substr(0, self.rfind(L'\\') + 1);
    const std::wstring moved = directory + L"moved.exe";
    const bool missing = argc > 1 && std::wstring(argv[1]) == L"missing";

    OpenSetupLog(directory);
    if (missing) {
        MoveFileW(self.c_str(), moved.c_str());
    }
    const std::wstring before = ReadCurrentDirectory();
    std::string outcome = "loaded";
    try {
        ExeImage image;
        image.ExtractResource(135, directory + L"135.bin");
    } catch (const std::runtime_error& error) {
        outcome = error.what();
    }
    const bool restored = ReadCurrentDirectory() == before;
    if (missing) {
        MoveFileW(moved.c_str(), self.c_str());
    }
    std::ofstream((directory + L"outcome.txt").c_str(), std::ios::binary)
        << outcome << "\n"
        << (restored ? "directory restored" : "directory changed") << "\n";
    return 0;
}
