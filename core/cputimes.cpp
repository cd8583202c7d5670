// Processor usage from two snapshots of the system's processor times.
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

}  // namespace

bool UsageFromCpuTimes(const CpuTimes& previous, const CpuTimes& current, uint32_t& usage)
{
    if (current.idle < previous.idle || current.kernel < previous.kernel ||
        current.user < previous.user)
        return false;
    const uint64_t idle = current.idle - previous.idle;
    const uint64_t kernel = current.kernel - previous.kernel;
    const uint64_t user = current.user - previous.user;
    if (kernel > UINT64_MAX - user) return false;  // no real pair of snapshots gets here
    const uint64_t total = kernel + user;
    if (total == 0) return false;
    const uint64_t busy = idle < total ? total - idle : 0;
    usage = busy == total ? 100 : RoundedPercent(busy, total);
    return true;
}
