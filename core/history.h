// The last processor-load readings, as many as the widest graph shows, in a fixed ring; and the
// headroom scale that turns a reading into a column of an icon of any supported size.
#pragma once

#include <cstdint>

// The graph runs across three icons, one column per sample.
constexpr int STRIP_ICONS = 3;

// Icon sizes in pixels: the small-icon size at 100 % display scaling, and at 400 %.
constexpr int MIN_ICON_SIZE = 16;
constexpr int MAX_ICON_SIZE = 64;

// Enough readings for the widest graph, so that a change of icon size redraws the recent history
// at the new size at once instead of starting over.
constexpr int HISTORY_LENGTH = STRIP_ICONS * MAX_ICON_SIZE;  // 192

// The ring of readings and the renderer's scan through it.
struct UsageHistory {
    uint32_t ring[HISTORY_LENGTH];  // readings in percent, as read; the newest at write - 1
    int32_t write;                  // slot that the next push writes
    int32_t samples;                // readings pushed since the reset, at most HISTORY_LENGTH
    int32_t cursor;                 // the renderer's read position
};

// The one history of the run, defined in history.cpp. Change it only through the functions below.
extern UsageHistory g_history;

// (i + 1) mod HISTORY_LENGTH: the one step used for every index.
inline int HistoryWrap(int i)
{
    return i == HISTORY_LENGTH - 1 ? 0 : i + 1;
}

// Forgets every reading: every column draws the idle baseline until samples arrive. The scan is
// left alone.
void HistoryReset();

// Appends a reading, dropping the oldest once the ring is full; returns the new write index.
int HistoryPush(uint32_t usage);

// Empty pixel rows above the bar in a column of an icon `size` pixels high (clamped to 16..64):
// floor(2 (size - 1) d / 195) with d = 100 - usage taken modulo 2^32, so readings above 100 wrap
// to very large headrooms (an empty column). At size 16 this is floor(2 d / 13) for every reading.
// A reading of 0 to 100 never leaves its column empty: from size 40 on the scale reaches past
// the top for the idle readings (at 64 pixels, 0 % gives 64), which are drawn as the baseline,
// size - 1, like every other idle reading; sizes up to 32 never need this.
uint32_t HeadroomFromUsage(uint32_t usage, int size = MIN_ICON_SIZE);

// A scan is HistoryRewind(columns) followed by columns x (HistoryPeek(), HistoryStep()): the
// newest `columns` readings (at most HISTORY_LENGTH), oldest first. The rewind returns how many
// of the first columns lie before the first sample since the reset: the graph draws those as the
// idle baseline, whatever their slots hold. Inline: the renderer runs a whole scan whenever it
// draws.
inline int HistoryRewind(int columns)
{
    if (columns > HISTORY_LENGTH) columns = HISTORY_LENGTH;
    if (columns < 0) columns = 0;
    const int start = g_history.write - columns;
    g_history.cursor = start < 0 ? start + HISTORY_LENGTH : start;
    return columns > g_history.samples ? columns - g_history.samples : 0;
}

inline uint32_t HistoryPeek()
{
    return g_history.ring[g_history.cursor];
}

inline int HistoryStep()
{
    g_history.cursor = HistoryWrap(g_history.cursor);
    return g_history.cursor;
}
