/* Loads msi.dll and riched20.dll by bare name, as a careless program would; beside planted
   copies, with Wine told to prefer native DLLs, it loads the planted ones. */
#include <windows.h>

int main(void) {
    LoadLibraryW(L"msi.dll");
    LoadLibraryW(L"riched20.dll");
    return 0;
}
