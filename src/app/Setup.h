#pragma once

#include <windows.h>

#include "app/CommandLine.h"

// Makes the run's workspace and log, then installs or hands over to package creation.
// Returns the process exit code: 0, or 1 when this Windows is too old to install on.
int RunSetup(HINSTANCE instance, RunMode mode);

// Windows 7 with Service Pack 1 or later.
bool IsSupportedWindows();
