#include "app/Setup.h"

#include "log/Logger.h"
#include "workspace/Workspace.h"

bool IsSupportedWindows() {
    OSVERSIONINFOEXW version{};
    version.dwOSVersionInfoSize = sizeof(version);
    version.dwMajorVersion = 6;
    version.dwMinorVersion = 1;
    version.wServicePackMajor = 1;
    DWORDLONG mask = 0;
    mask = VerSetConditionMask(mask, VER_MAJORVERSION, VER_GREATER_EQUAL);
    mask = VerSetConditionMask(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
    mask = VerSetConditionMask(mask, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
    return VerifyVersionInfoW(&version, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR,
                              mask) != FALSE;
}

int RunSetup(HINSTANCE /*instance*/, RunMode /*mode*/) {
    const std::wstring workspace = CreateWorkspace();
    OpenSetupLog(workspace);
    return 0;
}
