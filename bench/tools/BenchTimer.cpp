// Times programs started as separate processes in the same Wine as itself, so that Wine's
// own process start-up is counted the same way for every program compared.
//
//   benchtimer.exe <plan> <round> <results>
//
// The plan has one line per measurement: label, mode, program and argument text, separated
// by tabs (UTF-8). Each call is one round: it runs every line once, in plan order, so that
// the programs compared share the machine's state. Modes:
//   exit    process start to process end;
//   window  process start to the first visible top-level window of the process; the window's
//           OK button is then pressed and the end of the process waited for.
//   shown   process start to the first visible top-level window of the process, which is left
//           alone; part "end": process start to its end.
//   extract package creation driven through its dialogs: the install folder typed into the
//           option dialog (the fifth field), Create, the package path (the fourth field)
//           typed into Save As, Save; timed from process start to the result dialog, which
//           appears once the package is written and committed. The result dialog is then
//           closed without Explorer. The package path is deleted, untimed, before the start.
//           Parts: "options" (start to the option dialog), "save_as" (Create to Save As),
//           "work" (Save to the result dialog: the copy, the Property rows, the commit).
// Each run appends "round<TAB>label<TAB>milliseconds<TAB>exit code" to the results file.
//
//   benchtimer.exe --hold
//
// waits until it is killed: while one Windows process lives, Wine keeps its own service
// processes running, which would otherwise start again with the first program of every call
// and take the CPU from it.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "common/UniqueHandle.h"

