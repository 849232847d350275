#include "Driver.h"

#include "log/Logger.h"
#include "payload/Extraction.h"

#include <imagehlp.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <vector>

namespace {

std::vector<wchar_t> BuildEnvironment(const std::map<std::wstring, std::wstring>& overrides) {
    // The parent's variables with the overridden names replaced (names compare without
    // case on Windows), keyed by the upper-case name; an empty value removes a variable.
    std::map<std::wstring, std::wstring> entries;
    auto add = [&entries](const std::wstring& name, const std::wstring& value) {
        std::wstring key = name;
        CharUpperW(key.data());
        value.empty() ? void(entries.erase(key)) : void(entries[key] = name + L"=" + value);
    };
    LPWCH block = GetEnvironmentStringsW();
    for (const wchar_t* entry = block; *entry; entry += wcslen(entry) + 1) {
        const std::wstring text(entry);
        const auto equals = text.find(L'=', 1);
        if (equals != std::wstring::npos) {
            add(text.substr(0, equals), text.substr(equals + 1));
        }
    }
    FreeEnvironmentStringsW(block);
    for (const auto& [name, value] : overrides) {
        add(name, value);
    }
    std::vector<wchar_t> result;
    for (const auto& [key, entry] : entries) {
        result.insert(result.end(), entry.c_str(), entry.c_str() + entry.size() + 1);
    }
    result.push_back(L'\0');
    return result;
}

struct WindowSearch {
    DWORD processId;
    const std::function<bool(HWND)>* matches;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if ((search->processId != 0 && owner != search->processId) || !IsWindowVisible(window) ||
        !(*search->matches)(window)) {
        return TRUE;
    }
    search->found = window;
    return FALSE;
}

std::function<bool(HWND)> ClassAndCaption(const std::wstring& className,
                                          const std::wstring& caption) {
    return [className, caption](HWND window) {
        return WindowClass(window) == className &&
               (caption.empty() || WindowText(window) == caption);
    };
}

} // namespace

bool IsDirectoryLink(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool RunUnixUntil(const std::wstring& folder, const std::wstring& program, std::wstring commandLine,
                  const std::wstring& name, bool linked) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                       folder.c_str(), &startup, &info)) {
        for (HANDLE handle : {info.hThread, info.hProcess}) {
            if (handle) {
                CloseHandle(handle);
            }
        }
    }
    return WaitUntil([&] { return IsDirectoryLink(folder + name) == linked; });
}

DWORD Msiexec(const std::wstring& arguments) {
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    Launched msiexec(std::wstring(system) + L"\\msiexec.exe", arguments);
    return msiexec.ExitCode(120000);
}

std::wstring BuiltProgram(const std::wstring& name) {
    return BinDirectory() + name;
}

void WriteDamagedCopy(const std::wstring& program, uint16_t id, const std::wstring& copy) {
    LOADED_IMAGE* image = ImageLoad(WideToUtf8(program).c_str(), nullptr);
    ASSERT_NE(image, nullptr);
    const ResourceLocation resource = LocateResource(image, id);
    ImageUnload(image);
    ASSERT_GT(resource.size, 0u);
    std::string bytes = ReadBytes(program);
    bytes[resource.position + resource.size / 2] ^= 0x20;
    WriteBytes(copy, bytes);
}

