// The running system: its real version, the functions a system older than the newest may lack,
// and DLLs that are not always loaded, taken from the system's own folder only.
#pragma once

#include <windows.h>

#include <cstdint>

// The version Windows really is: GetVersionEx reports Windows 8 to a program whose manifest the
// system does not know, RtlGetVersion does not. All 0 before Windows 2000, which lacks it.
struct SystemVersion {
    uint32_t major;
    uint32_t minor;
    uint32_t build;
};
const SystemVersion& RealSystemVersion();  // read once

// A function of a module that is loaded already (kernel32, user32, ntdll, ...), or null where the
// system lacks it: looked up at run time so that the program still loads on every system back to
// Windows 95.
FARPROC FindSystemProc(const char* module, const char* name);

template <typename Proc>
Proc FindProc(const char* module, const char* name)
{
    return reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(FindSystemProc(module, name)));
}

// A DLL that is not always loaded (wtsapi32.dll, dwmapi.dll, ...), loaded from the system
// directory by its full path, never by its bare name: a DLL of that name planted beside the
// program, in a Downloads folder say, must never be loaded. Null where it is missing.
HMODULE LoadSystemLibrary(const char* name);
