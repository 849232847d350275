#pragma once

#include <windows.h>

// Writes "ExeImage: " + step + " Error: " + code to the setup log.
void LogImageError(const char* step, DWORD code);

// Logs the step with the thread's last error code and raises "Image loading failed".
[[noreturn]] void ThrowImageError(const char* step);
