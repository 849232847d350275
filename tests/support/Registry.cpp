#include "Registry.h"

#include <stdexcept>

std::string RegistryText(const std::wstring& text) {
    return std::string(reinterpret_cast<const char*>(text.c_str()),
                       (text.size() + 1) * sizeof(wchar_t));
}

std::string RegistryNumber(DWORD number) {
    return std::string(reinterpret_cast<const char*>(&number), sizeof(number));
}

RegistryValueOverride::RegistryValueOverride(HKEY root, std::wstring key, std::wstring name,
                                             DWORD type, const std::string& bytes, REGSAM view)
    : root_(root), key_(std::move(key)), name_(std::move(name)), view_(view) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root_, key_.c_str(), 0, KEY_QUERY_VALUE | view_, &opened) == ERROR_SUCCESS) {
        DWORD savedType = 0;
        DWORD size = 0;
        if (RegQueryValueExW(opened, name_.c_str(), nullptr, &savedType, nullptr, &size) ==
            ERROR_SUCCESS) {
            std::string data(size, '\0');
            RegQueryValueExW(opened, name_.c_str(), nullptr, &savedType,
                             reinterpret_cast<BYTE*>(data.data()), &size);
            saved_.emplace(savedType, data.substr(0, size));
        }
        RegCloseKey(opened);
    }
    if (!Write(std::pair{type, bytes})) {
        throw std::runtime_error("cannot set a registry value");
    }
}

RegistryValueOverride::~RegistryValueOverride() {
    Write(saved_);
}

bool RegistryValueOverride::Write(const std::optional<std::pair<DWORD, std::string>>& value) const {
    HKEY opened = nullptr;
    if (RegCreateKeyExW(root_, key_.c_str(), 0, nullptr, 0, KEY_SET_VALUE | view_, nullptr, &opened,
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const LONG status = value ? RegSetValueExW(opened, name_.c_str(), 0, value->first,
                                               reinterpret_cast<const BYTE*>(value->second.data()),
                                               static_cast<DWORD>(value->second.size()))
                              : RegDeleteValueW(opened, name_.c_str());
    RegCloseKey(opened);
    return status == ERROR_SUCCESS;
}

RegistryKeyOverride::RegistryKeyOverride(HKEY root, std::wstring key, bool present, REGSAM view)
    : root_(root), key_(std::move(key)), view_(view) {
    HKEY opened = nullptr;
    existed_ = RegOpenKeyExW(root_, key_.c_str(), 0, KEY_READ | view_, &opened) == ERROR_SUCCESS;
    if (opened) {
        RegCloseKey(opened);
    }
    Set(present);
}

void RegistryKeyOverride::Set(bool present) const {
    if (present) {
        HKEY created = nullptr;
        if (RegCreateKeyExW(root_, key_.c_str(), 0, nullptr, 0, KEY_WRITE | view_, nullptr,
                            &created, nullptr) == ERROR_SUCCESS) {
            RegCloseKey(created);
        }
    } else {
        RegDeleteKeyExW(root_, key_.c_str(), view_, 0);
    }
}
