// The kernel's processor times, processor by processor and group by group: performance records
// (class 8) on every NT, with each processor's idle time also from its idle record (class 42) on
// the builds whose class 8 counts idle time wrongly.
#include "stats/kernel_times.h"

#include "core/cputimes.h"
#include "settings/system.h"

namespace {

constexpr LONG STATUS_NOT_IMPLEMENTED_ = static_cast<LONG>(0xC0000002);
constexpr LONG STATUS_INVALID_INFO_CLASS_ = static_cast<LONG>(0xC0000003);
constexpr DWORD MAX_GROUPS = 32;  // 2,048 processors, more than any Windows runs
constexpr DWORD MAX_PROCESSORS = MAX_GROUPS * GROUP_PROCESSORS;

// Grouped queries that failed in a row before the grouped query is given up for the run. Some
// systems fail it with statuses of their own for good; one that failed once may just have been
// busy.
constexpr int GROUPED_FAILURES_TO_GIVE_UP = 3;

KernelQueries g_queries;
bool g_queriesSet;
bool g_idleRefused;  // the system does not know class 42: not asked again
bool g_exRefused;    // nor the grouped query: refused, or failed too often in a row
int g_exFailures;    // grouped reads that failed in a row

// What one group's queries write, reused for every group and every tick.
PerformanceRecord g_performance[GROUP_PROCESSORS];
IdleRecord g_idleRecords[GROUP_PROCESSORS];

// Two snapshots in turn: the one taken now goes where the one before the previous was.
CpuTimes g_snapshots[2][MAX_PROCESSORS];
uint32_t g_counts[2];
int g_next;
bool g_haveBaseline;

bool Refused(LONG status)
{
    return status == STATUS_INVALID_INFO_CLASS_ || status == STATUS_NOT_IMPLEMENTED_;
}

// Class 8 alone wherever its idle time is right: its three times advance together, so a span of
// them always fits, where class 42's exact idle time beside its tick-bound kernel and user times
// may not. Build 0 (NT 4, which lacks RtlGetVersion) reads class 8 alone too.
bool AskIdleRecords()
{
    return !g_idleRefused && IdleRecordsNeeded(g_queries.build);
}

// How many processors a query's buffer holds: the group's count where Windows tells it (7 and
// later), else the most a group can hold, which the kernel fills as far as it has processors.
// Never GetSystemInfo's count, which tells a 32-bit program on 64-bit Windows of 32 at most.
DWORD BufferProcessors(const WORD* group)
{
    const DWORD count = group && g_queries.processorCount ? g_queries.processorCount(*group) : 0;
    return count == 0 || count > GROUP_PROCESSORS ? GROUP_PROCESSORS : count;
}

// One query of a group's records (the calling thread's group where `group` is null); `entries`
// is how many whole records came back.
LONG Query(ULONG infoClass, const WORD* group, void* buffer, DWORD processors, DWORD& entries)
{
    const ULONG length = processors * sizeof(PerformanceRecord);
    ULONG returned = 0;
    LONG status;
    if (group) {
        USHORT number = *group;
        status = g_queries.queryEx(infoClass, &number, sizeof number, buffer, length, &returned);
    } else {
        status = g_queries.query(infoClass, buffer, length, &returned);
    }
    entries = (returned < length ? returned : length) / sizeof(PerformanceRecord);
    return status;
}

// Appends one group's processors to the snapshot; false when its performance records fail.
bool ReadGroup(const WORD* group, DWORD processors, CpuTimes* times, uint32_t& count)
{
    DWORD entries = 0;
    const LONG status = Query(PERFORMANCE_CLASS, group, g_performance, processors, entries);
    if (status < 0 || entries == 0 || entries > MAX_PROCESSORS - count) {
        if (group && Refused(status)) g_exRefused = true;
        return false;
    }
    // Right after the performance records, so that both tell of the same moment.
    DWORD records = 0;
    if (AskIdleRecords()) {
        const LONG idleStatus = Query(IDLE_CLASS, group, g_idleRecords, processors, records);
        if (idleStatus < 0) {
            records = 0;
            if (Refused(idleStatus)) g_idleRefused = true;
        }
    }
    for (DWORD i = 0; i < entries; ++i) {
        const PerformanceRecord& record = g_performance[i];
        CpuTimes& cpu = times[count + i];
        cpu.idle = static_cast<uint64_t>(record.idle);
        cpu.kernel = static_cast<uint64_t>(record.kernel);
        cpu.user = static_cast<uint64_t>(record.user);
        cpu.haveRecordIdle = i < records;
        cpu.recordIdle = cpu.haveRecordIdle ? g_idleRecords[i].idle : 0;
    }
    count += entries;
    return true;
}

bool TakeSnapshot(CpuTimes* times, uint32_t& count)
{
    count = 0;
    if (!g_queries.query) return false;
    // Over 64 processors Windows makes groups, and an ungrouped query tells only of the calling
    // thread's group, which may change from one tick to the next.
    DWORD groups = g_queries.groupCount ? g_queries.groupCount() : 1;
    if (groups > MAX_GROUPS) groups = MAX_GROUPS;
    if (groups > 1 && g_queries.queryEx && !g_exRefused) {
        bool read = true;
        for (WORD group = 0; read && group < groups; ++group)
            read = ReadGroup(&group, BufferProcessors(&group), times, count);
        if (read) {
            g_exFailures = 0;
            return true;
        }
        // Whatever the status: the thread's group this tick rather than no reading at all.
        if (++g_exFailures >= GROUPED_FAILURES_TO_GIVE_UP) g_exRefused = true;
        count = 0;
    }
    // The whole system in one group; where the grouped query is missing or fails, the thread's group.
    const WORD first = 0;
    return ReadGroup(nullptr, BufferProcessors(groups <= 1 ? &first : nullptr), times, count);
}

}  // namespace

KernelQueries SystemKernelQueries()
{
    return {FindProc<NtQuerySystemInformationProc>("ntdll.dll", "NtQuerySystemInformation"),
            FindProc<NtQuerySystemInformationExProc>("ntdll.dll", "NtQuerySystemInformationEx"),
            FindProc<GetActiveProcessorGroupCountProc>("kernel32.dll", "GetActiveProcessorGroupCount"),
            FindProc<GetActiveProcessorCountProc>("kernel32.dll", "GetActiveProcessorCount"),
            RealSystemVersion().build};
}

void UseKernelQueries(const KernelQueries& queries)
{
    g_queries = queries;
    g_queriesSet = true;
    g_idleRefused = g_exRefused = false;
    g_exFailures = 0;
    g_haveBaseline = false;
}

bool ReadUsageFromKernelTimes(uint32_t& usage)
{
    if (!g_queriesSet) UseKernelQueries(SystemKernelQueries());
    CpuTimes* now = g_snapshots[g_next];
    uint32_t count;
    if (!TakeSnapshot(now, count)) {
        g_haveBaseline = false;
        return false;
    }
    const int previous = 1 - g_next;
    const SpanResult span = g_haveBaseline
                                ? UsageFromProcessorTimes(g_snapshots[previous], g_counts[previous], now, count, usage)
                                : SpanResult::Unusable;
    // Too short: the previous snapshot stays the baseline, and this slot takes the next one.
    if (span == SpanResult::TooShort) return false;
    g_counts[g_next] = count;
    g_next = previous;
    g_haveBaseline = true;
    return span == SpanResult::Usage;
}
