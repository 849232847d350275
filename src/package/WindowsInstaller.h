#pragma once

#include <windows.h>
#include <msiquery.h>

#include "common/UniqueHandle.h"

// The Windows Installer functions of the property editing, taken at run time from msi.dll
// in the system directory. msi.dll is not one of the DLLs that Windows always loads from
// there, so a static import would load a copy planted beside the executable.
struct WindowsInstaller {
    decltype(&MsiOpenDatabaseW) OpenDatabase;
    decltype(&MsiDatabaseOpenViewW) DatabaseOpenView;
    decltype(&MsiViewExecute) ViewExecute;
    decltype(&MsiCreateRecord) CreateRecord;
    decltype(&MsiRecordSetStringW) RecordSetString;
    decltype(&MsiViewModify) ViewModify;
    decltype(&MsiDatabaseCommit) DatabaseCommit;
    decltype(&MsiCloseHandle) CloseHandle;
};

// Loaded on first use and kept for the rest of the process; null when the library or
// one of its functions is missing. The code only reads the table; a test may put a
// stand-in function into it.
WindowsInstaller* GetWindowsInstaller();

struct MsiHandleTraits {
    using pointer = MSIHANDLE;
    static pointer invalid() { return 0; }
    // A handle exists only once the functions were loaded.
    static void close(pointer value) { GetWindowsInstaller()->CloseHandle(value); }
};

// One Windows Installer handle (database, view or record), closed when the owner goes.
using MsiHandle = UniqueHandle<MsiHandleTraits>;