Launched::Launched(const std::wstring& program, const std::wstring& arguments,
                   const std::map<std::wstring, std::wstring>& environment,
                   const std::wstring& currentDirectory) {
    std::wstring commandLine = L"\"" + program + L"\"";
    if (!arguments.empty()) {
        commandLine += L" " + arguments;
    }
    std::vector<wchar_t> mutableLine(commandLine.begin(), commandLine.end());
    mutableLine.push_back(L'\0');
    std::vector<wchar_t> block = BuildEnvironment(environment);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    // Wine starts its desktop process for the first process that asks for a window; it is
    // started here, so that it is never counted among the program's processes.
    GetDesktopWindow();
    job_.reset(CreateJobObjectW(nullptr, nullptr));
    jobEvents_.reset(CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1));
    JOBOBJECT_ASSOCIATE_COMPLETION_PORT association{job_.get(), jobEvents_.get()};
    if (!job_ || !jobEvents_ ||
        !SetInformationJobObject(job_.get(), JobObjectAssociateCompletionPortInformation,
                                 &association, sizeof(association))) {
        ADD_FAILURE() << "the job cannot report to its port: " << GetLastError();
    }
    if (!CreateProcessW(program.c_str(), mutableLine.data(), nullptr, nullptr, FALSE,
                        CREATE_UNICODE_ENVIRONMENT | CREATE_SUSPENDED, block.data(),
                        currentDirectory.empty() ? nullptr : currentDirectory.c_str(), &startup,
                        &info)) {
        ADD_FAILURE() << "CreateProcessW failed with " << GetLastError();
        return;
    }
    if (!AssignProcessToJobObject(job_.get(), info.hProcess)) {
        ADD_FAILURE() << "AssignProcessToJobObject failed with " << GetLastError();
    }
    ResumeThread(info.hThread);
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    processId_ = info.dwProcessId;
}

Launched::~Launched() {
    if (process_) {
        if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_, 0xDEAD);
            WaitForSingleObject(process_, 5000);
        }
        CloseHandle(process_);
    }
}

namespace {

JOBOBJECT_BASIC_ACCOUNTING_INFORMATION Accounting(HANDLE job) {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
    if (!job || !QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &accounting,
                                           sizeof(accounting), nullptr)) {
        ADD_FAILURE() << "QueryInformationJobObject failed with " << GetLastError();
    }
    return accounting;
}

} // namespace

DWORD Launched::ProcessesStarted() const {
    return Accounting(job_.get()).TotalProcesses;
}

bool Launched::WaitForEveryProcess(DWORD milliseconds) {
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    DWORD event = 0;
    ULONG_PTR key = 0;
    LPOVERLAPPED overlapped = nullptr;
    while (Accounting(job_.get()).ActiveProcesses > 0) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline ||
            (!GetQueuedCompletionStatus(jobEvents_.get(), &event, &key, &overlapped,
                                        static_cast<DWORD>(deadline - now)) &&
             overlapped == nullptr)) {
            return false;
        }
    }
    return true;
}

bool Launched::Kill(bool everyProcess) {
    if (everyProcess) {
        return TerminateJobObject(job_.get(), 0xDEAD) && WaitForEveryProcess();
    }
    return process_ && TerminateProcess(process_, 0xDEAD) && Wait(60000);
}

bool Launched::Wait(DWORD milliseconds) {
    return process_ && WaitForSingleObject(process_, milliseconds) == WAIT_OBJECT_0;
}

DWORD Launched::ExitCode(DWORD milliseconds) {
    if (!Wait(milliseconds)) {
        ADD_FAILURE() << "the process did not end in time";
        return 0xDEAD;
    }
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    return code;
}

HWND WaitForWindowWhere(DWORD processId, const std::function<bool(HWND)>& matches,
                        DWORD milliseconds) {
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    do {
        WindowSearch search{processId, &matches, nullptr};
        EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found) {
            return search.found;
        }
        Sleep(50);
    } while (GetTickCount64() < deadline);
    return nullptr;
}

std::wstring WindowClass(HWND window) {
    wchar_t className[256] = {};
    GetClassNameW(window, className, 256);
    return className;
}

HWND WaitForWindow(DWORD processId, const std::wstring& className, const std::wstring& caption,
                   DWORD milliseconds) {
    return processId
               ? WaitForWindowWhere(processId, ClassAndCaption(className, caption), milliseconds)
               : nullptr;
}

std::wstring WindowText(HWND window) {
    // WM_GETTEXT is marshalled across processes, unlike most messages with buffers.
    const LRESULT length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT copied =
        SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(copied));
    return text;
}

std::wstring MessageBoxText(HWND box) {
    HWND label = GetDlgItem(box, 0xFFFF);
    return label ? WindowText(label) : std::wstring();
}

