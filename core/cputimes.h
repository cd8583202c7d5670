// Processor usage from two snapshots of every processor's times.
#pragma once

#include <cstdint>

// One processor's cumulative times in the kernel's units of 100 ns. Kernel time includes idle
// time, and the time spent in DPCs and interrupts, as the kernel counts them. Two idle times: the
// one of the processor's performance record, which every NT-family Windows keeps, and the one of
// its idle record. The performance record's times are one clock: its kernel and user times
// advance in clock ticks, and on Windows 8 and later an idle processor's only when it wakes, with
// its idle time alongside, so one span of them always fits together. The idle record's idle time
// is exact and runs on regardless, so beside the performance record's kernel and user times it
// can tell of more idle time than a lagging processor's span holds. It is read only where the
// performance record's own idle time is wrong (IdleRecordsNeeded).
struct CpuTimes {
    uint64_t idle;           // the performance record's idle time
    uint64_t kernel;
    uint64_t user;
    uint64_t recordIdle;     // the idle record's idle time, when haveRecordIdle
    bool haveRecordIdle;
};

// Windows 11 22H2 and 23H2 (builds 22621 up to 24H2's 26100, which mended it) count the
// performance record's idle time far too high, which makes every time-based reading of it far too
// low; there the idle record's idle time must stand in for it. Every other build, earlier or later
// (one of a Windows yet to come too), and 0 for a build that is not known, reads the performance
// record alone.
constexpr uint32_t FIRST_BUILD_MISCOUNTING_IDLE = 22621;
constexpr uint32_t FIRST_BUILD_COUNTING_IDLE_AGAIN = 26100;
bool IdleRecordsNeeded(uint32_t build);

// The least processor time a span must hold, per processor of the snapshot: 1 ms. The kernel
// advances these times in clock ticks (0.5 to 15.6 ms on Windows, 10 ms under Wine), so a span
// with less than this has seen fewer ticks than there are processors: its share would be the
// noise of a few ticks, or of counters that stopped, not the load.
constexpr uint64_t MIN_SPAN_PER_PROCESSOR = 10000;

// 100 x busy / total rounded to the nearest whole percent (a half rounds up), where busy = total
// - idle and an idle time larger than the total counts as no busy time: always 0..100. total
// must not be 0.
uint32_t BusyPercent(uint64_t idle, uint64_t total);

// What a span between two snapshots gives.
enum class SpanResult {
    Usage,     // usage holds the busy share
    TooShort,  // too little time passed: the previous snapshot stays the baseline, so that the
               // next span holds this one's time too
    Unusable,  // the two snapshots do not fit together: the current one is the next baseline
};

// The busy share between two snapshots of `previousCount` and `currentCount` processors: every
// processor's time passed, kernel + user, and idle time passed, each summed over all processors
// before dividing. A processor's idle time comes from its idle record where both snapshots have
// one, else from its performance record (the two count differently, so a processor's span never
// mixes them). A processor's idle time passed counts at most its own kernel + user time passed:
// one whose performance record lagged behind its idle record is all idle for that span, never
// negative busy time. Unusable (usage left alone): a different number of processors, any time of
// any processor going backwards, or sums beyond 64 bits. TooShort (usage left alone): a total
// below MIN_SPAN_PER_PROCESSOR per processor.
SpanResult UsageFromProcessorTimes(const CpuTimes* previous, uint32_t previousCount, const CpuTimes* current,
                                   uint32_t currentCount, uint32_t& usage);
