#include "workspace/Workspace.h"

#include <windows.h>
#include <rpc.h>

#include <stdexcept>

namespace {

std::wstring NewUuidText() {
    UUID uuid{};
    UuidCreateSequential(&uuid);
    RPC_WSTR text = nullptr;
    if (UuidToStringW(&uuid, &text) != RPC_S_OK || text == nullptr) {
        throw std::runtime_error("UuidToString failed");
    }
    std::wstring result(reinterpret_cast<const wchar_t*>(text));
    RpcStringFreeW(&text);
    return result;
}

} // namespace

std::wstring CreateWorkspace() {
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH, temp);
    // 0 is a failure; a larger value is the size the path would need.
    if (length == 0 || length > MAX_PATH) {
        throw std::runtime_error("GetTempPath failed");
    }
    std::wstring path(temp);
    path += L"OrvantaSetup\\";
    // The parent is shared by every run and usually exists already.
    CreateDirectoryW(path.c_str(), nullptr);

    path += NewUuidText();
    path += L'\\';
    if (!CreateDirectoryW(path.c_str(), nullptr)) {
        throw std::runtime_error("CreateDirectory failed");
    }
    return path;
}
