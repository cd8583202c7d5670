// A DLL that the tests place beside a test program, where a DLL loaded by its bare name would be
// found first; the program must never load it. It does nothing.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
