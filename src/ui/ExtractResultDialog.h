#pragma once

#include "ui/Dialog.h"

// Tells that the package has been written and offers to show it in Explorer.
class ExtractResultDialog : public Dialog<ExtractResultDialog> {
  public:
    explicit ExtractResultDialog(HINSTANCE instance);

    // Closed with OK while its box was checked.
    bool showInExplorer = false;

    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
};