namespace {

struct PlanLine {
    std::string label;
    std::string mode;
    std::wstring program;
    std::wstring arguments;
    std::vector<std::wstring> extra;
};

struct Outcome {
    double milliseconds = -1;
    DWORD exitCode = 0xFFFFFFFF;
    // Parts of the run, written as "<label>_<part>" lines.
    std::vector<std::pair<std::string, double>> parts;
};

std::wstring Wide(const std::string& text) {
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

std::vector<PlanLine> ReadPlan(const char* path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw std::runtime_error("cannot read the plan");
    }
    std::vector<PlanLine> plan;
    for (std::string line; std::getline(file, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::vector<std::string> fields;
        std::stringstream parts(line);
        for (std::string field; std::getline(parts, field, '\t');) {
            fields.push_back(field);
        }
        if (fields.size() < 3) {
            throw std::runtime_error("plan line without label, mode and program: " + line);
        }
        PlanLine entry{fields[0],
                       fields[1],
                       Wide(fields[2]),
                       fields.size() > 3 ? Wide(fields[3]) : std::wstring(),
                       {}};
        for (size_t i = 4; i < fields.size(); ++i) {
            entry.extra.push_back(Wide(fields[i]));
        }
        plan.push_back(entry);
    }
    return plan;
}

class Clock {
  public:
    Clock() {
        LARGE_INTEGER frequency{};
        QueryPerformanceFrequency(&frequency);
        frequency_ = static_cast<double>(frequency.QuadPart);
        QueryPerformanceCounter(&start_);
    }
    double Elapsed() const {
        LARGE_INTEGER now{};
        QueryPerformanceCounter(&now);
        return static_cast<double>(now.QuadPart - start_.QuadPart) * 1000.0 / frequency_;
    }

  private:
    double frequency_ = 1;
    LARGE_INTEGER start_{};
};

// A started program; killed if still running when the object goes.
class Process {
  public:
    Process(const std::wstring& program, const std::wstring& arguments) {
        std::wstring commandLine = L"\"" + program + L"\"";
        if (!arguments.empty()) {
            commandLine += L" " + arguments;
        }
        std::vector<wchar_t> mutableLine(commandLine.begin(), commandLine.end());
        mutableLine.push_back(L'\0');
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        if (!CreateProcessW(program.c_str(), mutableLine.data(), nullptr, nullptr, FALSE, 0,
                            nullptr, nullptr, &startup, &info)) {
            throw std::runtime_error("CreateProcessW failed");
        }
        CloseHandle(info.hThread);
        process_.reset(info.hProcess);
        id_ = info.dwProcessId;
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process() {
        if (WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_.get(), 0xDEAD);
            WaitForSingleObject(process_.get(), 5000);
        }
    }

    DWORD id() const { return id_; }
    bool Wait(DWORD milliseconds) const {
        return WaitForSingleObject(process_.get(), milliseconds) == WAIT_OBJECT_0;
    }
    bool Ended() const { return Wait(0); }
    DWORD ExitCode() const {
        DWORD code = 0xFFFFFFFF;
        GetExitCodeProcess(process_.get(), &code);
        return code;
    }

  private:
    UniqueKernelHandle process_;
    DWORD id_ = 0;
};

struct WindowSearch {
    DWORD processId;
    int controlId; // 0: any window
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !IsWindowVisible(window)) {
        return TRUE;
    }
    if (search->controlId != 0 && GetDlgItem(window, search->controlId) == nullptr) {
        return TRUE;
    }
    search->found = window;
    return FALSE;
}

// A visible top-level window of the process, holding a control with the id when one is given.
HWND VisibleWindowOf(DWORD processId, int controlId = 0) {
    WindowSearch search{processId, controlId, nullptr};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

constexpr DWORD kRunLimit = 600000;
constexpr double kWindowLimit = 60000;

Outcome TimeToExit(const PlanLine& line) {
    const Clock clock;
    Process process(line.program, line.arguments);
    if (!process.Wait(kRunLimit)) {
        return {};
    }
    return {clock.Elapsed(), process.ExitCode(), {}};
}

Outcome TimeToWindow(const PlanLine& line) {
    const Clock clock;
    Process process(line.program, line.arguments);
    HWND window = nullptr;
    // Polled every millisecond: the resolution of the measurement.
    while ((window = VisibleWindowOf(process.id())) == nullptr) {
        if (process.Ended() || clock.Elapsed() > kWindowLimit) {
            return {};
        }
        Sleep(1);
    }
    Outcome outcome{clock.Elapsed(), 0, {}};
    HWND ok = GetDlgItem(window, IDOK);
    if (ok) {
        PostMessageW(ok, BM_CLICK, 0, 0);
    } else {
        PostMessageW(window, WM_CLOSE, 0, 0);
    }
    if (!process.Wait(30000)) {
        return {};
    }
    outcome.exitCode = process.ExitCode();
    return outcome;
}

Outcome TimeToWindowAndEnd(const PlanLine& line) {
    const Clock clock;
    Process process(line.program, line.arguments);
    while (VisibleWindowOf(process.id()) == nullptr) {
        if (process.Ended() || clock.Elapsed() > kRunLimit) {
            return {};
        }
        Sleep(1);
    }
    Outcome outcome{clock.Elapsed(), 0, {}};
    if (!process.Wait(kRunLimit)) {
        return {};
    }
    outcome.parts = {{"end", clock.Elapsed()}};
    outcome.exitCode = process.ExitCode();
    return outcome;
}

// Option dialog, Save As and result dialog of package creation.
constexpr int kCreateButton = 1011;
constexpr int kInstallFolder = 1012;
constexpr int kShowInExplorer = 1014;
constexpr int kSaveAsFileName = 1148;

HWND WaitForDialog(const Process& process, int controlId, const Clock& clock) {
    for (;;) {
        if (HWND window = VisibleWindowOf(process.id(), controlId)) {
            return window;
        }
        if (process.Ended() || clock.Elapsed() > kRunLimit) {
            throw std::runtime_error("the dialog did not appear");
        }
        Sleep(1);
    }
}

void SetText(HWND control, const std::wstring& text) {
    SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

Outcome TimePackageCreation(const PlanLine& line) {
    if (line.extra.size() < 2) {
        throw std::runtime_error("extract needs the package path and the install folder");
    }
    const std::wstring& package = line.extra[0];
    DeleteFileW(package.c_str());

    const Clock clock;
    Process process(line.program, line.arguments);
    HWND options = WaitForDialog(process, kCreateButton, clock);
    const double optionsShown = clock.Elapsed();
    SetText(GetDlgItem(options, kInstallFolder), line.extra[1]);
    const double createPressed = clock.Elapsed();
    PostMessageW(GetDlgItem(options, kCreateButton), BM_CLICK, 0, 0);

    HWND saveAs = WaitForDialog(process, kSaveAsFileName, clock);
    const double saveAsShown = clock.Elapsed();
    SetText(GetDlgItem(saveAs, kSaveAsFileName), package);
    const double savePressed = clock.Elapsed();
    PostMessageW(GetDlgItem(saveAs, IDOK), BM_CLICK, 0, 0);

    HWND result = WaitForDialog(process, kShowInExplorer, clock);
    Outcome outcome{clock.Elapsed(), 0, {}};
    outcome.parts = {{"options", optionsShown},
                     {"save_as", saveAsShown - createPressed},
                     {"work", outcome.milliseconds - savePressed}};
    SendMessageW(GetDlgItem(result, kShowInExplorer), BM_SETCHECK, BST_UNCHECKED, 0);
    PostMessageW(GetDlgItem(result, IDOK), BM_CLICK, 0, 0);
    if (!process.Wait(30000)) {
        return {};
    }
    outcome.exitCode = process.ExitCode();
    if (GetFileAttributesW(package.c_str()) == INVALID_FILE_ATTRIBUTES) {
        throw std::runtime_error("no package was written");
    }
    return outcome;
}

Outcome Measure(const PlanLine& line) {
    if (line.mode == "extract") {
        return TimePackageCreation(line);
    }
    if (line.mode == "exit") {
        return TimeToExit(line);
    }
    if (line.mode == "window") {
        return TimeToWindow(line);
    }
    if (line.mode == "shown") {
        return TimeToWindowAndEnd(line);
    }
    throw std::runtime_error("unknown mode " + line.mode);
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "--hold") {
        Sleep(INFINITE);
        return 0;
    }
    if (argc != 4) {
        std::fprintf(stderr, "usage: benchtimer <plan> <round> <results>\n");
        return 2;
    }
    try {
        const std::vector<PlanLine> plan = ReadPlan(argv[1]);
        const int round = std::atoi(argv[2]);
        std::ofstream results(argv[3], std::ios::app);
        // Let the start of this process settle before the first measurement.
        Sleep(500);
        for (const PlanLine& line : plan) {
            Outcome outcome;
            try {
                outcome = Measure(line);
            } catch (const std::runtime_error& error) {
                std::fprintf(stderr, "benchtimer: %s: %s\n", line.label.c_str(), error.what());
            }
            results << round << '\t' << line.label << '\t' << outcome.milliseconds << '\t'
                    << outcome.exitCode << std::endl;
            for (const auto& [part, milliseconds] : outcome.parts) {
                results << round << '\t' << line.label << '_' << part << '\t' << milliseconds
                        << '\t' << outcome.exitCode << std::endl;
            }
            std::printf("round %d %-24s %10.1f ms  exit %lu\n", round, line.label.c_str(),
                        outcome.milliseconds, static_cast<unsigned long>(outcome.exitCode));
            std::fflush(stdout);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "benchtimer: %s\n", error.what());
        return 1;
    }
    return 0;
}
