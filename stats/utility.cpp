// Task Manager's figure from the performance data helper. Task Manager on Windows 8 and 10, and on
// Windows 11 until its May 2025 update, shows "% Processor Utility": the work done against what
// the processors do at their base clock, so a processor running faster than that counts as more
// than busy, capped at 100.
#include "stats/utility.h"

#include <windows.h>
#include <pdh.h>
#include <pdhmsg.h>

#include "settings/system.h"

namespace {

using PdhOpenQueryAProc = PDH_STATUS(WINAPI*)(LPCSTR source, DWORD_PTR data, PDH_HQUERY* query);
using PdhAddEnglishCounterAProc = PDH_STATUS(WINAPI*)(PDH_HQUERY query, LPCSTR path, DWORD_PTR data,
                                                      PDH_HCOUNTER* counter);
using PdhCollectQueryDataProc = PDH_STATUS(WINAPI*)(PDH_HQUERY query);
using PdhGetFormattedCounterValueProc = PDH_STATUS(WINAPI*)(PDH_HCOUNTER counter, DWORD format, DWORD* type,
                                                            PDH_FMT_COUNTERVALUE* value);
using PdhCloseQueryProc = PDH_STATUS(WINAPI*)(PDH_HQUERY query);

// The English path works whatever the display language (PdhAddEnglishCounter, Vista and later).
const char UTILITY_COUNTER[] = "\\Processor Information(_Total)\\% Processor Utility";

struct Utility {
    HMODULE pdh;
    PDH_HQUERY query;
    PDH_HCOUNTER counter;
    PdhCollectQueryDataProc collect;
    PdhGetFormattedCounterValueProc value;
    PdhCloseQueryProc close;
    bool collected;  // a collection since the counter was opened
};
Utility g_utility;

template <typename Proc>
Proc PdhProc(const char* name)
{
    return reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(GetProcAddress(g_utility.pdh, name)));
}

}  // namespace

bool UtilityCounterOpen()
{
    return g_utility.counter != nullptr;
}

bool OpenUtilityCounter()
{
    if (UtilityCounterOpen()) return true;
    // From the system directory only: a pdh.dll beside the program is never loaded.
    g_utility.pdh = LoadSystemLibrary("pdh.dll");
    if (!g_utility.pdh) return false;
    const auto open = PdhProc<PdhOpenQueryAProc>("PdhOpenQueryA");
    const auto add = PdhProc<PdhAddEnglishCounterAProc>("PdhAddEnglishCounterA");
    g_utility.collect = PdhProc<PdhCollectQueryDataProc>("PdhCollectQueryData");
    g_utility.value = PdhProc<PdhGetFormattedCounterValueProc>("PdhGetFormattedCounterValue");
    g_utility.close = PdhProc<PdhCloseQueryProc>("PdhCloseQuery");
    if (open && add && g_utility.collect && g_utility.value && g_utility.close &&
        open(nullptr, 0, &g_utility.query) == ERROR_SUCCESS) {
        PDH_HCOUNTER counter = nullptr;
        if (add(g_utility.query, UTILITY_COUNTER, 0, &counter) == ERROR_SUCCESS && counter) {
            g_utility.counter = counter;
            // A rate needs two collections: the first one now, so that the next tick has a value.
            g_utility.collected = g_utility.collect(g_utility.query) == ERROR_SUCCESS;
            return true;
        }
    }
    CloseUtilityCounter();
    return false;
}

void CloseUtilityCounter()
{
    if (g_utility.query) g_utility.close(g_utility.query);
    if (g_utility.pdh) FreeLibrary(g_utility.pdh);
    g_utility = Utility{};
}

UtilityReading ReadUtilityCounter(uint32_t& usage)
{
    if (!UtilityCounterOpen() || g_utility.collect(g_utility.query) != ERROR_SUCCESS) return UtilityReading::Missing;
    if (!g_utility.collected) {
        g_utility.collected = true;
        return UtilityReading::NotYet;
    }
    PDH_FMT_COUNTERVALUE value = {};
    if (g_utility.value(g_utility.counter, PDH_FMT_DOUBLE, nullptr, &value) != ERROR_SUCCESS ||
        (value.CStatus != PDH_CSTATUS_VALID_DATA && value.CStatus != PDH_CSTATUS_NEW_DATA))
        return UtilityReading::Missing;
    const double figure = value.doubleValue;
    // Also false for a value that is not a number.
    if (!(figure >= 0)) return UtilityReading::Missing;
    usage = figure >= 99.5 ? 100 : static_cast<uint32_t>(static_cast<int>(figure + 0.5));
    return UtilityReading::Value;
}
