// The processor-usage statistic: the kernel's value under HKEY_DYN_DATA, or the kernel's own
// processor times where that value does not exist; or Task Manager's figure where the user asks
// for it and the system has it.
#include "stats/stats.h"

#include <windows.h>

#include "settings/settings.h"
#include "stats/kernel_times.h"
#include "stats/utility.h"

namespace {

const char STATISTIC[] = "KERNEL\\CPUUsage";

// Task Manager's figure was asked for and could not be opened: not tried again until the stored
// choice changes. Settings broadcasts come often (any program may send them), and each try loads
// pdh.dll and reads the counter store.
bool g_utilityOpenFailed;

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

// The time-based reading. Only the oldest Windows line publishes the statistic, which stays first
// as it always was; elsewhere (every NT-family Windows, Wine) the kernel's own processor times.
bool ReadTimeBasedUsage(uint32_t& usage)
{
    DWORD type = REG_NONE;
    uint32_t data;
    const LONG status = ReadStatistic("PerfStats\\StatData", type, data);
    if (status == ERROR_FILE_NOT_FOUND) return ReadUsageFromKernelTimes(usage);
    // A value of another type, or longer than 4 bytes (the query fails), is not a sample.
    if (status != ERROR_SUCCESS || type != REG_BINARY) return false;
    usage = data;
    return true;
}

}  // namespace

void PrimeProcessorStats()
{
    for (int pass = 0; pass < 10; ++pass) {
        TouchStatistic("PerfStats\\StartSrv");
        TouchStatistic("PerfStats\\StartStat");
    }
    FollowMeasureChoice();
    // The first snapshot, so that the first tick already has a time span to measure.
    uint32_t discarded;
    ReadUsageFromKernelTimes(discarded);
}

void FollowMeasureChoice()
{
    if (LoadMeasureChoice() != MEASURE_UTILITY) {
        CloseUtilityCounter();
        g_utilityOpenFailed = false;
    } else if (!g_utilityOpenFailed) {
        g_utilityOpenFailed = !OpenUtilityCounter();
    }
}

bool ReadProcessorUsage(uint32_t& usage)
{
    // Taken on every tick, even while Task Manager's figure is shown, so that a tick where that
    // figure is missing shows a time-based reading of one tick's span, not one since the start.
    uint32_t timeBased = 0;
    const bool haveTimeBased = ReadTimeBasedUsage(timeBased);
    if (UtilityCounterOpen()) {
        switch (ReadUtilityCounter(usage)) {
        case UtilityReading::Value: return true;
        case UtilityReading::NotYet: return false;
        case UtilityReading::Missing: break;
        }
    }
    if (haveTimeBased) usage = timeBased;
    return haveTimeBased;
}

void StopProcessorStats()
{
    TouchStatistic("PerfStats\\StopStat");
    CloseUtilityCounter();
}
