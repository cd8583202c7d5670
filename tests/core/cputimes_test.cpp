// Processor usage from two snapshots of every processor's times.
#include "core/cputimes.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr uint64_t MAX = UINT64_MAX;
constexpr uint64_t MS = 10000;  // one millisecond in the kernel's units of 100 ns

TEST(BusyPercent, IsBusyOverTotalRoundedToTheNearestPercent)
{
    const struct {
        uint64_t idle, total;
        uint32_t percent;
    } cases[] = {
        {100, 100, 0},    // only idle time passed
        {0, 100, 100},    // no idle time at all
        {50, 100, 50},
        {5, 8, 38},       // 37.5 rounds up
        {199, 200, 1},    // 0.5 rounds up
        {200, 201, 0},    // 0.497... rounds down
        {1, 200, 100},    // 99.5 rounds up to a full load
        {3, 400, 99},     // 99.25
        {150, 100, 0},    // idle larger than total: no busy time, never below 0
        {500, 400, 0},
        {MAX, 1, 0},
        {uint64_t{1} << 62, MAX, 75},
        // Totals where 100 x busy does not fit 64 bits: rounding at one half is still exact.
        {uint64_t{199} << 56, uint64_t{200} << 56, 1},
        {(uint64_t{199} << 56) + 1, uint64_t{200} << 56, 0},
        {uint64_t{1} << 56, uint64_t{200} << 56, 100},
        {(uint64_t{1} << 56) + 1, uint64_t{200} << 56, 99},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "idle " << c.idle << " of " << c.total);
        EXPECT_EQ(BusyPercent(c.idle, c.total), c.percent);
    }
}

// One processor: the performance record's idle, kernel and user time, and the idle record's idle
// time where given.
CpuTimes Cpu(uint64_t idle, uint64_t kernel, uint64_t user)
{
    return {idle, kernel, user, 0, false};
}

CpuTimes Cpu(uint64_t idle, uint64_t kernel, uint64_t user, uint64_t recordIdle)
{
    return {idle, kernel, user, recordIdle, true};
}

using Snapshot = std::vector<CpuTimes>;

// n processors, all alike.
Snapshot Times(size_t n, const CpuTimes& each)
{
    return Snapshot(n, each);
}

