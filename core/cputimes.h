// Processor usage from two snapshots of the system's processor times (idle, kernel, user).
#pragma once

#include <cstdint>

// Cumulative times in any one unit (Windows counts 100 ns ticks); kernel time includes idle
// time, as the system reports it.
struct CpuTimes {
    uint64_t idle;
    uint64_t kernel;
    uint64_t user;
};

// Usage between two snapshots: 100 x busy / total, rounded to the nearest whole percent (a half
// rounds up), where total = kernel + user time passed and busy = total - idle time passed. An
// idle time larger than the total counts as no busy time (0). No time passed, or a counter that
// went backwards, is not a reading: returns false and leaves usage alone.
bool UsageFromCpuTimes(const CpuTimes& previous, const CpuTimes& current, uint32_t& usage);
