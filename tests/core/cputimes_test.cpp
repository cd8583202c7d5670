// Processor usage from two snapshots of the system's processor times.
#include "core/cputimes.h"

#include <gtest/gtest.h>

namespace {

constexpr uint64_t MAX = UINT64_MAX;

TEST(CpuTimes, UsageIsBusyOverTotalRoundedToTheNearestPercent)
{
    // previous = {idle, kernel, user}; kernel includes idle.
    const struct {
        CpuTimes previous, current;
        uint32_t usage;
    } cases[] = {
        {{0, 0, 0}, {100, 100, 0}, 0},            // only idle time passed
        {{0, 0, 0}, {0, 60, 40}, 100},            // no idle time at all
        {{10, 20, 30}, {60, 95, 55}, 50},         // deltas, not absolute values
        {{0, 0, 0}, {5, 8, 0}, 38},               // 37.5 rounds up
        {{0, 0, 0}, {199, 200, 0}, 1},            // 0.5 rounds up
        {{0, 0, 0}, {200, 201, 0}, 0},            // 0.497... rounds down
        {{0, 0, 0}, {1, 200, 0}, 100},            // 99.5 rounds up to a full load
        {{0, 0, 0}, {3, 400, 0}, 99},             // 99.25
        {{0, 0, 0}, {150, 100, 0}, 0},            // idle larger than total: no busy time
        {{0, 0, 0}, {500, 100, 300}, 0},
        // Near the top of the 64-bit range the differences still count.
        {{MAX - 1000, MAX - 1000, 7}, {MAX - 750, MAX, 7}, 75},
        {{0, 0, 0}, {uint64_t{1} << 62, uint64_t{1} << 63, (uint64_t{1} << 63) - 1}, 75},
        // Totals where 100 x busy does not fit 64 bits: rounding at one half is still exact.
        {{0, 0, 0}, {(uint64_t{200} << 56) - (uint64_t{1} << 56), uint64_t{200} << 56, 0}, 1},
        {{0, 0, 0}, {(uint64_t{200} << 56) - (uint64_t{1} << 56) + 1, uint64_t{200} << 56, 0}, 0},
        {{0, 0, 0}, {uint64_t{1} << 56, uint64_t{200} << 56, 0}, 100},
        {{0, 0, 0}, {(uint64_t{1} << 56) + 1, uint64_t{200} << 56, 0}, 99},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "idle " << c.current.idle - c.previous.idle << " kernel "
                                        << c.current.kernel - c.previous.kernel << " user "
                                        << c.current.user - c.previous.user);
        uint32_t usage = 12345;
        ASSERT_TRUE(UsageFromCpuTimes(c.previous, c.current, usage));
        EXPECT_EQ(usage, c.usage);
    }
}

TEST(CpuTimes, NoTimePassedOrCountersGoingBackIsNoReading)
{
    const struct {
        const char* what;
        CpuTimes previous, current;
    } cases[] = {
        {"equal snapshots", {5, 9, 3}, {5, 9, 3}},
        {"only idle time passed, kernel and user did not", {5, 9, 3}, {8, 9, 3}},
        {"kernel time went back", {0, 100, 0}, {50, 50, 100}},
        {"user time went back", {0, 0, 100}, {0, 100, 50}},
        {"idle time went back", {100, 100, 0}, {50, 200, 0}},
        {"total beyond 64 bits", {0, 0, 0}, {0, uint64_t{1} << 63, uint64_t{1} << 63}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        uint32_t usage = 12345;
        EXPECT_FALSE(UsageFromCpuTimes(c.previous, c.current, usage));
        EXPECT_EQ(usage, 12345u);
    }
}

}  // namespace
