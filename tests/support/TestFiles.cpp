#include "TestFiles.h"

#include <algorithm>
#include <atomic>
#include <stdexcept>

namespace {
std::atomic<unsigned> counter{0};
}

TempDir::TempDir(const std::wstring& label, const std::wstring& parent) {
    wchar_t temp[MAX_PATH + 1] = {};
    if (parent.empty()) {
        GetTempPathW(MAX_PATH, temp);
    } else {
        parent.copy(temp, MAX_PATH);
    }
    for (;;) {
        path_ = std::wstring(temp) + L"ovt-" + label + L"-" +
                std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(counter++) + L"\\";
        if (CreateDirectoryW(path_.c_str(), nullptr)) {
            return;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            throw std::runtime_error("cannot create a test directory");
        }
    }
}

TempDir::~TempDir() {
    RemoveTree(path_);
}

void RemoveTree(const std::wstring& path) {
    std::wstring directory = path;
    if (!directory.empty() && directory.back() == L'\\') {
        directory.pop_back();
    }
    for (const std::wstring& name : ListDirectory(directory + L"\\")) {
        const std::wstring child = directory + L"\\" + name;
        SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (DirectoryExists(child)) {
            RemoveTree(child);
        } else {
            DeleteFileW(child.c_str());
        }
    }
    RemoveDirectoryW(directory.c_str());
}

std::string ReadBytes(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        throw std::runtime_error("cannot open a file to read");
    }
    std::string bytes;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
        bytes.append(buffer, read);
    }
    CloseHandle(file);
    return bytes;
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        throw std::runtime_error("cannot create a file to write");
    }
    DWORD written = 0;
    const BOOL ok =
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    if (!ok || written != bytes.size()) {
        throw std::runtime_error("cannot write a file");
    }
}

bool FileExists(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<std::wstring> ListDirectory(const std::wstring& directory) {
    std::vector<std::wstring> names;
    std::wstring pattern = directory;
    if (!pattern.empty() && pattern.back() != L'\\') {
        pattern += L'\\';
    }
    pattern += L'*';
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        const std::wstring name = data.cFileName;
        if (name != L"." && name != L"..") {
            names.push_back(name);
        }
    } while (FindNextFileW(find, &data));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

std::wstring BinDirectory() {
    wchar_t path[MAX_PATH * 4] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
    std::wstring text(path);
    return text.substr(0, text.rfind(L'\\') + 1);
}

std::wstring Utf8ToWide(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(size, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(),
                        size);
    return result;
}

std::map<std::wstring, std::wstring> TempAt(const std::wstring& directory) {
    return {{L"TMP", directory}, {L"TEMP", directory}};
}

ScopedEnvironment::ScopedEnvironment(const std::map<std::wstring, std::wstring>& variables) {
    for (const auto& [name, value] : variables) {
        wchar_t old[MAX_PATH] = {};
        saved_[name] = GetEnvironmentVariableW(name.c_str(), old, MAX_PATH) ? old : L"";
        SetEnvironmentVariableW(name.c_str(), value.empty() ? nullptr : value.c_str());
    }
}

ScopedEnvironment::~ScopedEnvironment() {
    for (const auto& [name, value] : saved_) {
        SetEnvironmentVariableW(name.c_str(), value.empty() ? nullptr : value.c_str());
    }
}

bool WaitUntil(const std::function<bool()>& condition, unsigned long milliseconds) {
    for (const ULONGLONG deadline = GetTickCount64() + milliseconds; GetTickCount64() < deadline;
         Sleep(10)) {
        if (condition()) {
            return true;
        }
    }
    return condition();
}
