// Drives the bootstrapper's windows as a user would and saves each as a bitmap, for the
// pictures of the README (scripts/render-pictures.sh turns them into PNG files).
// Usage: ui_pictures <output directory> [de | ja]
// With a language, only the progress window and the option dialog of /extract, in that
// language: run it under that language's LC_ALL, which the bootstrapper it starts inherits.
#include "ui/Language.h"
#include "ui/LanguageRule.h"
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

// A language pictured besides English: the product language the process must have chosen
// from its LC_ALL (it also names the pictures), and texts of its own that show the windows
// really are in it.
struct PictureLanguage {
    const wchar_t* productLanguage;
    const wchar_t* optionsCaption;
    const wchar_t* cancel;
};

const PictureLanguage kLanguages[] = {
    {L"de", L"Paket für unbeaufsichtigte Installation erstellen", L"Abbrechen"},
    {L"ja", L"サイレント インストール用パッケージの作成", L"キャンセル"},
};

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
void ProgressPicture(const std::wstring& text, const std::wstring& cancel, const wchar_t* name) {
    ProgressWindow progress(GetModuleHandleW(nullptr), text);
    progress.SetTotal(1000);
    progress.Copied(450);
    HWND window = WaitForWindowWhere(GetCurrentProcessId(), [](HWND window) {
        return GetDlgItem(window, IDC_PROGRESS_BAR) != nullptr;
    });
    if (window && WindowText(GetDlgItem(window, IDCANCEL)) != cancel) {
        Fail("the progress window is not in the language asked for");
    }
    Save(window, name);
    progress.Finish();
}

// The option dialog of /extract, found by its caption in the language, then cancelled.
void OptionsPicture(const PictureLanguage& language, const std::wstring& name) {
    SetupRun run(L"PackageSetup", L"/extract");
    HWND options = run.Window(language.optionsCaption);
    if (!options) {
        Fail("no option dialog in the language asked for");
        return;
    }
    if (WindowText(GetDlgItem(options, IDCANCEL)) != language.cancel) {
        Fail("the option dialog's buttons are not in the language asked for");
    }
    Save(options, name.c_str());
    Click(options, IDCANCEL);
    run.setup.Wait(20000);
}

// The process chooses its language as the bootstrapper does, so a wrong LC_ALL shows here
// rather than as English pictures under another language's name.
void LanguagePictures(const std::wstring& productLanguage) {
    const PictureLanguage* language = nullptr;
    for (const PictureLanguage& candidate : kLanguages) {
        language = productLanguage == candidate.productLanguage ? &candidate : language;
    }
    if (!language) {
        Fail("no pictures are made in that language");
        return;
    }
    if (ProductLanguageFor(UserUiLanguage()) != productLanguage) {
        Fail("this process's user language is another one: run it under that language's LC_ALL");
        return;
    }
    SetUiLanguage(productLanguage);
    ProgressPicture(UiText(IDS_PREPARING), language->cancel,
                    (L"progress-" + productLanguage + L".bmp").c_str());
    OptionsPicture(*language, L"extract-options-" + productLanguage + L".bmp");
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: ui_pictures <output directory> [de | ja]\n");
        return 2;
    }
    output = argv[1];
    if (output.back() != L'\\') {
        output += L'\\';
    }
    if (argc == 3) {
        LanguagePictures(argv[2]);
        return failures == 0 ? 0 : 1;
    }
    ExtractFlow();
    FirstWindow(L"PackageSetup", L"/defaults", kOptions, L"defaults-options.bmp", IDCANCEL);
    FirstWindow(L"OrvantaSetup", L"/help", L"Orvanta Vellumo Setup", L"help-message.bmp", IDOK);
    ExceptionBox();
    ProgressPicture(L"Preparing setup...", L"Cancel", L"progress.bmp");
    return failures == 0 ? 0 : 1;
}