std::vector<int> ButtonIds(HWND dialog) {
    std::vector<int> ids;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t className[64] = {};
        GetClassNameW(child, className, 64);
        const LONG style = GetWindowLongW(child, GWL_STYLE);
        const LONG kind = style & BS_TYPEMASK;
        if (std::wstring(className) == L"Button" && IsWindowVisible(child) &&
            (kind == BS_PUSHBUTTON || kind == BS_DEFPUSHBUTTON)) {
            ids.push_back(GetDlgCtrlID(child));
        }
    }
    return ids;
}

namespace {

// The pixels of a screen rectangle, as 32-bit BGRX values.
std::vector<DWORD> Capture(HDC source, int x, int y, int width, int height) {
    HDC memory = CreateCompatibleDC(source);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, source, x, y, SRCCOPY);
    GdiFlush();
    std::vector<DWORD> pixels(static_cast<const DWORD*>(bits),
                              static_cast<const DWORD*>(bits) + width * height);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    return pixels;
}

// The same icon drawn here over the given background colour.
std::vector<DWORD> Render(HICON icon, int width, int height, COLORREF background) {
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    HBRUSH brush = CreateSolidBrush(background);
    RECT all{0, 0, width, height};
    FillRect(memory, &all, brush);
    DeleteObject(brush);
    DrawIconEx(memory, 0, 0, icon, width, height, 0, nullptr, DI_NORMAL);
    std::vector<DWORD> pixels = Capture(memory, 0, 0, width, height);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

long long Distance(const std::vector<DWORD>& a, const std::vector<DWORD>& b) {
    long long sum = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        for (int shift = 0; shift < 24; shift += 8) {
            sum += std::abs(static_cast<int>((a[i] >> shift) & 0xFF) -
                            static_cast<int>((b[i] >> shift) & 0xFF));
        }
    }
    return sum;
}

UINT CaptureMessageBoxIcon(HWND box) {
    // Icon handles are not shared between processes, so the icon is told by its pixels:
    // the box is raised, its icon control copied from the screen and compared with each
    // system icon drawn here.
    HWND iconControl = GetDlgItem(box, 0x14); // Windows
    if (!iconControl) {
        iconControl = GetDlgItem(box, 0x440); // Wine
    }
    if (!iconControl || !IsWindowVisible(iconControl)) {
        return 0;
    }
    SetWindowPos(box, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    RedrawWindow(box, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    RECT rect{};
    GetWindowRect(iconControl, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    HDC screen = GetDC(nullptr);
    const std::vector<DWORD> shown = Capture(screen, rect.left, rect.top, width, height);
    ReleaseDC(nullptr, screen);
    if (shown.empty()) {
        return 0;
    }
    const DWORD corner = shown.front();
    const COLORREF background = RGB((corner >> 16) & 0xFF, (corner >> 8) & 0xFF, corner & 0xFF);

    const struct {
        LPCWSTR id;
        UINT style;
    } icons[] = {{IDI_ASTERISK, MB_ICONINFORMATION},
                 {IDI_HAND, MB_ICONERROR},
                 {IDI_EXCLAMATION, MB_ICONWARNING},
                 {IDI_QUESTION, MB_ICONQUESTION}};
    UINT best = 0;
    long long bestDistance = -1;
    for (const auto& icon : icons) {
        const long long distance =
            Distance(shown, Render(LoadIconW(nullptr, icon.id), width, height, background));
        if (bestDistance < 0 || distance < bestDistance) {
            bestDistance = distance;
            best = icon.style;
        }
    }
    // A blank control matches no icon well.
    const long long blank = Distance(shown, std::vector<DWORD>(shown.size(), corner));
    return bestDistance * 4 < blank ? best : 0;
}

} // namespace

UINT MessageBoxIcon(HWND box) {
    // The box is drawn by its own process, in its own time: the icon counts once two
    // looks in a row agree on it.
    const ULONGLONG deadline = GetTickCount64() + 20000;
    UINT previous = 0;
    for (;;) {
        const UINT icon = CaptureMessageBoxIcon(box);
        if (icon != 0 && icon == previous) {
            return icon;
        }
        if (GetTickCount64() >= deadline) {
            return 0;
        }
        previous = icon;
        Sleep(100);
    }
}
