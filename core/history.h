// The last 48 processor-load samples, kept as headroom values in a ring that is always full.
#pragma once

#include <cstdint>

// One sample per graph column: three icons of 16 columns.
constexpr int HISTORY_LENGTH = 48;

// The ring and its three positions.
struct UsageHistory {
    int32_t ring[HISTORY_LENGTH];
    int32_t oldest;  // slot of the oldest sample: where a scan starts
    int32_t write;   // slot that the next push writes
    int32_t cursor;  // the renderer's read position
};

// The one history of the run, defined in history.cpp; all zeros until the first HistoryReset.
// Change it only through the functions below.
extern UsageHistory g_history;

// (i + 1) mod 48: the one step used for every index.
inline int HistoryWrap(int i)
{
    return i == HISTORY_LENGTH - 1 ? 0 : i + 1;
}

// Fills the ring with the idle headroom 15; oldest := 0, write := 47. The cursor is left alone.
void HistoryReset();

// Appends a headroom value, dropping the oldest; returns the new write index.
int HistoryPush(int32_t headroom);

// A scan is HistoryRewind() followed by 48 x (HistoryPeek(), HistoryStep()), oldest first.
// Inline: the renderer runs a whole scan on every tick.
inline void HistoryRewind()
{
    g_history.cursor = g_history.oldest;
}

inline int32_t HistoryPeek()
{
    return g_history.ring[g_history.cursor];
}

inline int HistoryStep()
{
    g_history.cursor = HistoryWrap(g_history.cursor);
    return g_history.cursor;
}

// Empty pixel rows above the bar for a usage reading in percent: floor(2 * (100 - u) / 13),
// with 100 - u taken modulo 2^32, so readings above 100 wrap to very large headrooms.
int32_t HeadroomFromUsage(uint32_t usage);
