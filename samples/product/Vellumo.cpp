// Orvanta Vellumo, the demo product: it tells the user that it is installed and which of
// the options chosen at install time are in force.
#include <windows.h>

#include <string>

namespace {

// A DWORD option under the product's key; "#1" in the package becomes 1 here.
bool OptionSet(const wchar_t* name) {
    DWORD value = 0;
    DWORD size = sizeof(value);
    return RegGetValueW(HKEY_LOCAL_MACHINE, L"Software\\Orvanta\\Vellumo", name, RRF_RT_REG_DWORD,
                        nullptr, &value, &size) == ERROR_SUCCESS &&
           value != 0;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    std::wstring text = L"Orvanta Vellumo " ORVANTA_PRODUCT_VERSION L" is installed.\n\n";
    text += OptionSet(L"NoUpdateCheck") ? L"Updates are not checked for.\n"
                                        : L"Updates are checked for at start.\n";
    text += OptionSet(L"NoEula") ? L"The licence agreement is not shown at first start."
                                 : L"The licence agreement is shown at first start.";
    MessageBoxW(nullptr, text.c_str(), L"Orvanta Vellumo", MB_ICONINFORMATION);
    return 0;
}
