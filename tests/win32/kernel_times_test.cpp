// The kernel's processor times on every kind of NT-family Windows, played through the seam in
// front of the kernel's queries: which queries each system gets, how the answers add up, and
// what a refused or failed query leaves.
#include "stats/kernel_times.h"
#include "stats/stats.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "dyn_data.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr LONG STATUS_UNSUCCESSFUL_ = static_cast<LONG>(0xC0000001);
constexpr LONG STATUS_NOT_IMPLEMENTED_ = static_cast<LONG>(0xC0000002);
constexpr LONG STATUS_INVALID_INFO_CLASS_ = static_cast<LONG>(0xC0000003);
constexpr uint64_t SPAN = 10000000;  // one second of one processor, in 100 ns units

// One processor of the played system: its cumulative times, and how idle it is in each span by
// its idle record (the truth) and by its performance record (too idle on Windows 11 22H2 and
// 23H2, where the performance record counts idle time wrongly; right everywhere else).
struct Processor {
    int idlePercent;
    int reportedIdlePercent;
    PerformanceRecord performance;
    IdleRecord idle;
};

// The played system: its processor groups, the statuses its queries answer, and a log of the
// queries asked, one word each: "8", "42" for an ungrouped query, "8@g", "42@g" for group g,
// followed by ":n" for a buffer of n processors.
struct FakeSystem {
    std::vector<std::vector<Processor>> groups;
    int threadGroup = 0;  // the group an ungrouped query tells of
    LONG performanceStatus = 0;
    LONG idleStatus = 0;
    LONG groupedStatus = 0;  // of every grouped query
    std::string log;
};
FakeSystem g_system;

LONG Answer(ULONG infoClass, int group, void* buffer, ULONG length, ULONG* returned)
{
    g_system.log += std::to_string(infoClass) + (group < 0 ? "" : "@" + std::to_string(group)) + ":" +
                    std::to_string(length / 48) + " ";
    *returned = 0;
    if (group >= 0 && g_system.groupedStatus != 0) return g_system.groupedStatus;
    const LONG status = infoClass == PERFORMANCE_CLASS ? g_system.performanceStatus
                        : infoClass == IDLE_CLASS      ? g_system.idleStatus
                                                       : STATUS_INVALID_INFO_CLASS_;
    if (status != 0) return status;
    const std::vector<Processor>& processors = g_system.groups.at(group < 0 ? g_system.threadGroup : group);
    // As Windows does: as many records as the buffer holds.
    const size_t n = std::min<size_t>(processors.size(), length / 48);
    for (size_t i = 0; i < n; ++i) {
        if (infoClass == PERFORMANCE_CLASS) static_cast<PerformanceRecord*>(buffer)[i] = processors[i].performance;
        else static_cast<IdleRecord*>(buffer)[i] = processors[i].idle;
    }
    *returned = static_cast<ULONG>(n * 48);
    return 0;
}

LONG WINAPI FakeQuery(ULONG infoClass, void* buffer, ULONG length, ULONG* returned)
{
    return Answer(infoClass, -1, buffer, length, returned);
}

LONG WINAPI FakeQueryEx(ULONG infoClass, void* input, ULONG inputLength, void* buffer, ULONG length, ULONG* returned)
{
    // The group number is a USHORT.
    if (inputLength != sizeof(USHORT)) {
        g_system.log += "bad-input ";
        return STATUS_INVALID_INFO_CLASS_;
    }
    return Answer(infoClass, *static_cast<USHORT*>(input), buffer, length, returned);
}

WORD WINAPI FakeGroupCount()
{
    return static_cast<WORD>(g_system.groups.size());
}

DWORD WINAPI FakeProcessorCount(WORD group)
{
    return group < g_system.groups.size() ? static_cast<DWORD>(g_system.groups[group].size()) : 0;
}

// A span passes for every processor of the played system: one second unless told.
void PassSpan(uint64_t span = SPAN)
{
    for (auto& group : g_system.groups) {
        for (Processor& p : group) {
            const uint64_t busy = span * (100 - p.idlePercent) / 100;
            p.performance.user += static_cast<LONGLONG>(busy / 2);
            p.performance.kernel += static_cast<LONGLONG>(span - busy / 2);  // kernel time holds the idle time
            p.performance.idle += static_cast<LONGLONG>(span * p.reportedIdlePercent / 100);
            p.idle.idle += span * p.idlePercent / 100;
        }
    }
}

