// The processor-usage statistic: the kernel's value under HKEY_DYN_DATA, or the system's own
// processor times where that value does not exist.
#include "stats/stats.h"

#include <windows.h>

#include "core/cputimes.h"

namespace {

const char STATISTIC[] = "KERNEL\\CPUUsage";

// One statistics read: open key K, query the statistic into a 4-byte buffer, close K. The buffer
// is zeroed first, so a shorter REG_BINARY value leaves zeros, never unwritten bytes. A key that
// cannot be opened holds no value either: that is reported as ERROR_FILE_NOT_FOUND.
LONG ReadStatistic(const char* keyName, DWORD& type, uint32_t& data)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_DYN_DATA, keyName, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return ERROR_FILE_NOT_FOUND;
    data = 0;
    DWORD size = sizeof data;
    const LONG status =
        RegQueryValueExA(key, STATISTIC, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
    RegCloseKey(key);
    return status;
}

void TouchStatistic(const char* keyName)
{
    DWORD type;
    uint32_t data;
    ReadStatistic(keyName, type, data);
}

// Only the oldest Windows line publishes the statistic. Elsewhere (every NT-family Windows,
// Wine) the load comes from GetSystemTimes, looked up at run time so that the program still
// loads where kernel32 lacks it.
using GetSystemTimesProc = BOOL(WINAPI*)(FILETIME* idle, FILETIME* kernel, FILETIME* user);

GetSystemTimesProc g_getSystemTimes;
CpuTimes g_lastTimes;      // the previous snapshot: each reading covers the time since then
bool g_haveLastTimes;

uint64_t Ticks(const FILETIME& time)
{
    return (uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

bool TakeCpuSnapshot(CpuTimes& times)
{
    if (!g_getSystemTimes) {
        const FARPROC proc = GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetSystemTimes");
        g_getSystemTimes = reinterpret_cast<GetSystemTimesProc>(reinterpret_cast<void (*)()>(proc));
        if (!g_getSystemTimes) return false;
    }
    FILETIME idle, kernel, user;
    if (!g_getSystemTimes(&idle, &kernel, &user)) return false;
    times = {Ticks(idle), Ticks(kernel), Ticks(user)};
    return true;
}

// Usage since the previous snapshot; the new snapshot becomes the previous one.
bool ReadUsageFromCpuTimes(uint32_t& usage)
{
    CpuTimes now;
    if (!TakeCpuSnapshot(now)) {
        g_haveLastTimes = false;
        return false;
    }
    const bool ok = g_haveLastTimes && UsageFromCpuTimes(g_lastTimes, now, usage);
    g_lastTimes = now;
    g_haveLastTimes = true;
    return ok;
}

}  // namespace

void PrimeProcessorStats()
{
    for (int pass = 0; pass < 10; ++pass) {
        TouchStatistic("PerfStats\\StartSrv");
        TouchStatistic("PerfStats\\StartStat");
    }
    // The first snapshot, so that the first tick already has a time span to measure.
    g_haveLastTimes = TakeCpuSnapshot(g_lastTimes);
}

bool ReadProcessorUsage(uint32_t& usage)
{
    DWORD type = REG_NONE;
    uint32_t data;
    const LONG status = ReadStatistic("PerfStats\\StatData", type, data);
    if (status == ERROR_FILE_NOT_FOUND) return ReadUsageFromCpuTimes(usage);
    // A value of another type, or longer than 4 bytes (the query fails), is not a sample.
    if (status != ERROR_SUCCESS || type != REG_BINARY) return false;
    usage = data;
    return true;
}

void StopProcessorStats()
{
    TouchStatistic("PerfStats\\StopStat");
}
