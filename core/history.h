// The last 48 processor-load samples, kept as headroom values in a ring that is always full.
#pragma once

#include <cstdint>

// One sample per graph column: three icons of 16 columns.
constexpr int HISTORY_LENGTH = 48;

// The ring and its three positions; one instance lives for the whole run (see history.cpp).
struct UsageHistory {
    int32_t ring[HISTORY_LENGTH];
    int32_t oldest;  // slot of the oldest sample: where a scan starts
    int32_t write;   // slot that the next push writes
    int32_t cursor;  // the renderer's read position
};

// (i + 1) mod 48: the one step used for every index.
int HistoryWrap(int i);

// Fills the ring with the idle headroom 15; oldest := 0, write := 47. The cursor is left alone.
void HistoryReset();

// Appends a headroom value, dropping the oldest; returns the new write index.
int HistoryPush(int32_t headroom);

// A scan is HistoryRewind() followed by 48 x (HistoryPeek(), HistoryStep()), oldest first.
void HistoryRewind();
int32_t HistoryPeek();
int HistoryStep();

// Empty pixel rows above the bar for a usage reading in percent: floor(2 * (100 - u) / 13),
// with 100 - u taken modulo 2^32, so readings above 100 wrap to very large headrooms.
int32_t HeadroomFromUsage(uint32_t usage);
