// Drives the bootstrapper's windows as a user would and saves each as a bitmap, for the
// pictures of the README (scripts/render-pictures.sh turns them into PNG files).
// Usage: ui_pictures <output directory>
#include "ui/ProgressWindow.h"
#include "resources/ResourceIds.h"

#include "Driver.h"
#include "PackageDriver.h"
#include "TestFiles.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::wstring output;
int failures = 0;

void Fail(const char* what) {
    std::fprintf(stderr, "ui_pictures: %s\n", what);
    ++failures;
}

// The window as it is on the screen, raised and repainted first, as a 24-bit bitmap file.
void Save(HWND window, const wchar_t* name) {
    if (!window) {
        Fail("a window to picture did not appear");
        return;
    }
    SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    Sleep(400);
    RECT rect{};
    GetWindowRect(window, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    const int stride = (width * 3 + 3) & ~3;

    BITMAPINFOHEADER header{};
    header.biSize = sizeof(header);
    header.biWidth = width;
    header.biHeight = -height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, reinterpret_cast<BITMAPINFO*>(&header),
                                      DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    GdiFlush();

    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(header);
    file.bfSize = file.bfOffBits + static_cast<DWORD>(stride * height);
    std::string bytes(reinterpret_cast<const char*>(&file), sizeof(file));
    bytes.append(reinterpret_cast<const char*>(&header), sizeof(header));
    bytes.append(static_cast<const char*>(bits), static_cast<size_t>(stride * height));
    WriteBytes(output + name, bytes);

    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

// Presses Create and saves the package into the run's folder.
bool Create(SetupRun& run, HWND options) {
    Click(options, IDC_CREATE);
    if (!ChooseSaveFile(run.setup.id(), run.temp / L"Orvanta.msi")) {
        Fail("no save dialog");
        return false;
    }
    return true;
}

void ExtractFlow() {
    SetupRun run(L"PackageSetup", L"/extract");
    HWND options = run.Window(kOptions);
    Save(options, L"extract-options.bmp");
    if (!options) {
        return;
    }
    Click(options, IDC_NO_EULA);
    HWND agreement = run.Window(L"Licence Agreement");
    Save(agreement, L"licence-agreement.bmp");
    Click(agreement, IDOK);
    Sleep(300);
    SendMessageW(GetDlgItem(options, IDC_DESKTOP_SHORTCUT), BM_CLICK, 0, 0);
    if (!Create(run, options)) {
        return;
    }
    HWND result = run.Result();
    Save(result, L"package-created.bmp");
    Click(result, IDCANCEL);
    run.setup.Wait(20000);
}

// The first window of a run, pictured and closed with the button.
void FirstWindow(const wchar_t* variant, const wchar_t* arguments, const std::wstring& caption,
                 const wchar_t* name, int button) {
    SetupRun run(variant, arguments);
    HWND window = run.Window(caption);
    Save(window, name);
    Click(window, button);
    run.setup.Wait(20000);
}

void ExceptionBox() {
    SetupRun run(L"NotAPackageSetup", L"/extract");
    HWND options = run.Window(kOptions);
    if (!options) {
        Fail("no option dialog");
        return;
    }
    if (!Create(run, options)) {
        return;
    }
    HWND box = run.Window(L"Orvanta Setup");
    Save(box, L"exception-message.bmp");
    Click(box, IDOK);
    run.setup.Wait(20000);
}

// The progress window of a slow layout, shown by this program, which carries the
// bootstrapper's resources: a real slow medium needs root.
void ProgressPicture() {
    ProgressWindow progress(GetModuleHandleW(nullptr), L"Preparing setup...");
    progress.SetTotal(1000);
    progress.Copied(450);
    Save(WaitForWindowWhere(GetCurrentProcessId(),
                            [](HWND window) { return GetDlgItem(window, IDC_PROGRESS_BAR); }),
         L"progress.bmp");
    progress.Finish();
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: ui_pictures <output directory>\n");
        return 2;
    }
    output = argv[1];
    if (output.back() != L'\\') {
        output += L'\\';
    }
    ExtractFlow();
    FirstWindow(L"PackageSetup", L"/defaults", kOptions, L"defaults-options.bmp", IDCANCEL);
    FirstWindow(L"OrvantaSetup", L"/help", L"Orvanta Vellumo Setup", L"help-message.bmp", IDOK);
    ExceptionBox();
    ProgressPicture();
    return failures == 0 ? 0 : 1;
}
