#include "Handles.h"

#include "TestFiles.h"

#include <winternl.h>

#include <string>

namespace {

using QueryObjectFunction = NTSTATUS(NTAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);

QueryObjectFunction QueryObject() {
    static const auto query = reinterpret_cast<QueryObjectFunction>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryObject")));
    return query;
}

// The type name of a handle of this process; empty when the value is no open handle.
std::wstring TypeOf(HANDLE handle) {
    constexpr ULONG kObjectTypeInformation = 2;
    alignas(UNICODE_STRING) BYTE buffer[512] = {};
    if (QueryObject()(handle, kObjectTypeInformation, buffer, sizeof(buffer), nullptr) != 0) {
        return {};
    }
    const auto* type = reinterpret_cast<const UNICODE_STRING*>(buffer);
    return type->Buffer ? std::wstring(type->Buffer, type->Length / sizeof(wchar_t)) : L"?";
}

} // namespace

DWORD OpenHandleCount() {
    // Wine hands out the lowest free slot of a process's table, so its handles lie close
    // together; a run this long of unused values is past the last one.
    constexpr ULONG_PTR kUnusedRunAtTheEnd = 1024;
    DWORD own = 0;
    ULONG_PTR unusedRun = 0;
    for (ULONG_PTR value = 4; unusedRun < kUnusedRunAtTheEnd; value += 4) {
        const std::wstring type = TypeOf(reinterpret_cast<HANDLE>(value));
        unusedRun = type.empty() ? unusedRun + 1 : 0;
        own += !type.empty() && type != L"Key";
    }
    return own;
}

DWORD SettledHandleCount(DWORD expected) {
    DWORD count = 0;
    WaitUntil([&] { return (count = OpenHandleCount()) == expected; });
    return count;
}
