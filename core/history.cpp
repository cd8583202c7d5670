// The usage history: a fixed ring of headroom values, oldest first from the oldest index.
#include "core/history.h"

UsageHistory g_history;

void HistoryReset()
{
    for (int32_t& slot : g_history.ring) slot = 15;
    g_history.oldest = 0;
    g_history.write = HISTORY_LENGTH - 1;
}

int HistoryPush(int32_t headroom)
{
    // After a reset the first push lands in slot 47 (the newest of the idle values) and makes the
    // two indices equal; from then on every push overwrites the oldest sample.
    if (g_history.write == g_history.oldest) g_history.oldest = HistoryWrap(g_history.oldest);
    g_history.ring[g_history.write] = headroom;
    g_history.write = HistoryWrap(g_history.write);
    return g_history.write;
}

int32_t HeadroomFromUsage(uint32_t usage)
{
    // The integer quotient equals truncating (100 - u) * 0.15384615384615385 in double precision
    // for every 32-bit reading, and needs no floating point. The largest result, 660764199 for
    // u = 101, fits a signed 32-bit value.
    const uint32_t free = 100u - usage;
    return static_cast<int32_t>((uint64_t{free} * 2u) / 13u);
}
