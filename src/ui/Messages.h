#pragma once

#include <windows.h>

#include <string>

// "Orvanta Vellumo Setup": the caption of every message box and of the result dialog.
std::wstring GetProductTitle();

// A message box with no owner and the product title as caption; returns the button pressed.
int ShowMessage(const std::wstring& text, UINT style);
