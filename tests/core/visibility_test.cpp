// Who can see the notification area: Windows' reports decoded, and each reason to be unseen
// kept on its own until its own end, or until the user evidently sees the icons.
#include "core/visibility.h"

#include <gtest/gtest.h>

#include <vector>

// Windows' codes by their names. Built for Windows, the names are the SDK's own, so that a wrong
// number in the core fails there (core_tests under Wine); natively they are copied from the SDK.
#ifdef _WIN32
#include <windows.h>
#else
#define WTS_CONSOLE_CONNECT 0x1
#define WTS_CONSOLE_DISCONNECT 0x2
#define WTS_REMOTE_CONNECT 0x3
#define WTS_REMOTE_DISCONNECT 0x4
#define WTS_SESSION_LOGON 0x5
#define WTS_SESSION_LOGOFF 0x6
#define WTS_SESSION_LOCK 0x7
#define WTS_SESSION_UNLOCK 0x8
#define WTS_SESSION_REMOTE_CONTROL 0x9
#define WTS_SESSION_CREATE 0xA
#define WTS_SESSION_TERMINATE 0xB
#define PBT_APMQUERYSUSPEND 0x0
#define PBT_APMSUSPEND 0x4
#define PBT_APMRESUMECRITICAL 0x6
#define PBT_APMRESUMESUSPEND 0x7
#define PBT_APMPOWERSTATUSCHANGE 0xA
#define PBT_APMRESUMEAUTOMATIC 0x12
#define PBT_POWERSETTINGCHANGE 0x8013
#endif

namespace {

using E = SeenEvent;

TEST(Visibility, WindowsReportsDecodeToTheEventsThatMatter)
{
    const struct {
        const char* what;
        SeenEvent event;
        SeenEvent expected;
    } cases[] = {
        {"console connect", SessionChangeEvent(WTS_CONSOLE_CONNECT), E::Connect},
        {"console disconnect (another user switched in)", SessionChangeEvent(WTS_CONSOLE_DISCONNECT), E::Disconnect},
        {"remote connect", SessionChangeEvent(WTS_REMOTE_CONNECT), E::Connect},
        {"remote disconnect", SessionChangeEvent(WTS_REMOTE_DISCONNECT), E::Disconnect},
        {"logon", SessionChangeEvent(WTS_SESSION_LOGON), E::None},
        {"logoff", SessionChangeEvent(WTS_SESSION_LOGOFF), E::None},
        {"lock", SessionChangeEvent(WTS_SESSION_LOCK), E::Lock},
        {"unlock", SessionChangeEvent(WTS_SESSION_UNLOCK), E::Unlock},
        {"remote control", SessionChangeEvent(WTS_SESSION_REMOTE_CONTROL), E::None},
        {"session create", SessionChangeEvent(WTS_SESSION_CREATE), E::None},
        {"session terminate", SessionChangeEvent(WTS_SESSION_TERMINATE), E::None},
        {"session code 0", SessionChangeEvent(0), E::None},
        {"session code 0xFFFFFFFF", SessionChangeEvent(0xFFFFFFFFu), E::None},
        {"query suspend", PowerEvent(PBT_APMQUERYSUSPEND), E::None},
        {"suspend", PowerEvent(PBT_APMSUSPEND), E::Suspend},
        {"resume, critical", PowerEvent(PBT_APMRESUMECRITICAL), E::Resume},
        {"resume, by the user", PowerEvent(PBT_APMRESUMESUSPEND), E::Resume},
        {"resume, automatic", PowerEvent(PBT_APMRESUMEAUTOMATIC), E::Resume},
        {"power status change", PowerEvent(PBT_APMPOWERSTATUSCHANGE), E::None},
        {"power setting change", PowerEvent(PBT_POWERSETTINGCHANGE), E::None},
        {"display off", DisplayStateEvent(true, 0), E::DisplayOff},
        {"display on", DisplayStateEvent(true, 1), E::DisplayOn},
        {"display dimmed: still seen", DisplayStateEvent(true, 2), E::DisplayOn},
        {"display state 3", DisplayStateEvent(true, 3), E::None},
        {"display state of the wrong size", DisplayStateEvent(false, 0), E::None},
        {"monitor off (Vista, 7)", MonitorPowerEvent(true, 0), E::DisplayOff},
        {"monitor on", MonitorPowerEvent(true, 1), E::DisplayOn},
        {"monitor power 2: no such value", MonitorPowerEvent(true, 2), E::None},
        {"monitor power of the wrong size", MonitorPowerEvent(false, 0), E::None},
    };
    for (const auto& c : cases) EXPECT_EQ(c.event, c.expected) << c.what;
}

TEST(Visibility, EachReasonEndsOnlyWithItsOwnEndOrWhenTheUserNotices)
{
    const struct {
        const char* what;
        std::vector<SeenEvent> events;
        bool seen;
    } cases[] = {
        {"at start", {}, true},
        {"locked", {E::Lock}, false},
        {"unlocked", {E::Lock, E::Unlock}, true},
        {"disconnected", {E::Disconnect}, false},
        {"reconnected", {E::Disconnect, E::Connect}, true},
        {"display off", {E::DisplayOff}, false},
        {"display on again", {E::DisplayOff, E::DisplayOn}, true},
        {"asleep", {E::Suspend}, false},
        {"awake", {E::Suspend, E::Resume}, true},
        {"unlocked, display still off", {E::DisplayOff, E::Lock, E::Unlock}, false},
        {"display on, still locked", {E::Lock, E::DisplayOff, E::DisplayOn}, false},
        {"reconnected, still locked", {E::Lock, E::Disconnect, E::Connect}, false},
        {"reconnected and unlocked", {E::Lock, E::Disconnect, E::Connect, E::Unlock}, true},
        {"awake, display still off", {E::DisplayOff, E::Suspend, E::Resume}, false},
        {"a second lock, one unlock", {E::Lock, E::Lock, E::Unlock}, true},
        {"an unlock that never came, healed by a click", {E::Lock, E::Noticed}, true},
        {"everything at once, healed by a click", {E::Lock, E::Disconnect, E::DisplayOff, E::Suspend, E::Noticed}, true},
        {"locked again after the click", {E::Lock, E::Noticed, E::Lock}, false},
        {"reports that say nothing", {E::Lock, E::None}, false},
        {"an unlock while seen", {E::Unlock}, true},
    };
    for (const auto& c : cases) {
        Visibility v{};
        for (SeenEvent e : c.events) ApplySeenEvent(v, e);
        EXPECT_EQ(IsSeen(v), c.seen) << c.what;
    }
}

}  // namespace
