#include "Handles.h"

#include <winternl.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

// SystemHandleInformation (16): a count, then one entry per handle of every process.
struct HandleEntry {
    ULONG processId;
    UCHAR objectType;
    UCHAR flags;
    USHORT handle;
    PVOID object;
    ACCESS_MASK access;
};

constexpr ULONG kSystemHandleInformation = 16;
constexpr NTSTATUS kInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004L);

// Whether the handle of this process is a registry key, by its type's name.
bool IsRegistryKey(HANDLE handle) {
    using QueryFunction = NTSTATUS(NTAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
    static const auto query = reinterpret_cast<QueryFunction>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryObject")));
    constexpr ULONG kObjectTypeInformation = 2;
    alignas(UNICODE_STRING) BYTE buffer[512] = {};
    if (query(handle, kObjectTypeInformation, buffer, sizeof(buffer), nullptr) != 0) {
        return false;
    }
    const auto* type = reinterpret_cast<const UNICODE_STRING*>(buffer);
    return type->Buffer && std::wstring(type->Buffer, type->Length / sizeof(wchar_t)) == L"Key";
}

} // namespace

DWORD OpenHandleCount() {
    using QueryFunction = NTSTATUS(NTAPI*)(ULONG, PVOID, ULONG, PULONG);
    static const auto query = reinterpret_cast<QueryFunction>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    std::vector<BYTE> buffer(1 << 16);
    NTSTATUS status = 0;
    while ((status = query(kSystemHandleInformation, buffer.data(),
                           static_cast<ULONG>(buffer.size()), nullptr)) == kInfoLengthMismatch) {
        buffer.resize(buffer.size() * 2);
    }
    if (status != 0) {
        throw std::runtime_error("cannot read the system's handle list");
    }
    ULONG count = 0;
    memcpy(&count, buffer.data(), sizeof(count));
    const auto* entries = reinterpret_cast<const HandleEntry*>(buffer.data() + sizeof(ULONG_PTR));
    DWORD own = 0;
    for (ULONG i = 0; i < count; ++i) {
        own += entries[i].processId == GetCurrentProcessId() &&
               !IsRegistryKey(reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(entries[i].handle)));
    }
    return own;
}
