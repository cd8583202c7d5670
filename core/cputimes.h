// Processor usage from two snapshots of every processor's times.
#pragma once

#include <cstdint>

// One processor's cumulative times in the kernel's units of 100 ns. Kernel time includes idle
// time, and the time spent in DPCs and interrupts, as the kernel counts them. Two idle times: the
// one of the processor's performance record, which every NT-family Windows keeps, and the one of
// its idle record, where the system answers for it (XP and later). Windows 11 22H2 and 23H2 count
// the first far too high, which makes every time-based reading of it far too low; the second is
// right there and agrees with the first on earlier Windows.
struct CpuTimes {
    uint64_t idle;           // the performance record's idle time
    uint64_t kernel;
    uint64_t user;
    uint64_t recordIdle;     // the idle record's idle time, when haveRecordIdle
    bool haveRecordIdle;
};

// The least processor time a span must hold, per processor of the snapshot: 1 ms. The kernel
// advances these times in clock ticks (0.5 to 15.6 ms on Windows, 10 ms under Wine), so a span
// with less than this has seen fewer ticks than there are processors: its share would be the
// noise of a few ticks, or of counters that stopped, not the load.
constexpr uint64_t MIN_SPAN_PER_PROCESSOR = 10000;

// 100 x busy / total rounded to the nearest whole percent (a half rounds up), where busy = total
// - idle and an idle time larger than the total counts as no busy time: always 0..100. total
// must not be 0.
uint32_t BusyPercent(uint64_t idle, uint64_t total);

// The busy share between two snapshots of `previousCount` and `currentCount` processors: every
// processor's time passed, kernel + user, and idle time passed, each summed over all processors
// before dividing. A processor's idle time comes from its idle record where both snapshots have
// one, else from its performance record (the two count differently, so a span never mixes them).
// No reading (false, usage left alone): a different number of processors, any time of any
// processor going backwards, sums beyond 64 bits, or a total below MIN_SPAN_PER_PROCESSOR per
// processor. The caller takes the current snapshot as the next one's previous either way.
bool UsageFromProcessorTimes(const CpuTimes* previous, uint32_t previousCount, const CpuTimes* current,
                             uint32_t currentCount, uint32_t& usage);
