#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

// A fresh directory under the temporary directory, removed with everything in it when
// the object goes. The path ends in a backslash.
class TempDir {
  public:
    // Made in the parent (ending in a backslash), or in the temporary directory.
    explicit TempDir(const std::wstring& label = L"t", const std::wstring& parent = {});
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir();

    const std::wstring& path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + name; }

  private:
    std::wstring path_;
};

void RemoveTree(const std::wstring& path);

std::string ReadBytes(const std::wstring& path);
void WriteBytes(const std::wstring& path, const std::string& bytes);
bool FileExists(const std::wstring& path);
bool DirectoryExists(const std::wstring& path);

// Names of the entries of a directory, without "." and "..", sorted.
std::vector<std::wstring> ListDirectory(const std::wstring& directory);

// The directory of the running test executable, ending in a backslash; the build puts
// every test program and every variant of the bootstrapper there.
std::wstring BinDirectory();

std::wstring Utf8ToWide(const std::string& text);

// Environment overrides that give a program its own temporary directory.
std::map<std::wstring, std::wstring> TempAt(const std::wstring& directory);

// Whether the condition comes true within the time, asked every 10 ms: long enough by default
// for 32-bit code under emulation on a busy machine.
bool WaitUntil(const std::function<bool()>& condition, unsigned long milliseconds = 60000);

// Sets environment variables of this process for the length of a scope (an empty value
// removes one), then puts back what was there.
class ScopedEnvironment {
  public:
    explicit ScopedEnvironment(const std::map<std::wstring, std::wstring>& variables);
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
    ~ScopedEnvironment();

  private:
    std::map<std::wstring, std::wstring> saved_;
};
