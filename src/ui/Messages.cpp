#include "ui/Messages.h"

std::wstring GetProductTitle() {
    return std::wstring(L"Orvanta Vellumo") + L" Setup";
}

int ShowMessage(const std::wstring& text, UINT style) {
    return MessageBoxW(nullptr, text.c_str(), GetProductTitle().c_str(), style);
}