std::vector<Processor> Processors(size_t n, int idlePercent, int reportedIdlePercent)
{
    return std::vector<Processor>(n, Processor{idlePercent, reportedIdlePercent, {}, {}});
}

// The kinds of system by what they have and by RtlGetVersion's build number, which is missing
// before Windows 2000: 0.
const KernelQueries WINDOWS_9X = {nullptr, nullptr, nullptr, nullptr, 0};
KernelQueries BeforeWindows7(uint32_t build)
{
    return {FakeQuery, nullptr, nullptr, nullptr, build};
}
KernelQueries Windows7OrLater(uint32_t build)
{
    return {FakeQuery, FakeQueryEx, FakeGroupCount, FakeProcessorCount, build};
}
const KernelQueries WINDOWS_10 = Windows7OrLater(19045);
const KernelQueries WINDOWS_11_23H2 = Windows7OrLater(22631);

// Each test plays its own system and leaves the real one behind.
class KernelTimes : public testing::Test {
protected:
    void SetUp() override { g_system = FakeSystem{}; }
    void TearDown() override { UseKernelQueries(SystemKernelQueries()); }

    // One tick: a span passes, then a read. Returns the reading or -1 for none; `log` gets the
    // tick's queries.
    static int Tick(std::string* log = nullptr, uint64_t span = SPAN)
    {
        PassSpan(span);
        g_system.log.clear();
        uint32_t usage = 12345;
        const bool ok = ReadUsageFromKernelTimes(usage);
        if (log) *log = g_system.log;
        return ok ? static_cast<int>(usage) : -1;
    }
};

// Four processors half busy, where the two idle times disagree so that the reading tells which one
// was counted: the idle records say 50 % idle, the performance records 95 %, as on Windows 11 22H2
// and 23H2, whose performance records count idle time wrongly.
std::vector<std::vector<Processor>> DisagreeingSample()
{
    return {Processors(4, 50, 95)};
}

// Four processors half busy by both idle times.
std::vector<std::vector<Processor>> HalfBusy()
{
    return {Processors(4, 50, 50)};
}

TEST_F(KernelTimes, EachBuildGetsItsOwnQueriesAndTheIdleRecordsOnlyWhereThePerformanceRecordsMiscount)
{
    const struct {
        const char* what;
        KernelQueries queries;
        std::vector<std::vector<Processor>> groups;
        int reading;
        const char* queriesPerTick;
    } systems[] = {
        {"Windows 95, 98, Me: no such query", WINDOWS_9X, DisagreeingSample(), -1, ""},
        // Performance records alone, into a buffer of the most a group holds, which the kernel
        // fills as far as it has processors.
        {"NT 4.0", BeforeWindows7(0), DisagreeingSample(), 5, "8:64 "},
        {"Windows 2000", BeforeWindows7(2195), DisagreeingSample(), 5, "8:64 "},
        {"Windows XP", BeforeWindows7(2600), DisagreeingSample(), 5, "8:64 "},
        // Windows 7 and later, one group: buffers of its processor count.
        {"Windows 7", Windows7OrLater(7601), DisagreeingSample(), 5, "8:4 "},
        {"Windows 8", Windows7OrLater(9200), DisagreeingSample(), 5, "8:4 "},
        {"Windows 10", WINDOWS_10, DisagreeingSample(), 5, "8:4 "},
        {"Windows 11 21H2", Windows7OrLater(22000), DisagreeingSample(), 5, "8:4 "},
        // Only here the idle records too, right after the performance records.
        {"Windows 11 22H2", Windows7OrLater(22621), DisagreeingSample(), 50, "8:4 42:4 "},
        {"Windows 11 23H2", WINDOWS_11_23H2, DisagreeingSample(), 50, "8:4 42:4 "},
        {"Windows 11 24H2", Windows7OrLater(26100), DisagreeingSample(), 5, "8:4 "},
        {"Windows 11 25H2", Windows7OrLater(26200), DisagreeingSample(), 5, "8:4 "},
        {"a Windows yet to come", Windows7OrLater(30000), DisagreeingSample(), 5, "8:4 "},
        // A 32-bit program is told of 32 processors by GetSystemInfo; the other 16 here are busy.
        {"48 processors: every one, not GetSystemInfo's 32", WINDOWS_11_23H2,
         {[] {
             auto all = Processors(32, 100, 100);
             auto busy = Processors(16, 0, 10);
             all.insert(all.end(), busy.begin(), busy.end());
             return all;
         }()},
         33, "8:48 42:48 "},
        // Over 64 processors: group by group through the grouped query, added up. All busy, all
        // idle and half busy: 6,800 of 13,600 processor-seconds busy by the idle records, 680 by
        // the performance records.
        {"three processor groups", WINDOWS_11_23H2,
         {Processors(64, 0, 90), Processors(64, 100, 100), Processors(8, 50, 95)}, 50,
         "8@0:64 42@0:64 8@1:64 42@1:64 8@2:8 42@2:8 "},
        {"three processor groups, performance records alone", WINDOWS_10,
         {Processors(64, 0, 90), Processors(64, 100, 100), Processors(8, 50, 95)}, 5, "8@0:64 8@1:64 8@2:8 "},
    };
    for (const auto& s : systems) {
        SCOPED_TRACE(s.what);
        g_system = FakeSystem{};
        g_system.groups = s.groups;
        UseKernelQueries(s.queries);
        std::string log;
        EXPECT_EQ(Tick(), -1) << "the first snapshot has nothing to measure from";
        EXPECT_EQ(Tick(&log), s.reading);
        EXPECT_EQ(log, s.queriesPerTick);
        EXPECT_EQ(Tick(), s.reading) << "the next tick";
    }
}

