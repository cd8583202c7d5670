// Feeds the meter's processor sample for the tick benchmark: the REG_BINARY value
// "KERNEL\CPUUsage" under HKEY_DYN_DATA\PerfStats\StatData, 4 bytes little-endian.
// Commands on stdin, one per line, each answered "ok" once it is in effect:
//   cycle [S] rewrite the sample every 100 ms, its headroom on the graph of S-pixel icons (16 when
//             not given, 16 to 64) going 0, 1, ..., S - 1, S - 2, ..., 1, 0, 1, ... so that no two
//             writes in a row give the same column, and every icon of a meter that samples each
//             value changes on every tick
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
constexpr unsigned MIN_ICON_SIZE = 16;
constexpr unsigned MAX_ICON_SIZE = 64;

HKEY g_key;
CRITICAL_SECTION g_lock;  // around the writes and the state below
HANDLE g_wake;            // set when a command changed the state
bool g_cycling;
unsigned g_size = MIN_ICON_SIZE;  // the icon size the wave is drawn for
bool g_quit;

bool WriteSample(DWORD usage)
{
    return RegSetValueExA(g_key, STATISTIC, 0, REG_BINARY, reinterpret_cast<const BYTE*>(&usage), 4) ==
           ERROR_SUCCESS;
}

// The reading whose headroom at size S, floor(2 (S - 1) (100 - u) / 195), is h: the least such
// 100 - u is ceil(195 h / (2 (S - 1))), which stays below 100 for every h up to S - 1. At S = 16
// that is u = 100 - ceil(13 h / 2). The wave's period is 2 (S - 1): headrooms 0..S-1 up, S-2..1 down.
DWORD UsageForStep(unsigned step, unsigned size)
{
    const unsigned top = size - 1;
    const unsigned phase = step % (2 * top);
    const unsigned headroom = phase <= top ? phase : 2 * top - phase;
    return 100 - (195 * headroom + 2 * top - 1) / (2 * top);
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
            const char* arg = strtok(nullptr, " \t\r\n");
            const unsigned long size = arg ? strtoul(arg, nullptr, 0) : MIN_ICON_SIZE;
            if (size < MIN_ICON_SIZE || size > MAX_ICON_SIZE) {
                answer = "err the icon size must be 16 to 64";
            } else {
                g_size = static_cast<unsigned>(size);
                g_cycling = true;
            }
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
        const unsigned size = g_size;
        DWORD wait = INFINITE;
        if (cycling) {
            const DWORD now = GetTickCount();
            if (!wasCycling) next = now;
            if (static_cast<LONG>(now - next) >= 0) {
                WriteSample(UsageForStep(step++, size));
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
