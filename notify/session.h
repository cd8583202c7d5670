// Where Windows tells the meter who can see its icons: this session's lock and connection
// (session notifications) and its display's state (a power-setting notification), each found at
// run time, since only newer systems have them.
#pragma once

#include <windows.h>

#include <cstdint>

#include "core/visibility.h"

// Asks for both kinds of reports to the window. The session's reports can be refused early at
// logon, before the session service runs: RetryWatchSession asks again on later ticks, less
// often each time. UnwatchSession ends both.
void WatchSession(HWND hwnd);
void RetryWatchSession(HWND hwnd);
void UnwatchSession(HWND hwnd);

// The display's state from a PBT_POWERSETTINGCHANGE's POWERBROADCAST_SETTING: this session's
// display, the console's, or on Windows Vista and 7 the monitor's power. None for any other
// setting, for a value the setting does not have, and for data that is not a whole 4-byte value.
SeenEvent DisplayEventFrom(LPARAM setting);

// The functions and the system's real version, replaced by tests: found in wtsapi32.dll (from the
// system directory) and user32, and the version read, the first time WatchSession runs, unless
// `found` is set already; a function is null where the system lacks it. The version decides which
// display report is asked for.
struct SessionCalls {
    bool found;
    BOOL(WINAPI* registerSession)(HWND hwnd, DWORD flags);
    BOOL(WINAPI* unregisterSession)(HWND hwnd);
    HPOWERNOTIFY(WINAPI* registerPower)(HANDLE recipient, LPCGUID setting, DWORD flags);
    BOOL(WINAPI* unregisterPower)(HPOWERNOTIFY handle);
    uint32_t majorVersion = 0;  // 0.0 where unknown (before Windows 2000)
    uint32_t minorVersion = 0;
};
extern SessionCalls g_sessionCalls;
