#include "workspace/Workspace.h"

#include <windows.h>
#include <rpc.h>
#include <sddl.h>

#include <stdexcept>
#include <vector>

#include "common/UniqueHandle.h"

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

// GetTempPath2W gives a program running as SYSTEM the system's own temporary directory,
// which other users cannot open, and everyone else what GetTempPathW gives. Windows before
// its 2022 updates (and Wine) have only GetTempPathW.
std::wstring TemporaryDirectory() {
    using GetTempPathFunction = DWORD(WINAPI*)(DWORD, LPWSTR);
    auto getTempPath = reinterpret_cast<GetTempPathFunction>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetTempPath2W")));
    if (!getTempPath) {
        getTempPath = GetTempPathW;
    }
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD length = getTempPath(MAX_PATH, temp);
    // 0 is a failure; a larger value is the size the path would need.
    if (length == 0 || length > MAX_PATH) {
        throw std::runtime_error("GetTempPath failed");
    }
    return temp;
}

// The security descriptor of the text; empty when the text cannot be converted.
UniqueLocalMemory SecurityDescriptorOf(const std::wstring& sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor,
                                                         nullptr);
    return UniqueLocalMemory(descriptor);
}

UniqueKernelHandle ProcessToken() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        throw std::runtime_error("CreateDirectory failed");
    }
    return UniqueKernelHandle(token);
}

std::wstring UserSidText(HANDLE token) {
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    wchar_t* text = nullptr;
    if (size == 0 || !GetTokenInformation(token, TokenUser, buffer.data(), size, &size) ||
        !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) {
        throw std::runtime_error("CreateDirectory failed");
    }
    UniqueLocalMemory owned(text);
    return text;
}

bool IsElevated(HANDLE token) {
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    return GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &size) &&
           elevation.TokenIsElevated != 0;
}

} // namespace

UniqueFileHandle OpenDirectoryItself(const std::wstring& path, DWORD access) {
    const std::wstring name = path.substr(0, path.size() - 1);
    UniqueFileHandle directory(
        CreateFileW(name.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | access,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    FILE_ATTRIBUTE_TAG_INFO opened{};
    if (!directory || !GetFileInformationByHandleEx(directory.get(), FileAttributeTagInfo, &opened,
                                                    sizeof(opened))) {
        return {};
    }
    // Wine tells a Unix symbolic link only by its name.
    const DWORD named = GetFileAttributesW(name.c_str());
    const DWORD attributes = opened.FileAttributes | (named == INVALID_FILE_ATTRIBUTES ? 0 : named);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        return {};
    }
    return directory;
}

namespace {

UniqueFileHandle OpenRealDirectory(const std::wstring& path, DWORD access) {
    UniqueFileHandle directory = OpenDirectoryItself(path, access);
    if (!directory) {
        throw std::runtime_error("CreateDirectory failed");
    }
    return directory;
}

// Every workspace made by this process stays open until the process ends.
std::vector<UniqueFileHandle>& HeldWorkspaces() {
    static std::vector<UniqueFileHandle> held;
    return held;
}

} // namespace

std::wstring CreateWorkspace() {
    std::wstring path = TemporaryDirectory();
    path += L"OrvantaSetup\\";
    // The parent is shared by every run and usually exists already. Anyone may have made
    // it, so it is held while the run's own directory is made in it.
    CreateDirectoryW(path.c_str(), nullptr);
    const UniqueFileHandle parent = OpenRealDirectory(path, 0);

    // Nothing is inherited from the parent or the temporary directory: only SYSTEM, the
    // administrators and this user may open the workspace and what is made in it.
    const UniqueKernelHandle token = ProcessToken();
    const UniqueLocalMemory descriptor = SecurityDescriptorOf(
        L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;" + UserSidText(token.get()) + L")");
    SECURITY_ATTRIBUTES security{sizeof(security), descriptor.get(), FALSE};

    path += NewUuidText();
    path += L'\\';
    if (!descriptor || !CreateDirectoryW(path.c_str(), &security)) {
        throw std::runtime_error("CreateDirectory failed");
    }
    UniqueFileHandle workspace = OpenRealDirectory(path, WRITE_OWNER);

    // An elevated run also labels the workspace high: a program of the same user that is
    // not elevated can then neither add nor change a file in it. A token without the right
    // to set the label keeps the access list alone.
    if (IsElevated(token.get())) {
        if (const UniqueLocalMemory label = SecurityDescriptorOf(L"S:(ML;OICI;NW;;;HI)")) {
            SetKernelObjectSecurity(workspace.get(), LABEL_SECURITY_INFORMATION, label.get());
        }
    }
    HeldWorkspaces().push_back(std::move(workspace));
    return path;
}

std::wstring ContainingFolder(const std::wstring& path) {
    const size_t end = !path.empty() && path.back() == L'\\' ? path.size() - 1 : path.size();
    const size_t separator = path.rfind(L'\\', end == 0 ? 0 : end - 1);
    if (separator == std::wstring::npos) {
        return {};
    }
    std::wstring folder = path.substr(0, separator);
    return folder.size() == 2 && folder[1] == L':' ? folder + L"\\" : folder;
}
