#pragma once

#include <string>

#include "ui/Dialog.h"

// The options of a package for silent installation and, through the save dialog, the
// file to write it to. Ends with IDOK only once a file has been chosen. For /defaults the
// options that only /extract writes are hidden and not read.
class ExtractDialog : public Dialog<ExtractDialog> {
  public:
    ExtractDialog(HINSTANCE instance, bool defaultsMode);

    std::wstring installDir;
    std::wstring packagePath;
    bool installDesktopShortcut = false;
    bool noUpdateCheck = false;
    bool noEula = false;
    // The agreement was accepted once: the box then toggles without showing it again.
    bool agreementAccepted = false;
    bool defaultsMode = false;

    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    void ReadOptions();
    void ChoosePackagePath();
    void OnAgreementBoxClicked();
    void HideExtractOnlyOptions();
};