Snapshot operator+(Snapshot a, const Snapshot& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The busy share over all processors; each processor's span is previous -> current.
struct Span {
    const char* what;
    Snapshot previous, current;
};

TEST(ProcessorTimes, IdleRecordsAreReadOnlyOnTheBuildsThatMiscountTheIdleTime)
{
    const struct {
        const char* what;
        uint32_t build;
        bool idleRecords;
    } cases[] = {
        {"unknown (NT 4.0)", 0, false},
        {"2000", 2195, false},
        {"XP", 2600, false},
        {"7 SP1", 7601, false},
        {"8", 9200, false},
        {"10 22H2", 19045, false},
        {"11 21H2", 22000, false},
        {"the build before 22H2", 22620, false},
        {"11 22H2", 22621, true},
        {"11 23H2", 22631, true},
        {"the last build before 24H2", 26099, true},
        {"11 24H2", 26100, false},
        {"11 25H2", 26200, false},
        {"a Windows yet to come", 30000, false},
        {"the largest build number", UINT32_MAX, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.what << ", build " << c.build);
        EXPECT_EQ(IdleRecordsNeeded(c.build), c.idleRecords);
    }
}

// previous -> current over all processors.
SpanResult Measure(const Snapshot& previous, const Snapshot& current, uint32_t& usage)
{
    return UsageFromProcessorTimes(previous.data(), static_cast<uint32_t>(previous.size()), current.data(),
                                   static_cast<uint32_t>(current.size()), usage);
}

TEST(ProcessorTimes, TheBusyShareIsSummedOverEveryProcessorBeforeDividing)
{
    const CpuTimes zero = Cpu(0, 0, 0);
    const struct {
        Span span;
        uint32_t usage;
    } cases[] = {
        {{"one processor, half busy", {zero}, {Cpu(500 * MS, 700 * MS, 300 * MS)}}, 50},
        {{"deltas, not absolute values", {Cpu(9 * MS, 20 * MS, 30 * MS)}, {Cpu(59 * MS, 95 * MS, 55 * MS)}}, 50},
        // 100 ms all busy beside 300 ms all idle: 25 %, where the mean of the two shares is 50 %.
        {{"summed, not averaged", {zero, zero}, {Cpu(0, 60 * MS, 40 * MS), Cpu(300 * MS, 300 * MS, 0)}}, 25},
        // Windows 11 22H2 and 23H2: the performance record says 95 % idle, the idle record 50 %.
        {{"22H2: the idle record's idle time", Times(4, Cpu(0, 0, 0, 0)),
          Times(4, Cpu(950 * MS, 600 * MS, 400 * MS, 500 * MS))},
         50},
        {{"22H2 without idle records: the fault shows", Times(4, zero), Times(4, Cpu(950 * MS, 600 * MS, 400 * MS))}, 5},
        // The two idle times count differently: a processor takes the idle record's only where
        // both snapshots have one.
        {{"an idle record in one snapshot only", {Cpu(0, 0, 0, 0)}, {Cpu(950 * MS, 600 * MS, 400 * MS)}}, 5},
        {{"an idle record in the other only", {zero}, {Cpu(950 * MS, 600 * MS, 400 * MS, 500 * MS)}}, 5},
        // Three processor groups of 64, 64 and 16: all busy, all idle, half busy.
        {{"several groups added up", Times(144, zero),
          Times(64, Cpu(0, 50 * MS, 50 * MS)) + Times(64, Cpu(100 * MS, 100 * MS, 0)) +
              Times(16, Cpu(50 * MS, 50 * MS, 50 * MS))},
         50},
        // A 32-bit program may get fewer entries than the machine has processors: what comes back
        // is what counts.
        {{"32 of 48 processors' entries came back", Times(32, zero),
          Times(16, Cpu(0, 100 * MS, 0)) + Times(16, Cpu(100 * MS, 100 * MS, 0))},
         50},
        // All 48 in the performance records, only 32 with an idle record: those take it, the
        // other 16 their performance record's idle time (90 % idle where 50 % is right).
        {{"32 of 48 processors with an idle record", Times(32, Cpu(0, 0, 0, 0)) + Times(16, zero),
          Times(32, Cpu(900 * MS, 1000 * MS, 0, 500 * MS)) + Times(16, Cpu(900 * MS, 1000 * MS, 0))},
         37},  // idle 32 x 0.5 + 16 x 0.9 = 30.4 of 48 s: 36.7 %
        // The performance record's idle time is not used beside an idle record, so it may even
        // go back (it is the one counted wrongly).
        {{"the unused idle time went back", {Cpu(900 * MS, 0, 0, 0)}, {Cpu(800 * MS, 600 * MS, 400 * MS, 500 * MS)}}, 50},
        {{"exactly 1 ms per processor", Times(4, zero), Times(4, Cpu(MS / 2, MS, 0))}, 50},
        // Near the top of the 64-bit range the differences still count.
        {{"near 2^64", {Cpu(MAX - 2000 * MS, MAX - 2000 * MS, 7)}, {Cpu(MAX - 1750 * MS, MAX - 1000 * MS, 7)}}, 75},
        {{"sums just inside 64 bits", Times(2, zero), Times(2, Cpu(uint64_t{1} << 61, uint64_t{1} << 62, (uint64_t{1} << 62) - 1))},
         75},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.span.what);
        uint32_t usage = 12345;
        ASSERT_EQ(Measure(c.span.previous, c.span.current, usage), SpanResult::Usage);
        EXPECT_EQ(usage, c.usage);
    }
}

// The performance record's kernel and user times advance in clock ticks, and those of a processor
// that sleeps only when it wakes, while its idle record's idle time runs on exactly: beside each
// other, a processor can show far more idle time than kernel + user time in one span.
TEST(ProcessorTimes, AProcessorWhosePerformanceRecordLaggedIsIdleForItsSpanNotNegativeLoad)
{
    // Published times of three processors of a 24-thread machine on Windows 11, one span: kernel
    // + user (here all kernel time) and the idle record's idle time. The second one's kernel +
    // user time moved 31 ms, its idle record 259 ms: -728 % on its own, which dragged the sum to
    // 0 % although the other two were busy for 13 % and 39 % of their 250 ms.
    const Snapshot publishedBefore = {Cpu(0, 137425937500, 0, 128166338250), Cpu(0, 137424375000, 0, 135490648613),
                                      Cpu(0, 137424687500, 0, 128425694011)};
    const Snapshot publishedAfter = {Cpu(0, 137428437500, 0, 128168511086), Cpu(0, 137424687500, 0, 135493237962),
                                     Cpu(0, 137427187500, 0, 128427222681)};
    const struct {
        Span span;
        uint32_t usage;
    } cases[] = {
        // Busy 327,164 + 0 + 971,330 of 5,312,500: 24.4 %.
        {{"the published span", publishedBefore, publishedAfter}, 24},
        // Three processors half busy for 100 ms; the fourth's kernel and user times did not move
        // while its idle record went on: it adds nothing to either sum.
        {{"one processor's performance record stood still", Times(4, Cpu(0, 0, 0, 0)),
          Times(3, Cpu(0, 70 * MS, 30 * MS, 50 * MS)) + Times(1, Cpu(0, 0, 0, 100 * MS))},
         50},
        // A processor's own span, not the sum's, bounds its idle time: 30 ms of idle record
        // against 10 ms of its own time, beside one that was all busy for 90 ms.
        {{"bounded per processor", Times(2, Cpu(0, 0, 0, 0)), {Cpu(0, 10 * MS, 0, 30 * MS), Cpu(0, 50 * MS, 40 * MS, 0)}},
         90},
        {{"idle record above the total of a single processor", {Cpu(0, 0, 0, 0)}, {Cpu(0, 60 * MS, 40 * MS, 200 * MS)}}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.span.what);
        uint32_t usage = 12345;
        ASSERT_EQ(Measure(c.span.previous, c.span.current, usage), SpanResult::Usage);
        EXPECT_EQ(usage, c.usage);
    }
}

