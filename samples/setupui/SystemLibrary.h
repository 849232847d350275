#pragma once

#include "common/UniqueHandle.h"

#include <stdexcept>

// The program runs from a temporary folder that may hold anyone's files, so no DLL may be
// found there: the search is narrowed to the system directory where Windows can do that,
// and the libraries loaded on demand come from the system directory by full path.
void RestrictLibrarySearch();

// Loads the named DLL from the system directory; raises std::runtime_error when it cannot.
UniqueLibrary LoadSystemLibrary(const wchar_t* name);

// The address of a function of a loaded library as the given pointer type; raises
// std::runtime_error when the library lacks it.
template <typename Function>
Function LibraryFunction(const UniqueLibrary& library, const char* name) {
    FARPROC address = GetProcAddress(library.get(), name);
    if (!address) {
        throw std::runtime_error(name);
    }
    return reinterpret_cast<Function>(reinterpret_cast<void*>(address));
}