TEST_F(KernelTimes, WhereTheIdleRecordsAreRefusedThePerformanceRecordsServeAndAreAskedAlone)
{
    // As Wine does: STATUS_INVALID_INFO_CLASS for class 42.
    g_system.groups = DisagreeingSample();
    g_system.idleStatus = STATUS_INVALID_INFO_CLASS_;
    UseKernelQueries(WINDOWS_11_23H2);
    std::string log;
    EXPECT_EQ(Tick(&log), -1);
    EXPECT_EQ(log, "8:4 42:4 ");
    EXPECT_EQ(Tick(&log), 5);
    EXPECT_EQ(log, "8:4 ") << "asked again after a refusal";
}

TEST_F(KernelTimes, AnIdleRecordThatFailsOnceCostsNoReadingAndComesBack)
{
    g_system.groups = DisagreeingSample();
    UseKernelQueries(WINDOWS_11_23H2);
    Tick();
    EXPECT_EQ(Tick(), 50);
    // A failure that is no refusal: this span and the next use the performance records' idle
    // time on both ends, since the two idle times cannot be mixed in one span.
    g_system.idleStatus = STATUS_UNSUCCESSFUL_;
    EXPECT_EQ(Tick(), 5);
    g_system.idleStatus = 0;
    std::string log;
    EXPECT_EQ(Tick(&log), 5);
    EXPECT_EQ(log, "8:4 42:4 ");
    EXPECT_EQ(Tick(), 50);
}

TEST_F(KernelTimes, WhereTheGroupedQueryIsRefusedTheThreadsGroupIsReadAtOnceAndFromThenOn)
{
    g_system.groups = {Processors(64, 0, 0), Processors(64, 100, 100)};
    g_system.groupedStatus = STATUS_NOT_IMPLEMENTED_;
    UseKernelQueries(WINDOWS_10);
    std::string log;
    EXPECT_EQ(Tick(&log), -1) << "the first snapshot";
    EXPECT_EQ(log, "8@0:64 8:64 ");
    EXPECT_EQ(Tick(&log), 100);
    EXPECT_EQ(log, "8:64 ");
}

