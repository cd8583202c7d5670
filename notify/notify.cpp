// The sample cycle and the events that decide when and what the shell hears: a tick, a new look
// of the taskbar, a new shell, who can see the icons, and where the shell shows them.
#include "notify/notify.h"

#include "core/decimal.h"
#include "core/history.h"
#include "core/retry.h"
#include "notify/session.h"
#include "settings/settings.h"
#include "stats/stats.h"

namespace {

TaskbarLook g_look = {MIN_ICON_SIZE, false};
char g_tip[TIP_BYTES];  // the tooltip of the last sample cycle
Visibility g_visibility;

// The order the shell shows the icons in, as last learned, and the user's stored word on it.
IconOrder g_learnedOrder = ADDING_ORDER;
uint32_t g_orderChoice;
OrderQuestions g_orderQuestions;

// A shell that refused a call is left alone for a while: every call to a busy shell can block
// the meter for seconds, and retrying on every tick would do so ten times a second.
RetryWait g_shellRetry;

// A round of shell calls waits on the shell, and meanwhile Windows delivers the messages sent to
// the meter: a settings broadcast, "TaskbarCreated", the shell's own callbacks. Those only take
// notes while a round runs; the round acts on them once it is over, so that no round mixes two
// sizes, two colours or a restore with modifies.
bool g_inRound;
bool g_measureDue;    // the taskbar may look different
bool g_shellLost;     // a new shell may hold none of the icons
bool g_roundDue;      // another round was asked for during this one
bool g_askEveryIcon;  // seen again: ask the shell after every icon the next round does not touch
bool g_removed;       // the icons are gone for good: nothing may add them again

// Asks the shell where the icons are, when that is due and the order is the meter's to learn.
void LearnOrder(HWND hwnd, DWORD now)
{
    if (g_orderChoice != ORDER_AUTOMATIC || !OrderQuestionDue(g_orderQuestions, now)) return;
    OrderAsked(g_orderQuestions, now);
    IconPlace places[STRIP_ICONS];
    ShellPlaces(hwnd, places);
    g_learnedOrder = OrderFromPlaces(places, g_learnedOrder);
}

// Brings the shell to the current picture and tooltip, with one question after an icon when
// askOne is set, then whatever the round's own messages asked for. Nothing while nobody can see,
// while a refusing shell is left alone, or once the icons are removed.
void Update(HWND hwnd, bool askOne)
{
    if (g_inRound || g_removed) {
        g_roundDue = true;
        return;
    }
    // Each further round answers a message that came during the one before, or a shell that
    // turned out to lack an icon when asked after becoming seen; a few are plenty.
    for (int round = 0; round < 4; ++round) {
        if (g_measureDue) {
            g_measureDue = false;
            g_look = MeasureTaskbar();
            g_orderChoice = LoadOrderChoice();
            CueOrderQuestion(g_orderQuestions, OrderCue::Settle, GetTickCount());
        }
        if (g_shellLost) {
            g_shellLost = false;
            ShellLost();
        }
        const DWORD now = GetTickCount();
        if (!IsSeen(g_visibility) || !RetryDue(g_shellRetry, now)) return;
        g_inRound = true;
        g_roundDue = false;
        // A new order goes out in this same round: all three icons redrawn at once.
        const bool adding = !ShellHoldsAll();
        if (!adding) LearnOrder(hwnd, now);
        StripMasks masks;
        BuildStripMasks(masks, g_look.size);
        const IconOrder order = StripIconOrder();
        StripView view = {g_look.size, g_look.white, {}, g_tip};
        for (int id = 0; id < STRIP_ICONS; ++id) view.icons[id] = masks + order.slice[id] * IconMaskBytes(g_look.size);
        const bool taken = ShellShow(hwnd, view);
        // Counted from the refusal: the shell may have blocked the round for seconds.
        if (taken) RetrySucceeded(g_shellRetry);
        else RetryRefused(g_shellRetry, GetTickCount());
        // The shell places icons it was given a moment after taking them.
        if (adding) CueOrderQuestion(g_orderQuestions, OrderCue::Settle, GetTickCount());
        const bool askedEvery = g_askEveryIcon;
        if (askedEvery) ShellAsk(hwnd, true);
        else if (askOne) ShellAsk(hwnd, false);
        g_askEveryIcon = false;
        askOne = false;
        g_inRound = false;
        if (g_removed) return;
        // Icons often go missing across a sleep or a reconnect: put them back at once.
        if (askedEvery && !ShellHoldsAll()) g_roundDue = true;
        if (!g_roundDue && !g_measureDue && !g_shellLost) return;
    }
}

// The icon that stands right-most by the order drawn: it shows the newest third.
UINT RightmostIcon()
{
    const IconOrder order = StripIconOrder();
    for (UINT id = 0; id < STRIP_ICONS; ++id)
        if (order.slice[id] == STRIP_ICONS - 1) return id;
    return STRIP_ICONS - 1;
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

IconOrder StripIconOrder()
{
    return ChosenOrder(g_orderChoice, g_learnedOrder);
}

void AddStripIcons(HWND hwnd)
{
    g_visibility = Visibility{};
    g_shellRetry = RetryWait{};
    g_learnedOrder = ADDING_ORDER;
    StartOrderQuestions(g_orderQuestions, GetTickCount());
    g_removed = false;
    g_tip[0] = '\0';
    g_measureDue = true;
    WatchSession(hwnd);
    // The shell holds none of the icons yet: three adds with the picture of an idle graph (the
    // history was just reset) and no tooltip until the first sample cycle.
    Update(hwnd, false);
}

void ShowStripHint(HWND hwnd, const char* title, const char* text)
{
    if (g_inRound || g_removed || !IsSeen(g_visibility)) return;
    ShellBalloon(hwnd, RightmostIcon(), title, text);
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
    // From here on a message that Windows delivers while a delete waits on the shell (a new
    // shell's "TaskbarCreated", a report of being seen again) only takes a note that nothing acts
    // on: a round here would add icons that outlive the program.
    g_removed = true;
    UnwatchSession(hwnd);
    // Even while nobody can see them: icons left behind would stay until the shell restarts.
    ShellRemove(hwnd);
}

void RestoreStripIcons(HWND hwnd)
{
    // A new shell may draw its icons at another size (Windows restarts the taskbar when the
    // display's scaling changes) and in other colours; that it broadcast means it is seen, and
    // ready for calls.
    g_measureDue = true;
    g_shellLost = true;
    RetrySucceeded(g_shellRetry);
    ApplySeenEvent(g_visibility, SeenEvent::Noticed);
    Update(hwnd, false);
}

void FollowTaskbar(HWND hwnd)
{
    // Deciding anew on every such message never misses a change; an unchanged look sends nothing.
    g_measureDue = true;
    Update(hwnd, false);
}

void FollowIconMouse(HWND hwnd)
{
    RetryEndWait(g_shellRetry);
    CueOrderQuestion(g_orderQuestions, OrderCue::Mouse, GetTickCount());
    const bool wasSeen = IsSeen(g_visibility);
    FollowSeen(hwnd, SeenEvent::Noticed);
    // Seen already: a round that sends nothing unless a question is due or a wait just ended.
    if (wasSeen) Update(hwnd, false);
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
