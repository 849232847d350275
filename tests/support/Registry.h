#pragma once

#include <windows.h>

#include <optional>
#include <string>

// The bytes of a REG_SZ or REG_EXPAND_SZ value (terminating NUL included) and of a REG_DWORD.
std::string RegistryText(const std::wstring& text);
std::string RegistryNumber(DWORD number);

// A registry value set for the length of a scope, then put back as it was, or removed if
// there was none. The view (KEY_WOW64_32KEY or KEY_WOW64_64KEY) picks the registry of 32-
// or 64-bit programs where the two differ.
class RegistryValueOverride {
  public:
    RegistryValueOverride(HKEY root, std::wstring key, std::wstring name, DWORD type,
                          const std::string& bytes, REGSAM view = 0);
    // A REG_SZ or REG_EXPAND_SZ value.
    RegistryValueOverride(HKEY root, std::wstring key, std::wstring name, DWORD type,
                          const std::wstring& text, REGSAM view = 0)
        : RegistryValueOverride(root, std::move(key), std::move(name), type, RegistryText(text),
                                view) {}
    RegistryValueOverride(const RegistryValueOverride&) = delete;
    RegistryValueOverride& operator=(const RegistryValueOverride&) = delete;
    ~RegistryValueOverride();

  private:
    bool Write(const std::optional<std::pair<DWORD, std::string>>& value) const;

    HKEY root_;
    std::wstring key_;
    std::wstring name_;
    REGSAM view_;
    std::optional<std::pair<DWORD, std::string>> saved_;
};

// A registry key made present (empty, if it was missing) or absent for the length of a
// scope, then made present or absent again as it was.
class RegistryKeyOverride {
  public:
    RegistryKeyOverride(HKEY root, std::wstring key, bool present, REGSAM view = 0);
    RegistryKeyOverride(const RegistryKeyOverride&) = delete;
    RegistryKeyOverride& operator=(const RegistryKeyOverride&) = delete;
    ~RegistryKeyOverride() { Set(existed_); }

  private:
    void Set(bool present) const;

    HKEY root_;
    std::wstring key_;
    REGSAM view_;
    bool existed_ = false;
};
