// The processor-usage statistic against Wine's real HKEY_DYN_DATA and processor times.
#include "stats/stats.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "dyn_data.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

bool KeyExists(const char* name)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_DYN_DATA, name, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

bool StatisticExists()
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_DYN_DATA, SAMPLE_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    const LONG status = RegQueryValueExA(key, STATISTIC, nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

// Wine starts with an empty "PerfStats\StatData" key and no statistic: every test leaves it so.
class ProcessorStats : public testing::Test {
protected:
    void SetUp() override { RestoreEmptySampleKey(); }
    void TearDown() override { RestoreEmptySampleKey(); }
};

// The first read of a process: each runs in a fresh process of its own, since any earlier read in
// this one leaves a snapshot behind that would turn every later first read into a reading.
TEST_F(ProcessorStats, WithoutTheStatisticTheFirstReadAfterPrimingIsAlreadyAReading)
{
    const auto firstRead = [](bool prime) {
        if (prime) PrimeProcessorStats();
        Sleep(100);  // a span the system's tick-based counters can measure
        uint32_t usage = 12345;
        const bool ok = ReadProcessorUsage(usage);
        fprintf(stderr, "first read: %s %u\n", ok ? "reading" : "none", static_cast<unsigned>(usage));
        std::_Exit(ok && usage <= 100 ? 0 : 1);
    };
    EXPECT_EXIT(firstRead(true), testing::ExitedWithCode(0), "first read: reading")
        << "priming takes the snapshot that the first tick measures from";
    // Without priming the first read has nothing to measure from: the child really is fresh.
    EXPECT_EXIT(firstRead(false), testing::ExitedWithCode(1), "first read: none");
}

TEST_F(ProcessorStats, SampleIsAFourByteBinaryValueOrElseNotASample)
{
    PrimeProcessorStats();
    enum Expect { SAMPLE, NOT_A_SAMPLE, PROCESSOR_TIMES };
    const struct {
        const char* what;
        DWORD type;  // REG_NONE: no value; REG_LINK: not even the key
        std::vector<BYTE> bytes;
        Expect expect;
        uint32_t usage;
    } cases[] = {
        {"binary 0", REG_BINARY, Le32(0), SAMPLE, 0},
        {"binary 37", REG_BINARY, Le32(37), SAMPLE, 37},
        {"binary 100", REG_BINARY, Le32(100), SAMPLE, 100},
        {"binary 101", REG_BINARY, Le32(101), SAMPLE, 101},
        {"binary 2^31", REG_BINARY, Le32(0x80000000u), SAMPLE, 0x80000000u},
        {"binary 2 bytes: the rest is zero", REG_BINARY, {0x34, 0x12}, SAMPLE, 0x1234},
        {"binary empty", REG_BINARY, {}, SAMPLE, 0},
        {"dword 37", REG_DWORD, Le32(37), NOT_A_SAMPLE, 0},
        {"string \"37\"", REG_SZ, {'3', '7', 0}, NOT_A_SAMPLE, 0},
        {"binary 5 bytes", REG_BINARY, {37, 0, 0, 0, 0}, NOT_A_SAMPLE, 0},
        {"binary 8 bytes", REG_BINARY, {37, 0, 0, 0, 0, 0, 0, 0}, NOT_A_SAMPLE, 0},
        {"no value: the processor times", REG_NONE, {}, PROCESSOR_TIMES, 0},
        {"no key: the processor times", REG_LINK, {}, PROCESSOR_TIMES, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.type == REG_LINK) {
            ASSERT_EQ(RegDeleteKeyA(HKEY_DYN_DATA, SAMPLE_KEY), ERROR_SUCCESS);
        } else if (c.type != REG_NONE) {
            WriteStatistic(c.type, c.bytes);
        }
        // The processor times need a span that their tick-based counters can measure.
        if (c.expect == PROCESSOR_TIMES) Sleep(100);

        uint32_t usage = 12345;
        const bool ok = ReadProcessorUsage(usage);
        if (c.expect == NOT_A_SAMPLE) {
            EXPECT_FALSE(ok) << "read " << usage;
        } else {
            EXPECT_TRUE(ok);
            if (c.expect == SAMPLE) EXPECT_EQ(usage, c.usage);
            else EXPECT_LE(usage, 100u);
        }
        TearDown();
    }
}

TEST_F(ProcessorStats, AShortSampleNeverShowsBytesItDidNotSupply)
{
    // Same caller, same stack: a buffer that is not cleared would still hold the A5s.
    for (int round = 0; round < 2; ++round) {
        WriteUsage(0xA5A5A5A5u);
        uint32_t usage = 0;
        ASSERT_TRUE(ReadProcessorUsage(usage));
        ASSERT_EQ(usage, 0xA5A5A5A5u);
        WriteStatistic(REG_BINARY, {37});
        usage = 0;
        ASSERT_TRUE(ReadProcessorUsage(usage));
        EXPECT_EQ(usage, 37u) << std::hex << "0x" << usage;
    }
}

TEST_F(ProcessorStats, PrimingAndStoppingWithoutTheKeysCreateNothing)
{
    const char* keys[] = {"PerfStats\\StartSrv", "PerfStats\\StartStat", "PerfStats\\StopStat"};
    for (const char* key : keys) ASSERT_FALSE(KeyExists(key)) << key << " exists before the test";
    PrimeProcessorStats();
    StopProcessorStats();
    for (const char* key : keys) EXPECT_FALSE(KeyExists(key)) << key;
    EXPECT_TRUE(KeyExists(SAMPLE_KEY));
    EXPECT_FALSE(StatisticExists());

    // Even without the sample key: the next read comes from the processor times as usual.
    ASSERT_EQ(RegDeleteKeyA(HKEY_DYN_DATA, SAMPLE_KEY), ERROR_SUCCESS);
    PrimeProcessorStats();
    StopProcessorStats();
    for (const char* key : keys) EXPECT_FALSE(KeyExists(key)) << key;
    EXPECT_FALSE(KeyExists(SAMPLE_KEY));
}

// One busy process per processor (tests/win32/busy_loop.cpp), for as long as the object lives.
// Processes rather than threads of this one: under qemu's user-mode emulator, a Wine process in
// which two threads spin hangs or crashes.
class ProcessorLoad {
public:
    ProcessorLoad()
    {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        processors_ = static_cast<int>(info.dwNumberOfProcessors);
        char path[MAX_PATH];
        GetModuleFileNameA(nullptr, path, sizeof path);
        std::string exe = path;
        exe = exe.substr(0, exe.find_last_of("\\/") + 1) + "busy_loop.exe";
        for (int i = 0; i < processors_; ++i) {
            const std::string event = "CyclowispBusy" + std::to_string(GetCurrentProcessId()) + "." + std::to_string(i);
            HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, event.c_str());
            std::string command = "\"" + exe + "\" " + event;
            STARTUPINFOA startup = {};
            startup.cb = sizeof startup;
            PROCESS_INFORMATION process;
            if (CreateProcessA(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &process)) {
                CloseHandle(process.hThread);
                processes_.push_back(process.hProcess);
                // A Wine start takes seconds here.
                if (WaitForSingleObject(ready, 60000) == WAIT_OBJECT_0) ++running_;
            }
            CloseHandle(ready);
        }
    }
    ~ProcessorLoad()
    {
        for (HANDLE process : processes_) {
            TerminateProcess(process, 0);
            WaitForSingleObject(process, 10000);
            CloseHandle(process);
        }
    }
    int processors() const { return processors_; }
    int running() const { return running_; }

private:
    int processors_ = 0;
    int running_ = 0;
    std::vector<HANDLE> processes_;
};

