// Who can see the notification area: Windows' reports decoded, and each reason to be unseen
// kept on its own until its own end, or until the user evidently sees the icons.
#include "core/visibility.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using E = SeenEvent;

TEST(Visibility, WindowsReportsDecodeToTheEventsThatMatter)
{
    const struct {
        const char* what;
        SeenEvent event;
        SeenEvent expected;
    } cases[] = {
        {"console connect", SessionChangeEvent(1), E::Connect},
        {"console disconnect (another user switched in)", SessionChangeEvent(2), E::Disconnect},
        {"remote connect", SessionChangeEvent(3), E::Connect},
        {"remote disconnect", SessionChangeEvent(4), E::Disconnect},
        {"logon", SessionChangeEvent(5), E::None},
        {"logoff", SessionChangeEvent(6), E::None},
        {"lock", SessionChangeEvent(7), E::Lock},
        {"unlock", SessionChangeEvent(8), E::Unlock},
        {"remote control", SessionChangeEvent(9), E::None},
        {"session create", SessionChangeEvent(10), E::None},
        {"session code 0", SessionChangeEvent(0), E::None},
        {"session code 0xFFFFFFFF", SessionChangeEvent(0xFFFFFFFFu), E::None},
        {"query suspend", PowerEvent(0), E::None},
        {"suspend", PowerEvent(4), E::Suspend},
        {"resume, critical", PowerEvent(6), E::Resume},
        {"resume, by the user", PowerEvent(7), E::Resume},
        {"resume, automatic", PowerEvent(0x12), E::Resume},
        {"power status change", PowerEvent(0xA), E::None},
        {"power setting change", PowerEvent(0x8013), E::None},
        {"display off", DisplayStateEvent(true, 0), E::DisplayOff},
        {"display on", DisplayStateEvent(true, 1), E::DisplayOn},
        {"display dimmed: still seen", DisplayStateEvent(true, 2), E::DisplayOn},
        {"display state 3", DisplayStateEvent(true, 3), E::None},
        {"display state of the wrong size", DisplayStateEvent(false, 0), E::None},
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
