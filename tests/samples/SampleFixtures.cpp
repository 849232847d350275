#include "SampleFixtures.h"

#include "Driver.h"
#include "PackageFiles.h"
#include "package/PropertyEditing.h"

#include <gtest/gtest.h>
#include <msi.h>
#include <msiquery.h>
#include <shlobj.h>

#include <stdexcept>

namespace {

void CopyOrThrow(const std::wstring& from, const std::wstring& to) {
    if (!CopyFileW(from.c_str(), to.c_str(), FALSE)) {
        throw std::runtime_error("CopyFile failed");
    }
}

} // namespace

std::wstring SampleLayout() {
    return BinDirectory() + L"..\\payloads\\";
}

const std::vector<std::wstring>& SatelliteTags() {
    static const std::vector<std::wstring> tags{L"de", L"en-US", L"es", L"fr",     L"it",
                                                L"ja", L"pt-BR", L"ru", L"zh-Hans"};
    return tags;
}

void CopySampleLayout(const std::wstring& directory) {
    for (const wchar_t* name :
         {L"Orvanta.msi", L"DotNet.exe", L"SetupUI.exe", L"SetupUI.exe.config"}) {
        CopyOrThrow(SampleLayout() + name, directory + name);
    }
    for (const std::wstring& tag : SatelliteTags()) {
        CreateDirectoryW((directory + tag).c_str(), nullptr);
        CopyOrThrow(SampleLayout() + tag + L"\\SetupUI.resources.dll",
                    directory + tag + L"\\SetupUI.resources.dll");
    }
}

ProductSandbox::ProductSandbox()
    : desktopFolder_(HKEY_CURRENT_USER,
                     L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
                     L"Desktop", REG_EXPAND_SZ, desktop_.path()),
      menuBuilder_(HKEY_CURRENT_USER, L"Software\\Wine\\DllOverrides", L"winemenubuilder.exe",
                   REG_SZ, L"") {
    if (Installed()) {
        Uninstall();
    }
}

ProductSandbox::~ProductSandbox() {
    if (Installed()) {
        Uninstall();
    }
}

std::wstring ProductSandbox::DefaultInstallDir() {
    wchar_t programFiles[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, programFiles);
    return std::wstring(programFiles) + L"\\Orvanta Vellumo\\";
}

bool ProductSandbox::Installed() {
    return MsiQueryProductStateW(SampleProductCode().c_str()) == INSTALLSTATE_DEFAULT;
}

void ProductSandbox::Uninstall() {
    EXPECT_EQ(Msiexec(L"/x " + SampleProductCode() + L" /qn"), 0u);
}

std::wstring SampleProductCode() {
    static const std::wstring code =
        PackageProperty(SampleLayout() + L"Orvanta.msi", L"ProductCode");
    return code;
}

DWORD RunToEnd(const std::wstring& program, const std::wstring& arguments) {
    Launched process(program, arguments);
    return process.ExitCode(120000);
}

void SetPackageProperties(const std::wstring& package,
                          const std::vector<std::pair<std::wstring, std::wstring>>& rows) {
    // As package creation edits the table.
    const MsiHandle database = OpenPackageDatabase(package);
    const MsiHandle view = OpenPropertyView(database);
    for (const auto& [name, value] : rows) {
        SetProperty(view.get(), name, value);
    }
    CommitDatabase(database);
}
