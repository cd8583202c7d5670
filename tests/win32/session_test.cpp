// The display reports through the seam in front of Windows' functions: which one the meter asks
// for on each Windows, and what it makes of each report, against the SDK's own GUIDs.
#include "notify/session.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>

#include "settings/system.h"

namespace {

const GUID* const DISPLAY_SETTINGS[] = {&GUID_MONITOR_POWER_ON, &GUID_SESSION_DISPLAY_STATUS,
                                        &GUID_CONSOLE_DISPLAY_STATE};
const char* const DISPLAY_NAMES[] = {"monitor power", "session display", "console display"};

// A stand-in for RegisterPowerSettingNotification and its end that writes down what was asked,
// refuses the settings a case names and hands out a handle that says which setting it is for.
std::string g_powerLog;
bool g_refused[3];
HWND g_recipient;

int DisplaySetting(LPCGUID setting)
{
    for (int i = 0; i < 3; ++i)
        if (setting && memcmp(setting, DISPLAY_SETTINGS[i], sizeof(GUID)) == 0) return i;
    return -1;
}

HPOWERNOTIFY WINAPI LoggedRegister(HANDLE recipient, LPCGUID setting, DWORD flags)
{
    const int i = DisplaySetting(setting);
    g_powerLog += std::string("ask ") + (i < 0 ? "another setting" : DISPLAY_NAMES[i]);
    if (recipient != g_recipient || flags != DEVICE_NOTIFY_WINDOW_HANDLE) g_powerLog += " for another recipient";
    g_powerLog += "\n";
    if (i < 0 || g_refused[i]) return nullptr;
    return reinterpret_cast<HPOWERNOTIFY>(static_cast<ULONG_PTR>(i + 1));
}

BOOL WINAPI LoggedUnregister(HPOWERNOTIFY handle)
{
    const ULONG_PTR i = reinterpret_cast<ULONG_PTR>(handle) - 1;
    g_powerLog += std::string("end ") + (i < 3 ? DISPLAY_NAMES[i] : "an unknown handle") + "\n";
    return TRUE;
}

// Windows Vista and 7 report a display turned off only as the monitor's power, and may accept a
// request for a setting they do not know without ever reporting it: the version alone decides.
TEST(DisplayReports, VistaAnd7AskForTheMonitorsPowerLaterWindowsForThisSessionsDisplay)
{
    g_recipient = CreateWindowA("STATIC", "", 0, 0, 0, 0, 0, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(g_recipient, nullptr);

    // The version comes with the calls, from the system itself.
    const SessionCalls before = g_sessionCalls;
    g_sessionCalls = {};
    WatchSession(g_recipient);
    UnwatchSession(g_recipient);
    EXPECT_TRUE(g_sessionCalls.found);
    EXPECT_EQ(g_sessionCalls.majorVersion, RealSystemVersion().major);
    EXPECT_EQ(g_sessionCalls.minorVersion, RealSystemVersion().minor);

    const struct {
        const char* what;
        uint32_t major, minor;
        bool refusedMonitor, refusedSession, refusedConsole;
        const char* log;
    } cases[] = {
        {"Vista", 6, 0, false, false, false, "ask monitor power\nend monitor power\n"},
        {"7", 6, 1, false, false, false, "ask monitor power\nend monitor power\n"},
        {"7 refusing the monitor's power: no newer report instead", 6, 1, true, false, false, "ask monitor power\n"},
        {"8", 6, 2, false, false, false, "ask session display\nend session display\n"},
        {"8.1", 6, 3, false, false, false, "ask session display\nend session display\n"},
        {"10", 10, 0, false, false, false, "ask session display\nend session display\n"},
        {"10 refusing this session's display: the console's", 10, 0, false, true, false,
         "ask session display\nask console display\nend console display\n"},
        {"8 refusing both", 6, 2, false, true, true, "ask session display\nask console display\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        g_sessionCalls = {true, nullptr, nullptr, LoggedRegister, LoggedUnregister, c.major, c.minor};
        g_refused[0] = c.refusedMonitor;
        g_refused[1] = c.refusedSession;
        g_refused[2] = c.refusedConsole;
        g_powerLog.clear();
        WatchSession(g_recipient);
        UnwatchSession(g_recipient);
        EXPECT_EQ(g_powerLog, c.log);
    }
    g_sessionCalls = before;
    DestroyWindow(g_recipient);
}

// A POWERBROADCAST_SETTING with room for up to 8 bytes of data.
struct Setting {
    GUID setting;
    DWORD length;
    BYTE data[8];
};
static_assert(offsetof(Setting, data) == offsetof(POWERBROADCAST_SETTING, Data), "laid out as Windows sends it");

Setting MakeSetting(const GUID& guid, DWORD length, unsigned long long value)
{
    Setting s = {guid, length, {}};
    memcpy(s.data, &value, length < sizeof s.data ? length : sizeof s.data);
    return s;
}

TEST(DisplayReports, EachDisplaySettingDecodesItsOwnValuesAndNothingElseSaysAnything)
{
    using E = SeenEvent;
    const struct {
        const char* what;
        Setting setting;
        SeenEvent expected;
    } cases[] = {
        {"session display 0: off", MakeSetting(GUID_SESSION_DISPLAY_STATUS, 4, 0), E::DisplayOff},
        {"session display 1: on", MakeSetting(GUID_SESSION_DISPLAY_STATUS, 4, 1), E::DisplayOn},
        {"session display 2: dimmed, still seen", MakeSetting(GUID_SESSION_DISPLAY_STATUS, 4, 2), E::DisplayOn},
        {"console display 0: off", MakeSetting(GUID_CONSOLE_DISPLAY_STATE, 4, 0), E::DisplayOff},
        {"console display 1: on", MakeSetting(GUID_CONSOLE_DISPLAY_STATE, 4, 1), E::DisplayOn},
        {"console display 2: dimmed, still seen", MakeSetting(GUID_CONSOLE_DISPLAY_STATE, 4, 2), E::DisplayOn},
        {"monitor power 0: off", MakeSetting(GUID_MONITOR_POWER_ON, 4, 0), E::DisplayOff},
        {"monitor power 1: on", MakeSetting(GUID_MONITOR_POWER_ON, 4, 1), E::DisplayOn},
        {"monitor power 2: no such value", MakeSetting(GUID_MONITOR_POWER_ON, 4, 2), E::None},
        {"another setting, the power source 0 (mains)", MakeSetting(GUID_ACDC_POWER_SOURCE, 4, 0), E::None},
        {"session display in 2 bytes", MakeSetting(GUID_SESSION_DISPLAY_STATUS, 2, 0), E::None},
        {"session display in 8 bytes", MakeSetting(GUID_SESSION_DISPLAY_STATUS, 8, 0), E::None},
        {"monitor power in 2 bytes", MakeSetting(GUID_MONITOR_POWER_ON, 2, 0), E::None},
        {"monitor power in 8 bytes", MakeSetting(GUID_MONITOR_POWER_ON, 8, 0), E::None},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DisplayEventFrom(reinterpret_cast<LPARAM>(&c.setting)), c.expected) << c.what;
    }
    EXPECT_EQ(DisplayEventFrom(0), E::None) << "no data at all";
}

}  // namespace
