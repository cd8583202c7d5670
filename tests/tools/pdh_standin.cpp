// A stand-in for pdh.dll, which the end-to-end tests place in the Wine prefix's system directory
// (Wine's own pdh.dll has no "Processor Information" counters). It exports the functions the meter
// uses and serves the one counter the meter asks for, with a figure the test stores in the
// registry (pdh_standin.h), from the first collection on: a real rate counter has no value until
// its second, so a meter that showed the first collection's value would show here. It leaves a
// trace of every load, so that a copy planted beside the program shows if it is ever loaded, and
// counts the loads, so that a meter loading it over and over shows too.
#include <windows.h>
#include <pdh.h>
#include <pdhmsg.h>

#include <cstring>

#include "tests/tools/pdh_standin.h"

namespace {

HMODULE g_self;
// The handles handed out are the addresses of these.
int g_query;
int g_counter;
DWORD g_collections;

HKEY OpenKey(const char* name)
{
    HKEY key;
    return RegCreateKeyExA(HKEY_CURRENT_USER, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) ==
                   ERROR_SUCCESS
               ? key
               : nullptr;
}

bool ReadDword(const char* name, DWORD& value)
{
    HKEY key = OpenKey(PDH_STANDIN_KEY);
    if (!key) return false;
    DWORD type = 0, size = sizeof value;
    const LONG status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && type == REG_DWORD && size == sizeof value;
}

void Write(const char* keyName, const char* name, DWORD type, const void* data, DWORD size)
{
    HKEY key = OpenKey(keyName);
    if (!key) return;
    RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}

void WriteDword(const char* name, DWORD value)
{
    Write(PDH_STANDIN_KEY, name, REG_DWORD, &value, sizeof value);
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_self = instance;
        char path[MAX_PATH] = "";
        GetModuleFileNameA(g_self, path, MAX_PATH);
        const DWORD loaded = 1;
        Write(PDH_STANDIN_LOADS_KEY, path, REG_DWORD, &loaded, sizeof loaded);
        DWORD loads = 0;
        ReadDword("LoadCount", loads);
        WriteDword("LoadCount", loads + 1);
    }
    return TRUE;
}

__declspec(dllexport) PDH_STATUS WINAPI PdhOpenQueryA(LPCSTR source, DWORD_PTR, PDH_HQUERY* query)
{
    if (source || !query) return PDH_INVALID_ARGUMENT;  // only the live data, as the meter asks
    *query = &g_query;
    g_collections = 0;
    WriteDword("Collections", 0);
    WriteDword("Open", 1);
    return ERROR_SUCCESS;
}

__declspec(dllexport) PDH_STATUS WINAPI PdhAddEnglishCounterA(PDH_HQUERY query, LPCSTR path, DWORD_PTR,
                                                              PDH_HCOUNTER* counter)
{
    if (query != &g_query || !path || !counter) return PDH_INVALID_ARGUMENT;
    Write(PDH_STANDIN_KEY, "Path", REG_SZ, path, static_cast<DWORD>(strlen(path) + 1));
    DWORD exists = 1;
    ReadDword("Counter", exists);
    if (!exists || strcmp(path, PDH_STANDIN_COUNTER) != 0) return PDH_CSTATUS_NO_COUNTER;
    *counter = &g_counter;
    return ERROR_SUCCESS;
}

__declspec(dllexport) PDH_STATUS WINAPI PdhCollectQueryData(PDH_HQUERY query)
{
    if (query != &g_query) return PDH_INVALID_HANDLE;
    WriteDword("Collections", ++g_collections);
    DWORD failing = 0;
    if (ReadDword("FailCollections", failing) && failing > 0) {
        WriteDword("FailCollections", failing - 1);
        return PDH_NO_DATA;
    }
    return ERROR_SUCCESS;
}

__declspec(dllexport) PDH_STATUS WINAPI PdhGetFormattedCounterValue(PDH_HCOUNTER counter, DWORD format, LPDWORD type,
                                                                    PPDH_FMT_COUNTERVALUE value)
{
    if (counter != &g_counter || !value) return PDH_INVALID_HANDLE;
    DWORD figure;
    if (g_collections == 0 || !ReadDword("Figure", figure)) {
        value->CStatus = PDH_CSTATUS_INVALID_DATA;
        return PDH_INVALID_DATA;
    }
    if (format & PDH_FMT_DOUBLE) value->doubleValue = figure / 100.0;
    else if (format & PDH_FMT_LARGE) value->largeValue = figure / 100;
    else if (format & PDH_FMT_LONG) value->longValue = static_cast<LONG>(figure / 100);
    else return PDH_INVALID_ARGUMENT;
    value->CStatus = PDH_CSTATUS_VALID_DATA;
    if (type) *type = 0;
    return ERROR_SUCCESS;
}

__declspec(dllexport) PDH_STATUS WINAPI PdhCloseQuery(PDH_HQUERY query)
{
    if (query != &g_query) return PDH_INVALID_HANDLE;
    WriteDword("Open", 0);
    return ERROR_SUCCESS;
}

}  // extern "C"
