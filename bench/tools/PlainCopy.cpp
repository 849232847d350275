// The install run's file work done plainly: copies every file of a directory tree into a new
// directory under %TEMP% with ReadFile/WriteFile through one 1 MiB buffer, then deletes every
// file and directory it made (unless /keep is given, for comparing with a program that keeps
// what it wrote). Exit code 0 on success, 1 on any failure.
//
//   plaincopy.exe [/keep] <source directory>
#include <windows.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/UniqueHandle.h"

namespace {

constexpr DWORD kChunkSize = 1024 * 1024;

void CopyFileChunked(const std::wstring& from, const std::wstring& to, std::vector<char>& buffer) {
    UniqueFileHandle source(CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!source) {
        throw std::runtime_error("open source");
    }
    UniqueFileHandle target(CreateFileW(to.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!target) {
        throw std::runtime_error("create target");
    }
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(source.get(), buffer.data(), kChunkSize, &read, nullptr)) {
            throw std::runtime_error("read");
        }
        if (read == 0) {
            return;
        }
        DWORD written = 0;
        if (!WriteFile(target.get(), buffer.data(), read, &written, nullptr) || written != read) {
            throw std::runtime_error("write");
        }
    }
}

// Copies the tree below `from` into `to` (which exists); records what it made, in order.
void CopyTree(const std::wstring& from, const std::wstring& to, std::vector<char>& buffer,
              std::vector<std::wstring>& files, std::vector<std::wstring>& directories) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((from + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        throw std::runtime_error("list source");
    }
    std::vector<WIN32_FIND_DATAW> entries;
    do {
        entries.push_back(data);
    } while (FindNextFileW(find, &data));
    FindClose(find);

    for (const WIN32_FIND_DATAW& entry : entries) {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") {
            continue;
        }
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            const std::wstring directory = to + L"\\" + name;
            if (!CreateDirectoryW(directory.c_str(), nullptr)) {
                throw std::runtime_error("create directory");
            }
            directories.push_back(directory);
            CopyTree(from + L"\\" + name, directory, buffer, files, directories);
        } else {
            files.push_back(to + L"\\" + name);
            CopyFileChunked(from + L"\\" + name, files.back(), buffer);
        }
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR arguments, int) {
    try {
        std::wstring source = arguments ? arguments : L"";
        const std::wstring keepSwitch = L"/keep ";
        const bool keep = source.compare(0, keepSwitch.size(), keepSwitch) == 0;
        if (keep) {
            source.erase(0, keepSwitch.size());
        }
        source.erase(std::remove(source.begin(), source.end(), L'"'), source.end());
        if (source.empty()) {
            return 1;
        }
        wchar_t temp[MAX_PATH] = {};
        if (GetTempPathW(MAX_PATH, temp) == 0) {
            return 1;
        }
        const std::wstring target = std::wstring(temp) + L"PlainCopy-" +
                                    std::to_wstring(GetCurrentProcessId()) + L"-" +
                                    std::to_wstring(GetTickCount64());
        if (!CreateDirectoryW(target.c_str(), nullptr)) {
            return 1;
        }
        std::vector<std::wstring> files;
        std::vector<std::wstring> directories{target};
        {
            std::vector<char> buffer(kChunkSize);
            CopyTree(source, target, buffer, files, directories);
        }
        if (keep) {
            return 0;
        }
        bool removed = true;
        for (auto file = files.rbegin(); file != files.rend(); ++file) {
            removed = DeleteFileW(file->c_str()) && removed;
        }
        for (auto directory = directories.rbegin(); directory != directories.rend(); ++directory) {
            removed = RemoveDirectoryW(directory->c_str()) && removed;
        }
        return removed ? 0 : 1;
    } catch (const std::exception&) {
        return 1;
    }
}
