#include "package/PackageCreation.h"

#include <shellapi.h>

#include "common/SystemPaths.h"
#include "ui/ExtractDialog.h"
#include "ui/ExtractResultDialog.h"
#include "resources/ResourceIds.h"
#include "ui/Language.h"
#include "ui/Messages.h"
#include "ui/ProgressWindow.h"
#include "package/PropertyEditing.h"
#include "payload/ExeImage.h"
#include "workspace/FreeSpace.h"
#include "workspace/ScopedFile.h"
#include "workspace/Workspace.h"

namespace {

constexpr uint16_t kPackageResource = 135;

const wchar_t* Flag(bool value) {
    return value ? L"#1" : L"#0";
}

// 0 when there is no such file.
uint64_t ExistingFileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return 0;
    }
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

} // namespace

ExplorerCommand SelectInExplorer(const std::wstring& path) {
    return {WindowsDirectoryFile(L"explorer.exe"), L"/select,\"" + path + L"\""};
}

void ShowInExplorer(const std::wstring& path) {
    const ExplorerCommand command = SelectInExplorer(path);
    ShellExecuteW(nullptr, L"open", command.program.c_str(), command.parameters.c_str(), nullptr,
                  SW_SHOWNORMAL);
}

int RunPackageCreation(HINSTANCE instance, bool defaultsMode) {
    // Everything below is released in reverse order: the installer database is closed
    // before the scoped file may delete the package, and the image goes after that.
    ExtractDialog options(instance, defaultsMode);
    if (options.Show() != IDOK) {
        return 0;
    }
    const std::wstring installDir = options.installDir;
    const std::wstring packagePath = options.packagePath;
    const bool installDesktopShortcut = options.installDesktopShortcut;
    const bool noUpdateCheck = options.noUpdateCheck;
    const bool noEula = options.noEula;

    // Its bar is full while the package is edited and committed.
    ProgressWindow progress(instance, UiText(IDS_CREATING_PACKAGE));
    ExeImage image;
    const uint64_t packageSize = image.ResourceSize(kPackageResource);
    progress.SetTotal(packageSize);
    // The file a package replaces frees its space.
    const std::wstring folder = ContainingFolder(packagePath);
    if (const auto shortage =
            FindShortageIn(folder, {packageSize}, ExistingFileSize(packagePath))) {
        progress.Finish();
        ReportNoRoom(IDS_NO_ROOM_FOR_PACKAGE, folder, shortage->neededBytes, shortage->freeBytes);
        return ERROR_DISK_FULL;
    }
    ScopedFile package;
    image.ExtractResource(kPackageResource, packagePath, &progress);
    // From here on a failure deletes the package.
    package.path = packagePath;

    const MsiHandle database = OpenPackageDatabase(packagePath);
    const MsiHandle view = OpenPropertyView(database);
    if (!defaultsMode) {
        SetProperty(view.get(), L"NO_UPDATE_CHECK_PROPERTY", Flag(noUpdateCheck));
        SetProperty(view.get(), L"NO_EULA_PROPERTY", Flag(noEula));
    }
    SetProperty(view.get(), L"INSTALL_DESKTOP_SHORTCUT_PROPERTY", Flag(installDesktopShortcut));
    if (!installDir.empty()) {
        SetProperty(view.get(), L"INSTALL_DIR_PROPERTY", installDir);
    }
    CommitDatabase(database);
    // Cancel, even during the commit, deletes the package.
    progress.Finish();
    package.armed = false;

    ExtractResultDialog result(instance);
    if (result.Show() == IDOK && result.showInExplorer) {
        ShowInExplorer(packagePath);
    }
    return 0;
}
