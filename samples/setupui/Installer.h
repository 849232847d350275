#pragma once

#include "common/UniqueHandle.h"

#include <msi.h>

#include <string>

// The Windows Installer functions the setup UI uses, from msi.dll in the system directory
// (never from the program's folder, so the import table names no such DLL).
class MsiLibrary {
  public:
    // Raises std::runtime_error when msi.dll or one of the functions cannot be loaded.
    MsiLibrary();

    decltype(&::MsiSetInternalUI) SetInternalUI;
    decltype(&::MsiSetExternalUIW) SetExternalUI;
    decltype(&::MsiEnableLogW) EnableLog;
    decltype(&::MsiInstallProductW) InstallProduct;

  private:
    UniqueLibrary library_;
};

// What the install run reports to the window, from the thread that runs the installer.
class InstallObserver {
  public:
    virtual ~InstallObserver() = default;
    virtual HWND Owner() const = 0;
    virtual void Progress(int permille, bool executing) = 0;
    // A question of the installer (retry or cancel, and the like); returns the button.
    virtual int Ask(UINT style, const std::wstring& text) = 0;
    virtual bool CancelRequested() const = 0;
};

struct InstallOutcome {
    UINT code = ERROR_INSTALL_FAILURE;
    std::wstring message; // the installer's last error text, if it gave one
};

// Installs the package with the installer's basic UI, its progress and questions going
// through the observer; with a log path, the installer writes its verbose log there.
InstallOutcome InstallPackage(const MsiLibrary& msi, const std::wstring& package,
                              const std::wstring& logPath, InstallObserver& observer);
