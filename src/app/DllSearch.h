#pragma once

// Makes the system directory the only place where libraries loaded by bare name are
// looked for, so that none is taken from beside the executable (a Downloads folder).
// Does nothing on a Windows 7 without the update that brought SetDefaultDllDirectories.
void RestrictDllSearchToSystemDirectory();
