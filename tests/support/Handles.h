#pragma once

#include <windows.h>

// How many handles this process has open, registry keys left out: Wine's save dialog keeps
// one key open for every file chosen in it, and nothing tested in-process opens a key of
// its own. GetProcessHandleCount answers 0 under Wine, and Wine 8's server can crash while
// it lists the handles of every process, so each handle value of this process is asked for
// its type (one handle leaked on purpose is one more).
DWORD OpenHandleCount();

// This process's handle count once it is the expected one, or when the wait for that gives
// up: Wine lets go of what an ended thread held a little later.
DWORD SettledHandleCount(DWORD expected);