// The mean of a few readings a tick apart; every reading is kept in `seen` for the message.
double MeanReading(std::string& seen)
{
    const int READINGS = 4;
    double sum = 0;
    int count = 0;
    for (int tick = 0; tick < READINGS; ++tick) {
        Sleep(250);
        uint32_t usage = 12345;
        if (!ReadProcessorUsage(usage)) continue;
        EXPECT_LE(usage, 100u);
        seen += std::to_string(usage) + " ";
        sum += usage;
        ++count;
    }
    return count ? sum / count : -1;
}

// The busy share, not the idle share: with every processor busy the readings are far above the
// readings without that load. Other programs may load the machine too, so a few rounds are
// allowed for one quiet enough to show the difference; readings of the idle share never do.
TEST_F(ProcessorStats, WithoutTheStatisticTheReadingsFollowTheLoad)
{
    const double MARGIN = 30;  // percentage points
    PrimeProcessorStats();
    std::string seen;
    bool shown = false;
    for (int round = 0; round < 5 && !shown; ++round) {
        seen += "| without: ";
        const double quiet = MeanReading(seen);
        double busy;
        {
            ProcessorLoad load;
            ASSERT_EQ(load.running(), load.processors()) << "busy processes that started";
            seen += "with " + std::to_string(load.running()) + ": ";
            uint32_t discarded;
            ReadProcessorUsage(discarded);  // ends the span that began before the load
            busy = MeanReading(seen);
        }
        shown = quiet >= 0 && busy >= quiet + MARGIN;
    }
    EXPECT_TRUE(shown) << "readings without and with a busy process per processor: " << seen;
}

TEST_F(ProcessorStats, TheStatisticWinsOverTheProcessorTimesWhileItIsThere)
{
    PrimeProcessorStats();
    std::atomic<bool> stop{false};
    std::thread busy([&stop] {
        volatile unsigned spin = 0;
        while (!stop.load(std::memory_order_relaxed)) ++spin;
    });
    uint32_t usage = 12345;
    WriteUsage(0);
    for (int tick = 0; tick < 3; ++tick) {
        Sleep(100);
        EXPECT_TRUE(ReadProcessorUsage(usage));
        EXPECT_EQ(usage, 0u);
    }
    // A mistyped statistic is no sample, and no reason to fall back either.
    WriteStatistic(REG_DWORD, Le32(37));
    Sleep(100);
    EXPECT_FALSE(ReadProcessorUsage(usage)) << "read " << usage;
    // Gone again: back to the processor times.
    RestoreEmptySampleKey();
    Sleep(100);
    EXPECT_TRUE(ReadProcessorUsage(usage));
    EXPECT_LE(usage, 100u);
    stop = true;
    busy.join();
}

}  // namespace
