#include "log/Logger.h"

#include <windows.h>

#include <vector>

_Logger Logger;

_Logger& _Logger::operator<<(const std::wstring& text) {
    static_cast<std::ostream&>(*this) << WideToUtf8(text);
    flush();
    return *this;
}

void OpenSetupLog(const std::wstring& directory) {
    const std::wstring path = directory + L"Setup.log";
    // The Windows C runtime opens stream files with deny-none sharing.
    Logger.open(path.c_str(), std::ios::out | std::ios::binary | std::ios::trunc);
}

std::string WideToUtf8(const std::wstring& text) {
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (size < 2) {
        return {};
    }
    std::vector<char> buffer(size);
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, buffer.data(), size, nullptr, nullptr);
    return std::string(buffer.data());
}