// No reading either way; the result says which snapshot the next span starts from.
TEST(ProcessorTimes, SnapshotsThatDoNotFitStartAfreshAndTooShortASpanKeepsItsBaseline)
{
    const CpuTimes zero = Cpu(0, 0, 0);
    const CpuTimes busy = Cpu(50 * MS, 100 * MS, 100 * MS);
    constexpr SpanResult AFRESH = SpanResult::Unusable, SHORT = SpanResult::TooShort;
    const struct {
        Span span;
        SpanResult result;
    } cases[] = {
        {{"a processor more", Times(47, zero), Times(48, busy)}, AFRESH},
        {{"a processor less", Times(48, zero), Times(47, busy)}, AFRESH},
        {{"no processors", {}, {}}, AFRESH},
        {{"kernel time went back on one processor", Times(3, zero) + Times(1, busy), Times(4, Cpu(60 * MS, 90 * MS, 200 * MS))},
         AFRESH},
        {{"user time went back", {busy}, {Cpu(60 * MS, 200 * MS, 90 * MS)}}, AFRESH},
        {{"idle time went back", {busy}, {Cpu(40 * MS, 200 * MS, 200 * MS)}}, AFRESH},
        {{"the idle record went back", {Cpu(0, 0, 0, 50 * MS)}, {Cpu(50 * MS, 100 * MS, 100 * MS, 40 * MS)}}, AFRESH},
        {{"a processor's kernel + user beyond 64 bits", {zero}, {Cpu(0, uint64_t{1} << 63, uint64_t{1} << 63)}}, AFRESH},
        {{"summed totals beyond 64 bits", Times(2, zero), Times(2, Cpu(0, uint64_t{1} << 63, 0))}, AFRESH},
        {{"equal snapshots", {busy}, {busy}}, SHORT},
        {{"only idle time passed, kernel and user did not", {zero}, {Cpu(MS, 0, 0)}}, SHORT},
        {{"only the idle record moved", {Cpu(0, 0, 0, 0)}, {Cpu(0, 0, 0, 5 * MS)}}, SHORT},
        {{"less than 1 ms per processor", Times(4, zero), Times(4, Cpu(0, MS - 1, 0))}, SHORT},
        {{"4 ms on one of four processors, one short", Times(4, zero), Times(1, Cpu(0, 4 * MS - 1, 0)) + Times(3, zero)},
         SHORT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.span.what);
        uint32_t usage = 12345;
        EXPECT_EQ(Measure(c.span.previous, c.span.current, usage), c.result);
        EXPECT_EQ(usage, 12345u);
    }
}

// Measured from the snapshot kept as the baseline, two short spans in a row make one reading;
// from a baseline that moved on to the short one's end, their time would be lost.
TEST(ProcessorTimes, TheSpanAfterATooShortOneIsMeasuredFromTheKeptBaseline)
{
    const Snapshot start = Times(4, Cpu(0, 0, 0));
    const Snapshot busyShort = Times(4, Cpu(0, 6 * MS / 10, 0));               // 0.6 ms busy each
    const Snapshot thenIdleShort = Times(4, Cpu(6 * MS / 10, 12 * MS / 10, 0));  // and 0.6 ms idle
    uint32_t usage = 12345;
    EXPECT_EQ(Measure(start, busyShort, usage), SpanResult::TooShort);
    EXPECT_EQ(Measure(busyShort, thenIdleShort, usage), SpanResult::TooShort) << "from the short span's end";
    ASSERT_EQ(Measure(start, thenIdleShort, usage), SpanResult::Usage);
    EXPECT_EQ(usage, 50u);
}

}  // namespace
