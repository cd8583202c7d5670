// Where Windows tells the meter who can see its icons: this session's lock and connection
// (session notifications) and its display's state (a power-setting notification), each found at
// run time, since only newer systems have them.
#pragma once

#include <windows.h>

#include "core/visibility.h"

// Asks for both kinds of reports to the window. The session's reports can be refused early at
// logon, before the session service runs: RetryWatchSession asks again on later ticks, less
// often each time. UnwatchSession ends both.
void WatchSession(HWND hwnd);
void RetryWatchSession(HWND hwnd);
void UnwatchSession(HWND hwnd);

// The display's state from a PBT_POWERSETTINGCHANGE's POWERBROADCAST_SETTING; None for any
// other setting and for data that is not a whole 4-byte value.
SeenEvent DisplayEventFrom(LPARAM setting);

// The functions, replaced by tests: found in wtsapi32.dll (from the system directory) and user32
// the first time WatchSession runs, unless `found` is set already; null where the system lacks one.
struct SessionCalls {
    bool found;
    BOOL(WINAPI* registerSession)(HWND hwnd, DWORD flags);
    BOOL(WINAPI* unregisterSession)(HWND hwnd);
    HPOWERNOTIFY(WINAPI* registerPower)(HANDLE recipient, LPCGUID setting, DWORD flags);
    BOOL(WINAPI* unregisterPower)(HPOWERNOTIFY handle);
};
extern SessionCalls g_sessionCalls;
