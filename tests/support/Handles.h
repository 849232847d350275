#pragma once

#include <windows.h>

// How many handles this process has open, registry keys left out: Wine's save dialog keeps
// one key open for every file chosen in it, and nothing tested in-process opens a key of
// its own. GetProcessHandleCount answers 0 under Wine, so the handles are counted in the
// system's handle list, which is exact there (one handle leaked on purpose is one more).
DWORD OpenHandleCount();
