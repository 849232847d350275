#pragma once

#include <windows.h>

#include <string>

#include "common/UniqueHandle.h"

// Makes %TEMP%\OrvantaSetup\<sequential uuid>\ and returns that path, which ends in a
// backslash. Raises "CreateDirectory failed" when the run's own directory cannot be made.
std::wstring CreateWorkspace();

// Opens a directory itself, never what a junction, symbolic link or mount point there
// points to, sharing everything but deletion: while the handle is open, nobody can rename
// the directory or put another in its place. The handle lists the directory because an
// open for attributes alone takes no part in the sharing checks. Empty when the name is
// such a link or cannot be opened with the access. The path ends in a backslash.
UniqueFileHandle OpenDirectoryItself(const std::wstring& path, DWORD access);

// The folder that holds a file or folder, named as a user would: no backslash at the end
// but after a drive ("C:\"). A trailing backslash on the path is no component of its own.
std::wstring ContainingFolder(const std::wstring& path);
