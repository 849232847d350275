#pragma once

#include "PackageFiles.h"
#include "Registry.h"
#include "TestFiles.h"

#include <windows.h>

#include <string>
#include <vector>

// The folder where the build lays the sample payloads out as the bootstrapper does.
std::wstring SampleLayout();
// The nine language tags, in resource id order.
const std::vector<std::wstring>& SatelliteTags();

// Copies the sample layout (payloads and language folders) into the directory.
void CopySampleLayout(const std::wstring& directory);

// Keeps a test's installs of the product to itself: the product is uninstalled before and
// after, desktop shortcuts land in a folder of the test's own (Wine's user desktop is the
// Linux home), and Wine writes no menu entries for them into the Linux user's home.
class ProductSandbox {
  public:
    ProductSandbox();
    ProductSandbox(const ProductSandbox&) = delete;
    ProductSandbox& operator=(const ProductSandbox&) = delete;
    ~ProductSandbox();

    const std::wstring& desktop() const { return desktop_.path(); }
    // Where a per-machine install puts the product by default.
    static std::wstring DefaultInstallDir();
    static bool Installed();
    static void Uninstall();

  private:
    TempDir desktop_{L"desktop"};
    RegistryValueOverride desktopFolder_;
    RegistryValueOverride menuBuilder_;
};

// The product code of the sample package.
std::wstring SampleProductCode();

// Runs a program to its end and returns its full exit code.
DWORD RunToEnd(const std::wstring& program, const std::wstring& arguments);

// Sets rows of a package's Property table, adding those it lacks.
void SetPackageProperties(const std::wstring& package,
                          const std::vector<std::pair<std::wstring, std::wstring>>& rows);
