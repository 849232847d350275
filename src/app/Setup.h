#pragma once

#include <windows.h>

#include "app/CommandLine.h"

// Makes the run's workspace and log, then installs or hands over to package creation.
// Returns the process exit code: 0 on success, 1 when this Windows is too old to install
// on, the setup UI's own exit code when it is not 0, or the system's error code of a setup
// UI that could not be started (ERROR_INSTALL_FAILURE where the system gives none).
int RunSetup(HINSTANCE instance, RunMode mode);

// Windows 7 with Service Pack 1 or later.
bool IsSupportedWindows();
