// Processor usage from two snapshots of every processor's times.
#include "core/cputimes.h"

namespace {

// 100 x part / whole rounded half up, for part < whole, without a 128-bit product: long
// division one decimal digit at a time, each digit found by adding part to a remainder modulo
// whole ten times and counting the wraps.
uint32_t RoundedPercent(uint64_t part, uint64_t whole)
{
    uint32_t percent = 0;
    uint64_t remainder = part;
    for (int digit = 0; digit < 2; ++digit) {
        uint64_t next = 0;
        uint32_t wraps = 0;
        for (int i = 0; i < 10; ++i) {
            if (next >= whole - remainder) {
                next -= whole - remainder;
                ++wraps;
            } else {
                next += remainder;
            }
        }
        percent = percent * 10 + wraps;
        remainder = next;
    }
    // What is left is below one percent; it rounds up from one half.
    if (remainder >= whole - remainder) ++percent;
    return percent;
}

// sum += value; false when the sum would not fit 64 bits.
bool Add(uint64_t& sum, uint64_t value)
{
    if (value > UINT64_MAX - sum) return false;
    sum += value;
    return true;
}

}  // namespace

bool IdleRecordsNeeded(uint32_t build)
{
    return build >= FIRST_BUILD_MISCOUNTING_IDLE && build < FIRST_BUILD_COUNTING_IDLE_AGAIN;
}

uint32_t BusyPercent(uint64_t idle, uint64_t total)
{
    const uint64_t busy = idle < total ? total - idle : 0;
    return busy == total ? 100 : RoundedPercent(busy, total);
}

SpanResult UsageFromProcessorTimes(const CpuTimes* previous, uint32_t previousCount, const CpuTimes* current,
                                   uint32_t currentCount, uint32_t& usage)
{
    if (currentCount != previousCount || currentCount == 0) return SpanResult::Unusable;
    uint64_t idle = 0;
    uint64_t total = 0;
    for (uint32_t i = 0; i < currentCount; ++i) {
        const CpuTimes& was = previous[i];
        const CpuTimes& now = current[i];
        const bool record = was.haveRecordIdle && now.haveRecordIdle;
        const uint64_t idleWas = record ? was.recordIdle : was.idle;
        const uint64_t idleNow = record ? now.recordIdle : now.idle;
        if (now.kernel < was.kernel || now.user < was.user || idleNow < idleWas) return SpanResult::Unusable;
        uint64_t own = now.kernel - was.kernel;
        if (!Add(own, now.user - was.user)) return SpanResult::Unusable;
        // The idle record runs on while a sleeping processor's kernel and user times wait for it to
        // wake: all of that processor's own span is idle, and no more.
        const uint64_t ownIdle = idleNow - idleWas;
        if (!Add(idle, ownIdle < own ? ownIdle : own) || !Add(total, own)) return SpanResult::Unusable;
    }
    // The product cannot overflow: currentCount is at most 2^32 - 1 and the bound below 2^14.
    if (total < uint64_t{currentCount} * MIN_SPAN_PER_PROCESSOR) return SpanResult::TooShort;
    usage = BusyPercent(idle, total);
    return SpanResult::Usage;
}
