#include "workspace/DeadWorkspaces.h"

#include <windows.h>

#include "common/UniqueHandle.h"
#include "workspace/Workspace.h"
#include "workspace/WorkspaceLayout.h"

namespace {

// The form of the names CreateWorkspace gives: UuidToStringW's lower-case text.
bool IsWorkspaceName(const std::wstring& name) {
    if (name.size() != 36) {
        return false;
    }
    for (size_t i = 0; i < name.size(); ++i) {
        const wchar_t c = name[i];
        const bool hyphen = i == 8 || i == 13 || i == 18 || i == 23;
        if (hyphen ? c != L'-' : !((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f'))) {
            return false;
        }
    }
    return true;
}

bool SameName(const wchar_t* a, const wchar_t* b) {
    return CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL;
}

bool IsLaidOutName(const wchar_t* name) {
    for (const PayloadFile& payload : kPayloads) {
        if (SameName(name, payload.fileName)) {
            return true;
        }
    }
    for (const Satellite& satellite : kSatellites) {
        if (SameName(name, satellite.tag)) {
            return true;
        }
    }
    return false;
}

// A run opens the workspace it has made a moment after making it; opened for deletion in
// between, the run's own open would fail and the run with it. Its workspace holds none of
// these names yet, so only a directory that holds one is opened. Each directory is listed
// once: most hold only the log of a run that ended well.
bool HoldsPayloads(const std::wstring& workspace) {
    WIN32_FIND_DATAW entry{};
    const UniqueFind listing(FindFirstFileExW((workspace + L"*").c_str(), FindExInfoBasic, &entry,
                                              FindExSearchNameMatch, nullptr, 0));
    if (!listing) {
        return false;
    }
    do {
        if (IsLaidOutName(entry.cFileName)) {
            return true;
        }
    } while (FindNextFileW(listing.get(), &entry));
    return false;
}

// Removes a language's satellite, then its directory when nothing else is left in it.
void ClearLanguage(const std::wstring& directory) {
    // Held so that it cannot be swapped for a link between the two steps.
    const UniqueFileHandle held = OpenDirectoryItself(directory, DELETE);
    if (!held) {
        return;
    }
    DeleteFileW((directory + kSatelliteFileName).c_str());
    // Refused while the directory is not empty; done when the handle closes.
    FILE_DISPOSITION_INFO remove{TRUE};
    SetFileInformationByHandle(held.get(), FileDispositionInfo, &remove, sizeof(remove));
}

void ClearWorkspace(const std::wstring& workspace) {
    // Every run holds its own workspace without delete sharing until it ends, so this
    // open fails for a live run's. Held, the directory cannot be swapped for a link.
    const UniqueFileHandle held = OpenDirectoryItself(workspace, DELETE);
    if (!held) {
        return;
    }
    // The setup UI of a killed run may still be running, and then its program cannot be
    // deleted; it may still need everything else.
    if (!DeleteFileW((workspace + kSetupUiFileName).c_str()) &&
        GetLastError() != ERROR_FILE_NOT_FOUND) {
        return;
    }
    for (const PayloadFile& payload : kPayloads) {
        DeleteFileW((workspace + payload.fileName).c_str());
    }
    for (const Satellite& satellite : kSatellites) {
        ClearLanguage(workspace + satellite.tag + L"\\");
    }
}

} // namespace

void ClearDeadWorkspaces(const std::wstring& workspace) {
    const size_t end = workspace.rfind(L'\\', workspace.size() - 2);
    if (end == std::wstring::npos) {
        return;
    }
    const std::wstring parent = workspace.substr(0, end + 1);
    // Held like the run's own workspace: not a link, and not swapped for one meanwhile.
    const UniqueFileHandle heldParent = OpenDirectoryItself(parent, 0);
    if (!heldParent) {
        return;
    }
    WIN32_FIND_DATAW entry{};
    const UniqueFind listing(FindFirstFileW((parent + L"*").c_str(), &entry));
    if (!listing) {
        return;
    }
    do {
        const std::wstring name = entry.cFileName;
        if (IsWorkspaceName(name) && HoldsPayloads(parent + name + L"\\")) {
            ClearWorkspace(parent + name + L"\\");
        }
    } while (FindNextFileW(listing.get(), &entry));
}

DeadWorkspaceSweep::DeadWorkspaceSweep(const std::wstring& workspace) {
    try {
        thread_ = SystemThread([workspace] {
            try {
                ClearDeadWorkspaces(workspace);
            } catch (...) {
                // Out of memory: what is left stays for a later run.
            }
        });
    } catch (const std::runtime_error&) {
        // No thread to be had: cleared before the run's own work instead.
        ClearDeadWorkspaces(workspace);
    }
}
