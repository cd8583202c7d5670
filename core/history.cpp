// The usage history: a fixed ring of readings, scanned newest-last for as many columns as the
// graph has.
#include "core/history.h"

UsageHistory g_history;

void HistoryReset()
{
    for (uint32_t& slot : g_history.ring) slot = 0;
    g_history.write = 0;
    g_history.samples = 0;
}

int HistoryPush(uint32_t usage)
{
    g_history.ring[g_history.write] = usage;
    g_history.write = HistoryWrap(g_history.write);
    if (g_history.samples < HISTORY_LENGTH) ++g_history.samples;
    return g_history.write;
}

uint32_t HeadroomFromUsage(uint32_t usage, int size)
{
    if (size < MIN_ICON_SIZE) size = MIN_ICON_SIZE;
    if (size > MAX_ICON_SIZE) size = MAX_ICON_SIZE;
    // Above 100, with d = 100 - usage = 195 q + r, floor(k d / 195) = k q + floor(k r / 195) for
    // k = 2 (size - 1) <= 126: exact, no 64-bit division (a library call on a 32-bit processor),
    // and no overflow, since k q + k r / 195 <= 126 (2^32 - 1) / 195 < 2^32.
    const uint32_t idle = 100u - usage;
    const uint32_t k = 2u * static_cast<uint32_t>(size - 1);
    if (idle > 100u) return k * (idle / 195u) + k * (idle % 195u) / 195u;
    const uint32_t headroom = k * idle / 195u;
    const uint32_t top = static_cast<uint32_t>(size - 1);
    return headroom > top ? top : headroom;
}
