// The sample cycle and the events that decide when and what the shell hears: a tick, a new look
// of the taskbar, a new shell, and who can see the icons.
#include "notify/notify.h"

#include "core/decimal.h"
#include "core/history.h"
#include "notify/session.h"
#include "stats/stats.h"

namespace {

TaskbarLook g_look = {MIN_ICON_SIZE, false};
char g_tip[TIP_BYTES];  // the tooltip of the last sample cycle
Visibility g_visibility;

// A round of shell calls waits on the shell, and meanwhile Windows delivers the messages sent to
// the meter: a settings broadcast, "TaskbarCreated", the shell's own callbacks. Those only take
// notes while a round runs; the round acts on them once it is over, so that no round mixes two
// sizes, two colours or a restore with modifies.
bool g_inRound;
bool g_measureDue;    // the taskbar may look different
bool g_shellLost;     // a new shell may hold none of the icons
bool g_roundDue;      // another round was asked for during this one
bool g_askEveryIcon;  // seen again: ask the shell after every icon the next round does not touch

// Brings the shell to the current picture and tooltip, with one question after an icon when
// askOne is set, then whatever the round's own messages asked for. Nothing while nobody can see.
void Update(HWND hwnd, bool askOne)
{
    if (g_inRound) {
        g_roundDue = true;
        return;
    }
    // Each further round answers a message that came during the one before, or a shell that
    // turned out to lack an icon when asked after becoming seen; a few are plenty.
    for (int round = 0; round < 4; ++round) {
        if (g_measureDue) {
            g_measureDue = false;
            g_look = MeasureTaskbar();
        }
        if (g_shellLost) {
            g_shellLost = false;
            ShellLost();
        }
        if (!IsSeen(g_visibility)) return;
        StripMasks masks;
        BuildStripMasks(masks, g_look.size);
        g_inRound = true;
        g_roundDue = false;
        ShellShow(hwnd, {g_look.size, g_look.white, masks, g_tip});
        const bool askedEvery = g_askEveryIcon;
        if (askedEvery) ShellAsk(hwnd, true);
        else if (askOne) ShellAsk(hwnd, false);
        g_askEveryIcon = false;
        askOne = false;
        g_inRound = false;
        // Icons often go missing across a sleep or a reconnect: put them back at once.
        if (askedEvery && !ShellHoldsAll()) g_roundDue = true;
        if (!g_roundDue && !g_measureDue && !g_shellLost) return;
    }
}

}  // namespace

bool (*g_usageSource)(uint32_t& usage) = ReadProcessorUsage;

int StripIconSize()
{
    return g_look.size;
}

bool StripIconsSeen()
{
    return IsSeen(g_visibility);
}

void AddStripIcons(HWND hwnd)
{
    g_visibility = Visibility{};
    g_tip[0] = '\0';
    g_measureDue = true;
    WatchSession(hwnd);
    // The shell holds none of the icons yet: three adds with the picture of an idle graph (the
    // history was just reset) and no tooltip until the first sample cycle.
    Update(hwnd, false);
}

void ShowStripHint(HWND hwnd, const char* title, const char* text)
{
    if (g_inRound || !IsSeen(g_visibility)) return;
    ShellBalloon(hwnd, STRIP_ICONS - 1, title, text);
}

void OnSampleTimer(HWND hwnd)
{
    uint32_t usage = 0;
    const bool haveReading = g_usageSource(usage);
    if (haveReading) HistoryPush(usage);
    FormatUsageTip(g_tip, haveReading, usage);
    RetryWatchSession(hwnd);
    Update(hwnd, true);
}

void RemoveStripIcons(HWND hwnd)
{
    UnwatchSession(hwnd);
    // Even while nobody can see them: icons left behind would stay until the shell restarts.
    ShellRemove(hwnd);
}

void RestoreStripIcons(HWND hwnd)
{
    // A new shell may draw its icons at another size (Windows restarts the taskbar when the
    // display's scaling changes) and in other colours; that it broadcast means it is seen.
    g_measureDue = true;
    g_shellLost = true;
    ApplySeenEvent(g_visibility, SeenEvent::Noticed);
    Update(hwnd, false);
}

void FollowTaskbar(HWND hwnd)
{
    // Deciding anew on every such message never misses a change; an unchanged look sends nothing.
    g_measureDue = true;
    Update(hwnd, false);
}

void FollowSeen(HWND hwnd, SeenEvent event)
{
    const bool wasSeen = IsSeen(g_visibility);
    ApplySeenEvent(g_visibility, event);
    if (event == SeenEvent::Resume) {
        // The next reading would span the sleep: it starts from now instead.
        uint32_t discarded;
        g_usageSource(discarded);
    }
    if (wasSeen || !IsSeen(g_visibility)) return;
    g_askEveryIcon = true;
    Update(hwnd, false);
}

void OnSessionChange(HWND hwnd, WPARAM code)
{
    FollowSeen(hwnd, SessionChangeEvent(static_cast<uint32_t>(code)));
}

void OnPowerBroadcast(HWND hwnd, WPARAM event, LPARAM data)
{
    FollowSeen(hwnd, event == PBT_POWERSETTINGCHANGE ? DisplayEventFrom(data) : PowerEvent(static_cast<uint32_t>(event)));
}
