// The running system: real version, optional functions, DLLs from the system directory.
#include "settings/system.h"

#include <cstring>

const SystemVersion& RealSystemVersion()
{
    static bool read;
    static SystemVersion version;
    if (!read) {
        read = true;
        using RtlGetVersionProc = LONG(WINAPI*)(RTL_OSVERSIONINFOW*);
        const auto rtlGetVersion = FindProc<RtlGetVersionProc>("ntdll.dll", "RtlGetVersion");
        RTL_OSVERSIONINFOW info;
        memset(&info, 0, sizeof info);
        info.dwOSVersionInfoSize = sizeof info;
        if (rtlGetVersion && rtlGetVersion(&info) == 0)
            version = {info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber};
    }
    return version;
}

FARPROC FindSystemProc(const char* module, const char* name)
{
    const HMODULE handle = GetModuleHandleA(module);
    return handle ? GetProcAddress(handle, name) : nullptr;
}

HMODULE LoadSystemLibrary(const char* name)
{
    char path[MAX_PATH];
    const UINT length = GetSystemDirectoryA(path, MAX_PATH);
    const size_t nameLength = strlen(name);
    // 0 is a failure; a length of MAX_PATH or more is the room the path would need.
    if (length == 0 || length + 1 + nameLength >= MAX_PATH) return nullptr;
    path[length] = '\\';
    memcpy(path + length + 1, name, nameLength + 1);
    return LoadLibraryA(path);
}