// Some systems fail the grouped query with statuses of their own: each failing tick reads the
// thread's group instead, and three failures in a row give the grouped query up.
TEST_F(KernelTimes, AGroupedQueryThatKeepsFailingIsGivenUpAfterThreeTicksInARow)
{
    constexpr LONG STATUS_OF_ITS_OWN = static_cast<LONG>(0xC00000BB);  // STATUS_NOT_SUPPORTED
    g_system.groups = {Processors(64, 0, 0), Processors(64, 100, 100)};
    UseKernelQueries(WINDOWS_10);
    const char* const GROUPED = "8@0:64 8@1:64 ";
    const char* const FAILED = "8@0:64 8:64 ";
    const struct {
        LONG groupedStatus;
        int reading;
        const char* queries;
    } ticks[] = {
        {0, -1, GROUPED},
        {0, 50, GROUPED},
        // Two failures, then a success: the count starts again. Each change between 64 and 128
        // processors starts afresh.
        {STATUS_OF_ITS_OWN, -1, FAILED},
        {STATUS_OF_ITS_OWN, 100, FAILED},
        {0, -1, GROUPED},
        {0, 50, GROUPED},
        {STATUS_OF_ITS_OWN, -1, FAILED},
        {STATUS_OF_ITS_OWN, 100, FAILED},
        {STATUS_OF_ITS_OWN, 100, FAILED},
        // Given up: the thread's group alone, even where the grouped query would answer again.
        {STATUS_OF_ITS_OWN, 100, "8:64 "},
        {0, 100, "8:64 "},
    };
    int n = 0;
    for (const auto& t : ticks) {
        SCOPED_TRACE(testing::Message() << "tick " << ++n);
        g_system.groupedStatus = t.groupedStatus;
        std::string log;
        EXPECT_EQ(Tick(&log), t.reading);
        EXPECT_EQ(log, t.queries);
    }
    // A new set of queries may try it again.
    UseKernelQueries(WINDOWS_10);
    std::string log;
    Tick(&log);
    EXPECT_EQ(log, GROUPED);
}

TEST_F(KernelTimes, AFailedQueryACountChangeOrATimeGoingBackStartsAgainFromThatSample)
{
    g_system.groups = HalfBusy();
    UseKernelQueries(WINDOWS_10);
    Tick();
    ASSERT_EQ(Tick(), 50);

    // No snapshot at all: no reading, and none the next tick, which only takes a snapshot again.
    g_system.performanceStatus = STATUS_UNSUCCESSFUL_;
    EXPECT_EQ(Tick(), -1);
    g_system.performanceStatus = 0;
    EXPECT_EQ(Tick(), -1);
    EXPECT_EQ(Tick(), 50);

    // A processor more: this tick is the new baseline.
    g_system.groups[0].push_back(Processor{50, 50, {}, {}});
    EXPECT_EQ(Tick(), -1);
    EXPECT_EQ(Tick(), 50);

    // A processor's time going back.
    g_system.groups[0][2].performance.user -= SPAN;
    EXPECT_EQ(Tick(), -1);
    EXPECT_EQ(Tick(), 50);
}

// A span too short to measure keeps the snapshot before it as the baseline, so its time counts in
// the next reading rather than being lost.
TEST_F(KernelTimes, ASpanTooShortToMeasureKeepsItsBaselineAndCountsInTheNextReading)
{
    g_system.groups = HalfBusy();
    UseKernelQueries(WINDOWS_10);
    Tick();
    ASSERT_EQ(Tick(), 50);

    // No time passed at all.
    g_system.log.clear();
    uint32_t usage = 12345;
    EXPECT_FALSE(ReadUsageFromKernelTimes(usage)) << "read " << usage;
    EXPECT_EQ(Tick(), 50);

    // Two spans of 0.6 ms a processor, all busy and then all idle: each alone too short, together
    // one reading.
    const uint64_t SHORT = 6000;
    for (Processor& p : g_system.groups[0]) p.idlePercent = p.reportedIdlePercent = 0;
    EXPECT_EQ(Tick(nullptr, SHORT), -1);
    for (Processor& p : g_system.groups[0]) p.idlePercent = p.reportedIdlePercent = 100;
    EXPECT_EQ(Tick(nullptr, SHORT), 50);
}

// The statistic of Windows 95, 98 and Me comes first wherever it exists; only where it does not
// is the kernel asked.
TEST_F(KernelTimes, TheStatisticOfWindows9xComesFirstAndTheKernelIsAskedOnlyWithoutIt)
{
    g_system.groups = HalfBusy();
    UseKernelQueries(WINDOWS_10);
    RestoreEmptySampleKey();
    PrimeProcessorStats();
    WriteUsage(37);
    g_system.log.clear();
    PassSpan();
    uint32_t usage = 0;
    EXPECT_TRUE(ReadProcessorUsage(usage));
    EXPECT_EQ(usage, 37u);
    EXPECT_EQ(g_system.log, "");
    RestoreEmptySampleKey();
    PassSpan();
    EXPECT_TRUE(ReadProcessorUsage(usage));
    EXPECT_EQ(usage, 50u) << "from the snapshot that priming took";
    EXPECT_EQ(g_system.log, "8:4 ");
}

}  // namespace
