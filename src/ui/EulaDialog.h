#pragma once

#include <string>

#include "ui/Dialog.h"

// The licence agreement, shown from the option dialog before its box that accepts the
// agreement for the users can be ticked. Ends with IDOK when accepted.
class EulaDialog : public Dialog<EulaDialog> {
  public:
    EulaDialog(HINSTANCE instance, HWND owner);

    // The agreement's bytes: rich text, or plain text in the ANSI code page.
    std::string text;

    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
};

// The "TXT" resource holding the agreement; empty when it is missing.
std::string LoadAgreementText(HINSTANCE instance);
