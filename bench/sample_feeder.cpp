// Feeds the meter's processor sample for the tick benchmark: the REG_BINARY value
// "KERNEL\CPUUsage" under HKEY_DYN_DATA\PerfStats\StatData, 4 bytes little-endian.
// Commands on stdin, one per line, each answered "ok" once it is in effect:
//   cycle     rewrite the sample every 100 ms, its headroom going 0, 1, ..., 15, 14, ..., 1, 0, 1, ...
//             so that no two writes in a row give the same column, and every icon of a meter
//             that samples each value changes on every tick
//   hold N    write N once and stop cycling
//   quit      (or the end of the input) end
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr char SAMPLE_KEY[] = "PerfStats\\StatData";
constexpr char STATISTIC[] = "KERNEL\\CPUUsage";
constexpr DWORD STEP_MS = 100;
constexpr int WAVE_PERIOD = 30;  // headrooms 0..15 up and 14..1 down

HKEY g_key;
CRITICAL_SECTION g_lock;  // around the writes and the state below
HANDLE g_wake;            // set when a command changed the state
bool g_cycling;
bool g_quit;

bool WriteSample(DWORD usage)
{
    return RegSetValueExA(g_key, STATISTIC, 0, REG_BINARY, reinterpret_cast<const BYTE*>(&usage), 4) ==
           ERROR_SUCCESS;
}

// The reading whose headroom, floor(2 * (100 - u) / 13), is h: u = 100 - ceil(13 h / 2).
DWORD UsageForStep(unsigned step)
{
    const unsigned phase = step % WAVE_PERIOD;
    const unsigned headroom = phase <= 15 ? phase : WAVE_PERIOD - phase;
    return 100 - (13 * headroom + 1) / 2;
}

DWORD WINAPI ReadCommands(void*)
{
    char line[256];
    while (fgets(line, sizeof line, stdin)) {
        char* word = strtok(line, " \t\r\n");
        if (!word) continue;
        const char* answer = "ok";
        EnterCriticalSection(&g_lock);
        if (strcmp(word, "cycle") == 0) {
            g_cycling = true;
        } else if (strcmp(word, "hold") == 0) {
            const char* arg = strtok(nullptr, " \t\r\n");
            if (!arg) answer = "err hold needs a value";
            else if (!WriteSample(strtoul(arg, nullptr, 0))) answer = "err cannot write the sample";
            else g_cycling = false;
        } else if (strcmp(word, "quit") == 0) {
            g_quit = true;
        } else {
            answer = "err unknown command";
        }
        const bool quit = g_quit;
        LeaveCriticalSection(&g_lock);
        SetEvent(g_wake);
        printf("%s\n", answer);
        fflush(stdout);
        if (quit) return 0;
    }
    EnterCriticalSection(&g_lock);
    g_quit = true;
    LeaveCriticalSection(&g_lock);
    SetEvent(g_wake);
    return 0;
}

}  // namespace

int main()
{
    // HKEY_DYN_DATA is volatile, so keys created under it must be volatile too.
    if (RegCreateKeyExA(HKEY_DYN_DATA, SAMPLE_KEY, 0, nullptr, REG_OPTION_VOLATILE, KEY_SET_VALUE, nullptr, &g_key,
                        nullptr) != ERROR_SUCCESS) {
        puts("err cannot open the sample key");
        return 1;
    }
    InitializeCriticalSection(&g_lock);
    g_wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE reader = CreateThread(nullptr, 0, ReadCommands, nullptr, 0, nullptr);
    if (!g_wake || !reader) return 1;

    // Writes keep to a 100 ms grid from when cycling started, so they do not drift with the time
    // each write takes.
    unsigned step = 0;
    DWORD next = 0;
    bool wasCycling = false;
    for (;;) {
        EnterCriticalSection(&g_lock);
        const bool quit = g_quit;
        const bool cycling = g_cycling;
        DWORD wait = INFINITE;
        if (cycling) {
            const DWORD now = GetTickCount();
            if (!wasCycling) next = now;
            if (static_cast<LONG>(now - next) >= 0) {
                WriteSample(UsageForStep(step++));
                next += STEP_MS;
                // After a stall, continue from now rather than catching up with a burst.
                if (static_cast<LONG>(now - next) >= 0) next = now + STEP_MS;
            }
            wait = next - now;
        }
        wasCycling = cycling;
        LeaveCriticalSection(&g_lock);
        if (quit) break;
        WaitForSingleObject(g_wake, wait);
    }
    WaitForSingleObject(reader, 5000);
    RegCloseKey(g_key);
    return 0;
}
