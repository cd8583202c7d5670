// The kernel's own processor times on every NT-family Windows, read processor by processor: the
// time-based reading where the Windows 9x statistic does not exist.
#pragma once

#include <windows.h>

#include <cstdint>

// What the kernel answers for each processor, in its own layout (48 bytes each, on 32-bit and
// 64-bit Windows alike). Class 8, SystemProcessorPerformanceInformation: times in 100 ns units,
// kernel time including idle, DPC and interrupt time.
constexpr ULONG PERFORMANCE_CLASS = 8;
struct PerformanceRecord {
    LONGLONG idle;
    LONGLONG kernel;
    LONGLONG user;
    LONGLONG dpc;
    LONGLONG interrupt;
    ULONG interrupts;
};
// Class 42, SystemProcessorIdleInformation (XP and later): each processor's exact idle time, read
// only where class 8's is wrong (IdleRecordsNeeded, core/cputimes.h).
constexpr ULONG IDLE_CLASS = 42;
struct IdleRecord {
    ULONGLONG idle;
    ULONGLONG c1Time;
    ULONGLONG c2Time;
    ULONGLONG c3Time;
    ULONG c1Transitions;
    ULONG c2Transitions;
    ULONG c3Transitions;
    ULONG padding;
};
static_assert(sizeof(PerformanceRecord) == 48 && sizeof(IdleRecord) == 48, "the kernel's layout");

// A processor group holds at most 64 processors.
constexpr DWORD GROUP_PROCESSORS = 64;

// The calls that the reading makes to the system, and the system's build. By default the
// system's own functions, found at run time (each is missing on some Windows); tests put
// stand-ins here to play other systems.
using NtQuerySystemInformationProc = LONG(WINAPI*)(ULONG infoClass, void* buffer, ULONG length, ULONG* returned);
using NtQuerySystemInformationExProc = LONG(WINAPI*)(ULONG infoClass, void* input, ULONG inputLength, void* buffer,
                                                     ULONG length, ULONG* returned);
using GetActiveProcessorGroupCountProc = WORD(WINAPI*)();
using GetActiveProcessorCountProc = DWORD(WINAPI*)(WORD group);

struct KernelQueries {
    NtQuerySystemInformationProc query;           // ntdll, every NT; missing on Windows 9x
    NtQuerySystemInformationExProc queryEx;       // ntdll, Windows 7 and later
    GetActiveProcessorGroupCountProc groupCount;  // kernel32, Windows 7 and later
    GetActiveProcessorCountProc processorCount;   // kernel32, Windows 7 and later
    uint32_t build;                               // RtlGetVersion's; 0 where unknown (before Windows 2000)
};

// The system's own functions and build number.
KernelQueries SystemKernelQueries();

// Reads through these from now on, from a new baseline, forgetting what the old ones refused or
// failed.
void UseKernelQueries(const KernelQueries& queries);

// The busy share since the previous snapshot. False: no reading (no previous snapshot, a failed
// query, or a span the core refuses). This snapshot becomes the previous one, except after a span
// too short to measure: then the previous one stays, and the next read measures all the time
// since it.
bool ReadUsageFromKernelTimes(uint32_t& usage);
