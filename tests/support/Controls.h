#pragma once

#include <windows.h>

#include <string>

// The captions of the bootstrapper's dialogs, and of the save dialog under Wine.
inline const std::wstring kOptions = L"Create Package for Silent Installation";
inline const std::wstring kAgreement = L"Licence Agreement";
inline const std::wstring kResult = L"Orvanta Vellumo Setup";
inline const std::wstring kSaveAs = L"Save As";

// Driving a dialog's controls, in this process or another one of the same desktop. Clicks
// and keys are posted, so that a window they open does not block the caller.
void Click(HWND dialog, int id);
// Sends the click and returns once it has been handled (for controls that open nothing).
void ClickNow(HWND dialog, int id);
bool IsChecked(HWND dialog, int id);
// Posts the key to the focused control of the dialog's thread, through the dialog's own
// keyboard handling.
void PressKey(HWND dialog, WPARAM key);
void PressEscape(HWND dialog);
// What the close box does.
void CloseBox(HWND window);
// Types the path into a save dialog's file name box and presses Save.
void ChooseFile(HWND saveAs, const std::wstring& path);
