// Session and display reports to the meter's window: asked for at start, asked again while the
// session service was not ready, ended when the window goes.
#include "notify/session.h"

#include <cstring>

#include "core/retry.h"
#include "settings/system.h"

SessionCalls g_sessionCalls;

namespace {

constexpr DWORD NOTIFY_FOR_THIS_SESSION_ONLY = 0;  // NOTIFY_FOR_THIS_SESSION
constexpr DWORD TO_WINDOW_HANDLE = 0;              // DEVICE_NOTIFY_WINDOW_HANDLE

// The display of this session (Windows 8 and later), and the console's display where the first
// is missing. The data of both is a DWORD: 0 off, 1 on, 2 dimmed.
constexpr GUID SESSION_DISPLAY_STATUS = {0x2B84C20E, 0xAD23, 0x4DDF, {0x93, 0xDB, 0x05, 0xFF, 0xBD, 0x7E, 0xFC, 0xA5}};
constexpr GUID CONSOLE_DISPLAY_STATE = {0x6FE69556, 0x704A, 0x47A0, {0x8F, 0x24, 0xC2, 0x8D, 0x93, 0x6F, 0xDA, 0x47}};
// The monitor's power, the only report of a display turned off on Windows Vista and 7 (6.0, 6.1),
// which know neither of the above. Its data is a DWORD: 0 off, 1 on.
constexpr GUID MONITOR_POWER_ON = {0x02731015, 0x4510, 0x4526, {0x99, 0xE6, 0xE5, 0xA1, 0x7E, 0xBD, 0x1A, 0xEA}};

bool g_sessionWatched;
HPOWERNOTIFY g_displayWatch;
RetryWait g_sessionRetry;  // after a refusal: a second, doubling up to about a minute

void FindSessionCalls()
{
    g_sessionCalls.found = true;
    const HMODULE wtsapi = LoadSystemLibrary("wtsapi32.dll");
    if (wtsapi) {
        g_sessionCalls.registerSession = reinterpret_cast<decltype(g_sessionCalls.registerSession)>(
            reinterpret_cast<void (*)()>(GetProcAddress(wtsapi, "WTSRegisterSessionNotification")));
        g_sessionCalls.unregisterSession = reinterpret_cast<decltype(g_sessionCalls.unregisterSession)>(
            reinterpret_cast<void (*)()>(GetProcAddress(wtsapi, "WTSUnRegisterSessionNotification")));
    }
    g_sessionCalls.registerPower = FindProc<decltype(g_sessionCalls.registerPower)>(
        "user32.dll", "RegisterPowerSettingNotification");
    g_sessionCalls.unregisterPower = FindProc<decltype(g_sessionCalls.unregisterPower)>(
        "user32.dll", "UnregisterPowerSettingNotification");
    const SystemVersion& version = RealSystemVersion();
    g_sessionCalls.majorVersion = version.major;
    g_sessionCalls.minorVersion = version.minor;
}

// Windows 8 (6.2) and later: the newer display reports. Vista and 7 may well take a request for
// a setting they do not know and then never report it, so a refusal cannot tell which to ask for.
bool HasSessionDisplayReports()
{
    return g_sessionCalls.majorVersion > 6 || (g_sessionCalls.majorVersion == 6 && g_sessionCalls.minorVersion >= 2);
}

HPOWERNOTIFY WatchDisplay(HWND hwnd)
{
    if (!HasSessionDisplayReports()) return g_sessionCalls.registerPower(hwnd, &MONITOR_POWER_ON, TO_WINDOW_HANDLE);
    const HPOWERNOTIFY watch = g_sessionCalls.registerPower(hwnd, &SESSION_DISPLAY_STATUS, TO_WINDOW_HANDLE);
    return watch ? watch : g_sessionCalls.registerPower(hwnd, &CONSOLE_DISPLAY_STATE, TO_WINDOW_HANDLE);
}

void TryWatchSession(HWND hwnd)
{
    g_sessionWatched = g_sessionCalls.registerSession(hwnd, NOTIFY_FOR_THIS_SESSION_ONLY) != FALSE;
    if (g_sessionWatched) RetrySucceeded(g_sessionRetry);
    else RetryRefused(g_sessionRetry, GetTickCount());
}

}  // namespace

void WatchSession(HWND hwnd)
{
    if (!g_sessionCalls.found) FindSessionCalls();
    g_sessionRetry = RetryWait{};
    if (g_sessionCalls.registerSession) TryWatchSession(hwnd);
    // Windows reports the display's current state right after this.
    if (g_sessionCalls.registerPower) g_displayWatch = WatchDisplay(hwnd);
}

void RetryWatchSession(HWND hwnd)
{
    if (g_sessionWatched || !g_sessionCalls.registerSession) return;
    if (RetryDue(g_sessionRetry, GetTickCount())) TryWatchSession(hwnd);
}

void UnwatchSession(HWND hwnd)
{
    if (g_sessionWatched && g_sessionCalls.unregisterSession) g_sessionCalls.unregisterSession(hwnd);
    if (g_displayWatch && g_sessionCalls.unregisterPower) g_sessionCalls.unregisterPower(g_displayWatch);
    g_sessionWatched = false;
    g_displayWatch = nullptr;
}

SeenEvent DisplayEventFrom(LPARAM data)
{
    const auto* setting = reinterpret_cast<const POWERBROADCAST_SETTING*>(data);
    if (!setting) return SeenEvent::None;
    const auto is = [setting](const GUID& guid) { return memcmp(&setting->PowerSetting, &guid, sizeof guid) == 0; };
    const bool monitor = is(MONITOR_POWER_ON);
    if (!monitor && !is(SESSION_DISPLAY_STATUS) && !is(CONSOLE_DISPLAY_STATE)) return SeenEvent::None;
    DWORD state = 0;
    const bool whole = setting->DataLength == sizeof state;
    if (whole) memcpy(&state, setting->Data, sizeof state);
    return monitor ? MonitorPowerEvent(whole, state) : DisplayStateEvent(whole, state);
}
