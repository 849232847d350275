#pragma once

#include <string>

// Makes %TEMP%\OrvantaSetup\<sequential uuid>\ and returns that path, which ends in a
// backslash. Raises "CreateDirectory failed" when the run's own directory cannot be made.
std::wstring CreateWorkspace();
