#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// "Orvanta Vellumo Setup": the caption of every message box and of the result dialog.
std::wstring GetProductTitle();

// A message box with no owner and the product title as caption; returns the button pressed.
int ShowMessage(const std::wstring& text, UINT style);

// The text with %1, %2... replaced by the values in order. What is put in is never read for
// placeholders itself, so a folder name with a % in it stays as it is.
std::wstring FillIn(const std::wstring& text, const std::vector<std::wstring>& values);

// Says that a folder's volume has too little room: one log line and the box of the text
// (IDS_NO_ROOM_...) with the megabytes needed, rounded up, and free, rounded down, so that
// it never says that as much is free as is needed.
void ReportNoRoom(UINT textId, const std::wstring& folder, uint64_t neededBytes,
                  uint64_t freeBytes);
