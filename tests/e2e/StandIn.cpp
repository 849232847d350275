// A stand-in for a program that the bootstrapper lays out or starts. It appends one line
// to the file named by STANDIN_RECORD: its own path, its argument text and the names
// beside it, separated by tabs; then, when STANDIN_HOLD names an event, it sets the event
// of that name with "-started" appended and waits until the first is set (a minute at most). It
// exits with the code in STANDIN_EXIT_CODE, or else the one its first argument gives (decimal or 0x
// hexadecimal; "show": the show state it was started with; anything else: 0).
#include <windows.h>

#include <cwchar>
#include <string>

#include "TestFiles.h"

namespace {

std::wstring Variable(const wchar_t* name) {
    wchar_t value[MAX_PATH] = {};
    return GetEnvironmentVariableW(name, value, MAX_PATH) ? value : L"";
}

// The command line without the program's name, as the C runtime would pass it.
std::wstring ArgumentText() {
    const wchar_t* text = GetCommandLineW();
    bool quoted = false;
    while (*text && (quoted || *text > L' ')) {
        if (*text == L'"') {
            quoted = !quoted;
        }
        ++text;
    }
    while (*text && *text <= L' ') {
        ++text;
    }
    return text;
}

// The names of the files and directories beside the program, sorted, separated by blanks.
std::wstring NamesBeside(const std::wstring& self) {
    std::wstring text;
    for (const std::wstring& name : ListDirectory(self.substr(0, self.rfind(L'\\') + 1))) {
        text += (text.empty() ? L"" : L" ") + name;
    }
    return text;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const std::wstring record = Variable(L"STANDIN_RECORD");
    if (!record.empty()) {
        wchar_t self[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        const std::wstring line =
            std::wstring(self) + L"\t" + ArgumentText() + L"\t" + NamesBeside(self) + L"\n";
        const int size =
            WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, nullptr, 0, nullptr, nullptr);
        std::string bytes(size, '\0');
        WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, bytes.data(), size, nullptr, nullptr);
        // Several stand-ins may write; retry while another holds the file.
        for (int attempt = 0; attempt < 200; ++attempt) {
            HANDLE file = CreateFileW(record.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file != INVALID_HANDLE_VALUE) {
                DWORD written = 0;
                WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size() - 1), &written,
                          nullptr);
                CloseHandle(file);
                break;
            }
            Sleep(10);
        }
    }
    const std::wstring hold = Variable(L"STANDIN_HOLD");
    if (!hold.empty()) {
        HANDLE started = OpenEventW(EVENT_MODIFY_STATE, FALSE, (hold + L"-started").c_str());
        if (started) {
            SetEvent(started);
            CloseHandle(started);
        }
        HANDLE released = OpenEventW(SYNCHRONIZE, FALSE, hold.c_str());
        if (released) {
            WaitForSingleObject(released, 60000);
            CloseHandle(released);
        }
    }
    std::wstring code = Variable(L"STANDIN_EXIT_CODE");
    if (code.empty()) {
        code = ArgumentText();
    }
    if (code.rfind(L"show", 0) == 0) {
        STARTUPINFOW startup{};
        GetStartupInfoW(&startup);
        return startup.wShowWindow;
    }
    return static_cast<int>(std::wcstoul(code.c_str(), nullptr, 0));
}
