#include "app/Setup.h"

#include <shellapi.h>

#include <array>
#include <cstdint>
#include <memory>
#include <numeric>
#include <vector>

#include "resources/ResourceIds.h"
#include "ui/Language.h"
#include "ui/Messages.h"
#include "common/UniqueHandle.h"
#include "log/Logger.h"
#include "package/PackageCreation.h"
#include "ui/ProgressWindow.h"
#include "payload/ExeImage.h"
#include "payload/SatelliteSet.h"
#include "workspace/ChildProcess.h"
#include "workspace/DeadWorkspaces.h"
#include "workspace/FreeSpace.h"
#include "workspace/ScopedFile.h"
#include "workspace/Workspace.h"
#include "workspace/WorkspaceLayout.h"

namespace {

constexpr wchar_t kFrameworkKey[] = L"SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v3.5";

bool FrameworkKeyPresent() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kFrameworkKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    UniqueRegistryKey owned(key);
    return true;
}

// The Windows Features program, by its full path: a bare name would be looked for in the
// folder the installer was started from (usually Downloads) before the system directory.
// With the redirection of 32-bit processes off, the system directory is the 64-bit one.
void StartWindowsFeatures() {
    PVOID redirection = nullptr;
    Wow64DisableWow64FsRedirection(&redirection);
    wchar_t system[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return;
    }
    const std::wstring program = std::wstring(system) + L"\\OptionalFeatures.exe";
    ShellExecuteW(nullptr, L"open", program.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void AnswerSetupFailure(bool started, DWORD exitCode) {
    if (!started) {
        ShowMessage(UiText(IDS_START_FAILED), MB_ICONERROR);
        return;
    }
    if (exitCode == 0 || FrameworkKeyPresent()) {
        return;
    }
    const int answer = ShowMessage(UiText(IDS_FRAMEWORK_QUESTION), MB_OKCANCEL | MB_ICONERROR);
    if (answer == IDOK) {
        StartWindowsFeatures();
    }
}

// The size of every file the layout copies; a resource that cannot be found counts
// nothing here and fails where it is copied.
std::vector<uint64_t> LayoutFileSizes(const ExeImage& image) {
    std::vector<uint64_t> sizes;
    for (const PayloadFile& payload : kPayloads) {
        sizes.push_back(image.ResourceSize(payload.resourceId));
    }
    for (const Satellite& satellite : kSatellites) {
        sizes.push_back(image.ResourceSize(satellite.resourceId));
    }
    return sizes;
}

int RunInstall(HINSTANCE instance, const std::wstring& workspace) {
    if (!IsSupportedWindows()) {
        ShowMessage(UiText(IDS_TOO_OLD), MB_ICONERROR);
        return 1;
    }
    // Released after the payloads and satellites: a window shown stays while they go. The
    // second counts from here, as loading the image reads the medium too.
    ProgressWindow progress(instance, UiText(IDS_PREPARING));
    ExeImage image;
    const std::vector<uint64_t> sizes = LayoutFileSizes(image);
    progress.SetTotal(std::accumulate(sizes.begin(), sizes.end(), uint64_t{0}));

    // Said before the first byte is written, rather than found hundreds of megabytes later.
    // The box names the temporary folder, which the user knows, not this run's own in it.
    if (const auto shortage = FindShortageIn(workspace, sizes)) {
        progress.Finish();
        ReportNoRoom(IDS_NO_ROOM_FOR_SETUP, ContainingFolder(ContainingFolder(workspace)),
                     shortage->neededBytes, shortage->freeBytes);
        return ERROR_DISK_FULL;
    }

    // Each payload's owner learns its path only once the copy has returned, so a
    // payload whose copy failed is never deleted by it. Each is locked at once, so that
    // what the setup UI runs and reads is what was written.
    std::array<ScopedFile, kPayloads.size()> payloadFiles;
    for (size_t i = 0; i < kPayloads.size(); ++i) {
        const std::wstring path = workspace + kPayloads[i].fileName;
        image.ExtractResource(kPayloads[i].resourceId, path, &progress);
        payloadFiles[i].path = path;
        payloadFiles[i].Lock();
    }

    SatelliteSet satellites(workspace, image, &progress);
    for (const Satellite& satellite : kSatellites) {
        satellites.AddSatellite(satellite.tag, satellite.resourceId);
    }
    progress.Finish();

    ChildProcess setupUi{workspace + kSetupUiFileName, L"/log=true", false};
    DWORD exitCode = 0xFFFFFFFF;
    const bool started = setupUi.RunAndWait(exitCode);
    AnswerSetupFailure(started, exitCode);
    // The setup UI's own code reaches the caller, a restart request (3010) as well as a
    // failure; a start that failed is reported with the system's reason for it.
    if (!started) {
        return setupUi.startError != 0 ? static_cast<int>(setupUi.startError)
                                       : ERROR_INSTALL_FAILURE;
    }
    return static_cast<int>(exitCode);
}

} // namespace

bool IsSupportedWindows() {
    OSVERSIONINFOEXW version{};
    version.dwOSVersionInfoSize = sizeof(version);
    version.dwMajorVersion = 6;
    version.dwMinorVersion = 1;
    version.wServicePackMajor = 1;
    DWORDLONG mask = 0;
    mask = VerSetConditionMask(mask, VER_MAJORVERSION, VER_GREATER_EQUAL);
    mask = VerSetConditionMask(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
    mask = VerSetConditionMask(mask, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
    return VerifyVersionInfoW(&version, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR,
                              mask) != FALSE;
}

int RunSetup(HINSTANCE instance, RunMode mode) {
    const std::wstring workspace = CreateWorkspace();
    OpenSetupLog(workspace);
    if (mode == RunMode::Extract || mode == RunMode::Defaults) {
        return RunPackageCreation(instance, mode == RunMode::Defaults);
    }
    const DeadWorkspaceSweep sweep(workspace);
    return RunInstall(instance, workspace);
}
