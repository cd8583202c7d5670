// The three notification icons and the sample cycle against Wine's real notification area: what
// the shell holds, what reaches the owner window, and the pixels on the screen.
#include "notify/notify.h"

#include "core/history.h"
#include "stats/stats.h"

#include <gtest/gtest.h>

#include <psapi.h>
#include <wtsapi32.h>

#include <cstring>
#include <functional>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "dyn_data.h"
#include "notify/session.h"
#include "shell_log.h"
#include "tray_capture.h"

namespace {

struct Callback {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<Callback> g_callbacks;

LRESULT CALLBACK OwnerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message >= WM_APP) g_callbacks.push_back({message, wParam, lParam});
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

void DeleteIconBehindItsBack(HWND hwnd, UINT id)
{
    NOTIFYICONDATAA record = {};
    record.cbSize = NOTIFYICONDATAA_V1_SIZE;
    record.hWnd = hwnd;
    record.uID = id;
    ASSERT_TRUE(Shell_NotifyIconA(NIM_DELETE, &record));
}

// Pictures are the three icons side by side, S rows of 3 x S pixels at the meter's icon size S:
// '#' black, 'W' white, '.' transparent, built from runs of equal rows.
std::string Repeat(int count, const std::string& row)
{
    std::string text;
    for (int i = 0; i < count; ++i) text += row + '\n';
    return text;
}

// The picture of a graph whose newest columns show these readings (oldest first) and whose older
// columns are idle, with bars drawn in `bar`, at the meter's icon size: column by column, rows h
// to S-1 in the bar colour for the reading's headroom h (the size's own scale, tested on its own
// in the core), the bottom row alone before the first reading.
std::string Graph(const std::vector<uint32_t>& newest, char bar = '#')
{
    const int size = StripIconSize();
    const size_t columns = 3 * static_cast<size_t>(size);
    std::vector<uint32_t> headrooms(columns, static_cast<uint32_t>(size - 1));
    for (size_t i = 0; i < newest.size() && i < columns; ++i)
        headrooms[columns - 1 - i] = HeadroomFromUsage(newest[newest.size() - 1 - i], size);
    std::string text;
    for (int row = 0; row < size; ++row) {
        for (uint32_t h : headrooms) text += static_cast<uint32_t>(row) < h ? '.' : bar;
        text += '\n';
    }
    return text;
}

std::vector<uint32_t> Readings(size_t count, uint32_t usage)
{
    return std::vector<uint32_t>(count, usage);
}

std::vector<uint32_t> Concat(std::vector<uint32_t> a, const std::vector<uint32_t>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Where the shell says whether its taskbar is dark: the meter draws white bars for a 4-byte
// REG_DWORD 0 there.
const char THEME_KEY[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";

void SetTheme(DWORD type, const std::vector<BYTE>& bytes)
{
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, THEME_KEY, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, "SystemUsesLightTheme", 0, type, bytes.data(), static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

void ClearTheme(bool keyToo)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, THEME_KEY, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, "SystemUsesLightTheme");
        RegCloseKey(key);
    }
    if (keyToo) RegDeleteKeyA(HKEY_CURRENT_USER, THEME_KEY);
}

// The user's choices beside the stored delay: the bars' colour, the icons' order.
const char SETTINGS_KEY[] = "Software\\Cyclowisp";

void SetSetting(const char* name, DWORD type, const std::vector<BYTE>& bytes)
{
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, SETTINGS_KEY, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, name, 0, type, bytes.data(), static_cast<DWORD>(bytes.size())), ERROR_SUCCESS);
    RegCloseKey(key);
}

void ClearSetting(const char* name)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, SETTINGS_KEY, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, name);
        RegCloseKey(key);
    }
}

void SetBars(DWORD type, const std::vector<BYTE>& bytes)
{
    SetSetting("Bars", type, bytes);
}

void ClearBars()
{
    ClearSetting("Bars");
}

// The meter's own way to measure its icon size, and a stand-in that tests set: Wine reads a
// process's DPI once, so only a stand-in can change the size of a running meter.
int (*const g_realIconSize)() = g_iconSizeSource;
int g_standInSize;
int StandInIconSize()
{
    return g_standInSize;
}

// Dispatches this thread's messages for a while, so that the shell's callbacks arrive.
void PumpUntil(size_t callbacks, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    while (g_callbacks.size() < callbacks && GetTickCount() - start < timeoutMs) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
}

// Waits until the tray shows no icon, up to 10 s: a docked icon's window goes a moment after
// its delete.
bool PumpUntilNoIcons()
{
    const DWORD start = GetTickCount();
    while (!TrayIconWindows().empty()) {
        if (GetTickCount() - start > 10000) return false;
        Sleep(50);
    }
    return true;
}

class StripIcons : public testing::Test {
protected:
    void SetUp() override
    {
        g_hInstance = GetModuleHandleA(nullptr);
        WNDCLASSA wc = {};
        wc.lpfnWndProc = OwnerProc;
        wc.hInstance = g_hInstance;
        wc.lpszClassName = "CyclowispIconOwner";
        RegisterClassA(&wc);  // fails harmlessly from the second test on
        hwnd = CreateWindowA("CyclowispIconOwner", "icon owner", WS_OVERLAPPED, 0, 0, 50, 50,
                             nullptr, nullptr, g_hInstance, nullptr);
        ASSERT_TRUE(hwnd);
        g_callbacks.clear();
        RestoreEmptySampleKey();
        ClearTheme(false);
        ClearBars();
        ClearSetting("Order");
        HistoryReset();
        ASSERT_TRUE(PumpUntilNoIcons()) << "icons left in the tray by someone else";
    }

    void TearDown() override
    {
        RemoveStripIcons(hwnd);
        DestroyWindow(hwnd);
        RestoreEmptySampleKey();
        ClearTheme(false);
        ClearBars();
        ClearSetting("Order");
        g_iconSizeSource = g_realIconSize;
        g_usageSource = ReadProcessorUsage;
    }

    // Which of the owner's icons sits in each slot of the tray, left to right, as the callbacks
    // of a mouse message posted to each slot tell.
    std::vector<WPARAM> IdsLeftToRight()
    {
        g_callbacks.clear();
        const std::vector<HWND> slots = TrayIconWindows();
        for (HWND slot : slots) PostMessageA(slot, WM_MOUSEMOVE, 0, MAKELPARAM(8, 8));
        PumpUntil(slots.size(), 10000);
        std::vector<WPARAM> ids;
        for (const Callback& c : g_callbacks) ids.push_back(c.wParam);
        g_callbacks.clear();
        return ids;
    }

    // The order once it is `expected`, or the last seen after 10 s: a tray that has just had
    // icons deleted and added may still be moving their windows into place.
    std::vector<WPARAM> IdsSettleTo(const std::vector<WPARAM>& expected)
    {
        std::vector<WPARAM> ids;
        const DWORD start = GetTickCount();
        do {
            ids = IdsLeftToRight();
            if (ids == expected) break;
            Sleep(100);
        } while (GetTickCount() - start < 10000);
        return ids;
    }

    // One tick of the sample cycle with this statistic in the registry.
    void Tick(uint32_t usage)
    {
        WriteUsage(usage);
        OnSampleTimer(hwnd);
    }

    // The three icons side by side in uID order once they show `expected`, or what they show
    // after 10 s: the shell repaints on its own thread, so the screen may lag the last call a
    // moment. (Wine's tray puts the first icon added at the left, an X tray panel may not.)
    std::string TrayPicture(const std::string& expected)
    {
        std::string seen;
        const DWORD start = GetTickCount();
        do {
            // Asked each time: a panel may still be placing icons that were just added.
            const std::vector<WPARAM> ids = IdsLeftToRight();
            const std::vector<std::string> slots = CaptureTrayIcons();
            std::vector<std::string> byId(3);
            for (size_t slot = 0; slot < slots.size() && slot < ids.size(); ++slot)
                if (ids[slot] < 3) byId[ids[slot]] = slots[slot];
            seen = slots.size() == 3 && ids.size() == 3 ? SideBySide(byId, 0, 3) : SideBySide(slots, 0, 3);
            if (seen == expected) break;
            Sleep(50);
        } while (GetTickCount() - start < 10000);
        return seen;
    }

    HWND hwnd = nullptr;
};


// The size of the icons, in pixels square.
int S()
{
    return StripIconSize();
}

// A graph of the meter's size whose rightmost `full` columns are solid and whose other columns
// show the baseline, drawn without the headroom scale.
std::string FullColumnsAtTheRight(int full)
{
    const int columns = 3 * S();
    return Repeat(S() - 1, std::string(columns - full, '.') + std::string(full, '#')) +
           Repeat(1, std::string(columns, '#'));
}

TEST_F(StripIcons, AddGivesTheShellThreeBaselineIconsOfTheTaskbarsSizeAndRemoveTakesThemAway)
{
    AddStripIcons(hwnd);
    // The size the shell really draws them at: its icon slots are that size and 4 pixels more.
    const std::vector<HWND> slots = TrayIconWindows();
    ASSERT_FALSE(slots.empty());
    RECT slot;
    GetWindowRect(slots[0], &slot);
    EXPECT_EQ(S(), slot.right - slot.left - 4);
    for (UINT id = 0; id < 3; ++id) EXPECT_TRUE(TrayHoldsIcon(hwnd, id)) << "icon " << id;
    EXPECT_FALSE(TrayHoldsIcon(hwnd, 3));
    EXPECT_EQ(TrayIconWindows().size(), 3u);
    // S x S icons, S - 1 transparent rows above a black bottom row.
    EXPECT_EQ(TrayPicture(FullColumnsAtTheRight(0)), FullColumnsAtTheRight(0));

    RemoveStripIcons(hwnd);
    for (UINT id = 0; id < 3; ++id) EXPECT_FALSE(TrayHoldsIcon(hwnd, id)) << "icon " << id;
    EXPECT_TRUE(TrayIconWindows().empty());
}

TEST_F(StripIcons, MouseOverAnIconReachesTheOwnerAsTheCallbackWithTheIconNumber)
{
    AddStripIcons(hwnd);
    const std::vector<HWND> slots = TrayIconWindows();
    ASSERT_EQ(slots.size(), 3u);
    // What the shell does when the user double-clicks the icons from left to right.
    for (HWND slot : slots) PostMessageA(slot, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(8, 8));
    PumpUntil(3, 10000);
    ASSERT_EQ(g_callbacks.size(), 3u);
    for (UINT id = 0; id < 3; ++id) {
        SCOPED_TRACE(id);
        EXPECT_EQ(g_callbacks[id].message, 0x8064u);
        EXPECT_EQ(g_callbacks[id].wParam, id) << "icons are added as 0, 1, 2 from the left";
        EXPECT_EQ(g_callbacks[id].lParam, WM_LBUTTONDBLCLK);
    }
}

TEST_F(StripIcons, EachGoodReadingEntersAtTheRightAndAFailedReadChangesNothing)
{
    AddStripIcons(hwnd);
    ASSERT_EQ(TrayPicture(Graph({})), Graph({}));

    Tick(100);
    EXPECT_EQ(TrayPicture(FullColumnsAtTheRight(1)), FullColumnsAtTheRight(1))
        << "only the rightmost column of icon 2 changes";

    Tick(37);
    Tick(0);
    const std::string three = Graph({100, 37, 0});
    EXPECT_EQ(TrayPicture(three), three);

    // A mistyped statistic is no reading: the history stays as it was, which the next good
    // reading shows by adding exactly one column to it.
    WriteStatistic(REG_DWORD, Le32(100));
    OnSampleTimer(hwnd);
    Tick(50);
    const std::string four = Graph({100, 37, 0, 50});
    EXPECT_EQ(TrayPicture(four), four);

    // A reading above 100 draws an empty column, baseline row included.
    Tick(101);
    const std::string empty = Graph({100, 37, 0, 50, 101});
    EXPECT_EQ(TrayPicture(empty), empty);
}

TEST_F(StripIcons, ACrossingOfEveryHeadroomFillsTheWholeGraphOnePixelColumnPerReading)
{
    AddStripIcons(hwnd);
    // 3 x S readings, each headroom from full to empty at least once: a ramp down and up in
    // steps of 3 %, a reading above 100, then the rest alternating.
    std::vector<uint32_t> readings;
    for (uint32_t u = 0; u <= 100; u += 3) readings.push_back(u);
    readings.push_back(100);
    readings.push_back(4294967295u);
    readings.push_back(101);
    for (size_t i = 0; readings.size() < 3 * static_cast<size_t>(S()); ++i) readings.push_back(i % 2 ? 100 : 0);
    for (uint32_t usage : readings) Tick(usage);
    const std::string expected = Graph(readings);
    EXPECT_EQ(TrayPicture(expected), expected);
}

TEST_F(StripIcons, FullLoadFillsIconTwoAfterOneIconOfTicksAndAllThreeAfterThree)
{
    AddStripIcons(hwnd);
    for (int tick = 0; tick < S(); ++tick) Tick(100);
    EXPECT_EQ(TrayPicture(FullColumnsAtTheRight(S())), FullColumnsAtTheRight(S()));

    for (int tick = S(); tick < 3 * S(); ++tick) Tick(100);
    const std::string solid = Repeat(S(), std::string(3 * S(), '#'));
    EXPECT_EQ(TrayPicture(solid), solid);

    // Idle again: the old bars leave on the left, stale pixels or not.
    for (int tick = 8; tick < 3 * S(); ++tick) Tick(0);
    const std::string tail = Repeat(S() - 1, std::string(8, '#') + std::string(3 * S() - 8, '.')) +
                             Repeat(1, std::string(3 * S(), '#'));
    EXPECT_EQ(TrayPicture(tail), tail);
}

TEST_F(StripIcons, RestoreBringsLostIconsBackWithTheCurrentPictureWithoutTakingASample)
{
    AddStripIcons(hwnd);
    Tick(100);
    Tick(37);
    ASSERT_EQ(TrayPicture(Graph({100, 37})), Graph({100, 37}));

    // The shell restarts and forgets the icons; ticks until then change nothing there.
    for (UINT id = 0; id < 3; ++id) DeleteIconBehindItsBack(hwnd, id);
    Tick(100);
    for (UINT id = 0; id < 3; ++id) EXPECT_FALSE(TrayHoldsIcon(hwnd, id)) << "icon " << id;

    // The picture shows that tick, and no sample of the 0 now in the registry.
    WriteUsage(0);
    RestoreStripIcons(hwnd);
    for (UINT id = 0; id < 3; ++id) EXPECT_TRUE(TrayHoldsIcon(hwnd, id)) << "icon " << id;
    const std::string after = Graph({100, 37, 100});
    EXPECT_EQ(TrayPicture(after), after);

    // Another restore while the shell still holds them deletes and adds them again: still three,
    // in order, with the same picture, and the callbacks still reach the owner.
    RestoreStripIcons(hwnd);
    EXPECT_EQ(IdsSettleTo({0, 1, 2}), (std::vector<WPARAM>{0, 1, 2}));
    EXPECT_EQ(TrayPicture(after), after);
    const std::vector<HWND> slots = TrayIconWindows();
    ASSERT_EQ(slots.size(), 3u);
    PostMessageA(slots[2], WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(8, 8));
    PumpUntil(1, 10000);
    ASSERT_EQ(g_callbacks.size(), 1u);
    EXPECT_EQ(g_callbacks[0].message, 0x8064u);
    EXPECT_EQ(g_callbacks[0].wParam, 2u);
    EXPECT_EQ(g_callbacks[0].lParam, WM_RBUTTONDOWN);
}

TEST_F(StripIcons, AnIconLostWithoutABroadcastIsBackASecondLaterInOrder)
{
    AddStripIcons(hwnd);
    Tick(100);
    Tick(37);
    // The shell drops the middle icon and says nothing. The next tick's call for it fails, and
    // the shell is left alone for a second before all three are added again.
    DeleteIconBehindItsBack(hwnd, 1);
    Tick(0);
    Tick(50);
    EXPECT_FALSE(TrayHoldsIcon(hwnd, 1)) << "added again at once";
    Sleep(1000);
    Tick(50);
    EXPECT_EQ(IdsSettleTo({0, 1, 2}), (std::vector<WPARAM>{0, 1, 2}));
    const std::string expected = Graph({100, 37, 0, 50, 50});
    EXPECT_EQ(TrayPicture(expected), expected);
}

TEST_F(StripIcons, AnIconLostWhileTheGraphStandsStillIsBackWithinAboutTwoSeconds)
{
    // Ticks at the shortest delay, 0.1 s, on a graph that does not change: a steady reading, or a
    // statistic that fails every tick. Such a tick sends the shell nothing, so only the meter's
    // own question to the shell notices the loss.
    const struct {
        const char* what;
        bool goodReading;
        const char* tip;
    } cases[] = {{"a steady reading", true, "37 %"}, {"a statistic that fails every tick", false, "(none)"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        HistoryReset();
        for (int i = 0; i < 3 * MAX_ICON_SIZE; ++i) HistoryPush(37);
        AddStripIcons(hwnd);
        if (c.goodReading) WriteUsage(37);
        else WriteStatistic(REG_DWORD, Le32(37));
        auto tick = [&] {
            Sleep(100);
            OnSampleTimer(hwnd);
        };
        for (int i = 0; i < 15; ++i) tick();  // the whole picture sent, then still
        const std::string still = Graph(Readings(3 * MAX_ICON_SIZE, 37));
        ASSERT_EQ(TrayPicture(still), still);

        DeleteIconBehindItsBack(hwnd, 1);
        const DWORD lost = GetTickCount();
        DWORD back = 0;
        while (GetTickCount() - lost < 10000) {
            tick();
            if (TrayHoldsIcon(hwnd, 1)) {
                back = GetTickCount() - lost;
                break;
            }
        }
        ASSERT_NE(back, 0u) << "icon 1 not back after 10 s";
        // Each icon is asked about after a second without a call, so the loss is noticed within
        // a second and a few ticks and repaired at the next tick (generous for an emulator).
        EXPECT_LE(back, 3000u) << "icon 1 back after " << back << " ms";
        std::cout << "  " << c.what << ": icon 1 back after " << back << " ms\n";
        EXPECT_EQ(IdsSettleTo({0, 1, 2}), (std::vector<WPARAM>{0, 1, 2}));
        EXPECT_EQ(TrayPicture(still), still);
        for (size_t slot = 0; slot < 3; ++slot) EXPECT_EQ(HoverTooltip(slot, 3000), c.tip) << "slot " << slot;
        RemoveStripIcons(hwnd);
        ASSERT_TRUE(PumpUntilNoIcons());
    }
}

TEST_F(StripIcons, AnAddRefusedAtStartIsRepairedASecondLater)
{
    // A stale icon 1 of this window makes the shell refuse that add, which ends the round.
    NOTIFYICONDATAA stale = {};
    stale.cbSize = NOTIFYICONDATAA_V1_SIZE;
    stale.hWnd = hwnd;
    stale.uID = 1;
    stale.uFlags = NIF_MESSAGE | NIF_ICON;
    stale.uCallbackMessage = WM_NOTIFYICON;
    stale.hIcon = LoadIconA(nullptr, IDI_APPLICATION);  // the shell shows no icon without a picture
    ASSERT_TRUE(Shell_NotifyIconA(NIM_ADD, &stale));
    AddStripIcons(hwnd);
    ASSERT_EQ(IdsSettleTo({1, 0}), (std::vector<WPARAM>{1, 0}));

    Tick(100);
    Sleep(1000);
    Tick(37);
    EXPECT_EQ(IdsSettleTo({0, 1, 2}), (std::vector<WPARAM>{0, 1, 2}));
    EXPECT_EQ(TrayPicture(Graph({100, 37})), Graph({100, 37}));
}

TEST_F(StripIcons, ASizeChangeRedrawsTheRecentHistoryAtTheNewSizeAtOnceWithoutASample)
{
    // The meter starts at another size than the tray's (as if the display's scaling changed
    // since), so the shell stretches its icons; then the size source says what the tray shows.
    const int shown = g_realIconSize();
    g_standInSize = shown == 16 ? 24 : 16;
    g_iconSizeSource = StandInIconSize;
    AddStripIcons(hwnd);
    ASSERT_EQ(S(), g_standInSize);
    // More readings than either size's graph holds.
    std::vector<uint32_t> readings;
    for (int i = 0; i < 3 * 32 + 10; ++i) {
        readings.push_back(static_cast<uint32_t>(i * 7 % 101));
        Tick(readings.back());
    }
    EXPECT_EQ(TrayIconWindows().size(), 3u);

    WriteUsage(0);  // a sample taken out of turn would add an idle column
    g_standInSize = shown;
    FollowTaskbar(hwnd);
    ASSERT_EQ(S(), shown);
    EXPECT_EQ(TrayPicture(Graph(readings)), Graph(readings)) << "the newest " << 3 * shown << " readings";
    const std::string tip = std::to_string(readings.back()) + " %";
    for (size_t slot = 0; slot < 3; ++slot) EXPECT_EQ(HoverTooltip(slot), tip) << "slot " << slot;

    // A new shell may come at another size: the restore after "TaskbarCreated" measures again.
    g_standInSize = shown == 16 ? 20 : 16;
    RestoreStripIcons(hwnd);
    EXPECT_EQ(S(), g_standInSize);
    g_standInSize = shown;
    RestoreStripIcons(hwnd);
    EXPECT_EQ(IdsSettleTo({0, 1, 2}), (std::vector<WPARAM>{0, 1, 2}));
    EXPECT_EQ(TrayPicture(Graph(readings)), Graph(readings));

    // Sizes the system may report beyond what the meter draws are taken as the nearest it does.
    g_standInSize = 200;
    FollowTaskbar(hwnd);
    EXPECT_EQ(S(), 64);
    g_standInSize = 0;
    FollowTaskbar(hwnd);
    EXPECT_EQ(S(), 16);
}

TEST_F(StripIcons, EveryKindOfTickLeavesTheExactPictureAndTooltip)
{
    AddStripIcons(hwnd);
    // The tooltip as the user sees it, hovering each icon in turn: the same on all three.
    // A tooltip shows within about a second of the hover; waiting for none to show takes the
    // whole time-out, so that is kept short.
    auto tips = [](DWORD timeoutMs = 5000) {
        std::vector<std::string> seen;
        for (size_t slot = 0; slot < 3; ++slot) seen.push_back(HoverTooltip(slot, timeoutMs));
        return seen;
    };
    auto same = [](const std::string& tip) { return std::vector<std::string>(3, tip); };
    EXPECT_EQ(tips(3000), same("(none)")) << "no tooltip before the first sample";

    std::vector<uint32_t> readings = Readings(3 * S(), 100);
    for (uint32_t usage : readings) Tick(usage);
    const std::string solid = Graph(readings);
    ASSERT_EQ(TrayPicture(solid), solid);
    EXPECT_EQ(tips(), same("100 %"));

    Tick(100);  // nothing changed
    EXPECT_EQ(TrayPicture(solid), solid);
    EXPECT_EQ(tips(), same("100 %"));

    Tick(99);  // only the tooltip changed: 99 draws a full column at every size too
    EXPECT_EQ(TrayPicture(solid), solid);
    EXPECT_EQ(tips(), same("99 %"));

    Tick(50);  // the picture and the tooltip changed
    readings = Concat(readings, {100, 99, 50});
    const std::string moved = Graph(readings);
    EXPECT_EQ(TrayPicture(moved), moved);
    EXPECT_EQ(tips(), same("50 %"));

    WriteStatistic(REG_DWORD, Le32(100));  // a failed read: same picture, no tooltip
    OnSampleTimer(hwnd);
    EXPECT_EQ(TrayPicture(moved), moved);
    EXPECT_EQ(tips(3000), same("(none)"));

    Tick(37);
    RestoreStripIcons(hwnd);  // a restore sends the current picture and tooltip again
    readings.push_back(37);
    const std::string restored = Graph(readings);
    EXPECT_EQ(TrayPicture(restored), restored);
    EXPECT_EQ(tips(), same("37 %"));
}

TEST_F(StripIcons, ThousandsOfCyclesLeaveTheExactPictureAndNoGrowingMemory)
{
    AddStripIcons(hwnd);
    // Alternating readings: every icon gets a new picture and tooltip on every tick.
    const uint32_t alternating[] = {100, 0};
    std::vector<uint32_t> readings;
    auto cycles = [&](int count) {
        for (int i = 0; i < count; ++i) {
            readings.push_back(alternating[readings.size() % 2]);
            Tick(readings.back());
        }
    };
    // Wine reports no private bytes, but its committed and resident memory do show a leak.
    auto memory = [] {
        PROCESS_MEMORY_COUNTERS counters = {};
        counters.cb = sizeof counters;
        GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
        return std::make_pair(counters.PagefileUsage, counters.WorkingSetSize);
    };
    cycles(300);  // warm-up: the heaps and the shell's tables reach their working size
    const auto before = memory();
    cycles(3000);
    const auto after = memory();
    // Leaking only the icons, three per cycle, grows both by megabytes (seen: 3.6 MB).
    const SIZE_T bound = 512 * 1024;
    EXPECT_LE(after.first, before.first + bound) << "committed bytes grew from " << before.first << " to " << after.first;
    EXPECT_LE(after.second, before.second + bound) << "working set grew from " << before.second << " to " << after.second;

    const std::string expected = Graph(readings);
    EXPECT_EQ(TrayPicture(expected), expected);
}

// --- What the shell hears: only changes, nothing while nobody can see, one round at a time ---

// A graph that stands still at 37 %: the whole history full, so that every tick draws the same.
void FillHistory(uint32_t usage)
{
    HistoryReset();
    for (int i = 0; i < HISTORY_LENGTH; ++i) HistoryPush(usage);
}

// How the meter draws its icons now, as the shell log writes them.
std::string Look(bool white = false)
{
    return "icon(" + std::to_string(S()) + (white ? " white)" : " black)");
}

// The log lines of one round that sends the three icons the same way.
std::string Three(const std::string& before, const std::string& after = "")
{
    std::string text;
    for (int id = 0; id < 3; ++id) text += before + " " + std::to_string(id) + (after.empty() ? "" : " " + after) + "\n";
    return text;
}

// A size source that counts its calls.
int g_sizeAsked;
int CountingIconSize()
{
    ++g_sizeAsked;
    return g_standInSize;
}

TEST_F(StripIcons, AfterASwitchAStillGraphSendsOneRoundAndThenOnlyQuestions)
{
    const int tray = g_realIconSize();
    g_standInSize = tray;
    g_iconSizeSource = CountingIconSize;
    FillHistory(37);
    AddStripIcons(hwnd);
    Tick(37);
    ShellLogged logged;
    const struct {
        const char* what;
        std::function<void()> change;
        bool white;
    } switches[] = {
        {"to white bars", [] { SetBars(REG_DWORD, Le32(2)); }, true},
        {"to black bars", [] { ClearBars(); }, false},
        {"to another size", [tray] { g_standInSize = tray == 16 ? 24 : 16; }, false},
        {"to the tray's size", [tray] { g_standInSize = tray; }, false},
    };
    for (const auto& sw : switches) {
        SCOPED_TRACE(sw.what);
        sw.change();
        g_sizeAsked = 0;
        FollowTaskbar(hwnd);
        EXPECT_EQ(g_sizeAsked, 1);
        EXPECT_EQ(TakeShellLog(), Three("modify", Look(sw.white)));
        g_sizeAsked = 0;

        // Then 1.5 s of ticks at the shortest delay on the still graph: no call but, once an
        // icon has gone a second without one, a question after it, one a tick at most. (Before,
        // every tick after a switch sent all three icons and tooltips again.)
        int questions = 0;
        for (int tick = 0; tick < 15; ++tick) {
            Sleep(100);
            Tick(37);
            const std::string calls = TakeShellLog();
            if (calls.empty()) continue;
            ++questions;
            EXPECT_TRUE(calls == "ask 0\n" || calls == "ask 1\n" || calls == "ask 2\n") << "tick " << tick << ":\n" << calls;
        }
        EXPECT_GE(questions, 1);
        EXPECT_EQ(g_sizeAsked, 0) << "a tick measured the taskbar";
    }
    EXPECT_EQ(TrayPicture(Graph(Readings(HISTORY_LENGTH, 37))), Graph(Readings(HISTORY_LENGTH, 37)));
}

// Windows' reports about the session, the display and the power, as the meter dialog passes
// them on.
void SessionReport(HWND hwnd, WPARAM code)
{
    OnSessionChange(hwnd, code);
}

void PowerReport(HWND hwnd, WPARAM event)
{
    OnPowerBroadcast(hwnd, event, 0);
}

void DisplayReport(HWND hwnd, DWORD state)
{
    // A POWERBROADCAST_SETTING: the setting's GUID, the data's length, the data.
    struct {
        GUID setting;
        DWORD length;
        DWORD state;
    } report = {{0x2B84C20E, 0xAD23, 0x4DDF, {0x93, 0xDB, 0x05, 0xFF, 0xBD, 0x7E, 0xFC, 0xA5}}, sizeof(DWORD), state};
    OnPowerBroadcast(hwnd, PBT_POWERSETTINGCHANGE, reinterpret_cast<LPARAM>(&report));
}

const struct {
    const char* what;
    void (*unseen)(HWND);
    void (*seen)(HWND);
} UNSEEN_AND_SEEN[] = {
    {"a locked session", [](HWND h) { SessionReport(h, WTS_SESSION_LOCK); }, [](HWND h) { SessionReport(h, WTS_SESSION_UNLOCK); }},
    {"another user at the console", [](HWND h) { SessionReport(h, WTS_CONSOLE_DISCONNECT); }, [](HWND h) { SessionReport(h, WTS_CONSOLE_CONNECT); }},
    {"a remote session whose client went", [](HWND h) { SessionReport(h, WTS_REMOTE_DISCONNECT); }, [](HWND h) { SessionReport(h, WTS_REMOTE_CONNECT); }},
    {"the display off, then dimmed", [](HWND h) { DisplayReport(h, 0); }, [](HWND h) { DisplayReport(h, 2); }},
    {"the display off, then on", [](HWND h) { DisplayReport(h, 0); }, [](HWND h) { DisplayReport(h, 1); }},
    {"a sleeping machine", [](HWND h) { PowerReport(h, PBT_APMSUSPEND); },
     [](HWND h) { PowerReport(h, PBT_APMRESUMEAUTOMATIC); }},
};

TEST_F(StripIcons, WhileNobodyCanSeeTheShellHearsNothingAndOneRoundWhenSeenAgain)
{
    for (const auto& c : UNSEEN_AND_SEEN) {
        SCOPED_TRACE(c.what);
        FillHistory(37);
        AddStripIcons(hwnd);
        Tick(37);
        ShellLogged logged;
        c.unseen(hwnd);
        EXPECT_FALSE(StripIconsSeen());
        // Readings that change the graph, over more than the second after which the meter would
        // ask after its icons: the history fills, the shell hears nothing.
        std::vector<uint32_t> readings = Readings(HISTORY_LENGTH, 37);
        for (uint32_t usage : {100u, 0u, 100u, 50u, 20u}) {
            Sleep(300);
            Tick(usage);
            readings.push_back(usage);
        }
        EXPECT_EQ(TakeShellLog(), "");

        c.seen(hwnd);
        EXPECT_TRUE(StripIconsSeen());
        // One round: the new tooltip on all three, the new picture of icon 2, whose columns the
        // readings entered, all at once.
        EXPECT_EQ(TakeShellLog(), "modify 0 tip\nmodify 1 tip\nmodify 2 " + Look() + " tip\n");
        EXPECT_EQ(TrayPicture(Graph(readings)), Graph(readings));
        RemoveStripIcons(hwnd);
        ASSERT_TRUE(PumpUntilNoIcons());
    }
}

TEST_F(StripIcons, IconsLostWhileNobodyCouldSeeAreBackTheMomentSomebodyCan)
{
    FillHistory(37);
    AddStripIcons(hwnd);
    Tick(37);
    ShellLogged logged;
    SessionReport(hwnd, WTS_SESSION_LOCK);
    DeleteIconBehindItsBack(hwnd, 1);
    for (int tick = 0; tick < 15; ++tick) {  // long enough for a question while seen
        Sleep(100);
        Tick(37);
    }
    EXPECT_EQ(TakeShellLog(), "") << "a call while the session was locked";

    // Seen again: a question after every icon, and the lost one makes it add all three again,
    // each with the idle graph's face, then the current picture and tooltip.
    SessionReport(hwnd, WTS_SESSION_UNLOCK);
    EXPECT_EQ(TakeShellLog(), "ask 0\nask 1 refused\nask 2\ndelete 0\ndelete 1 refused\ndelete 2\n" +
                                  Three("add", Look() + " idle") + Three("modify", Look() + " tip"));
    EXPECT_EQ(IdsSettleTo({0, 1, 2}), (std::vector<WPARAM>{0, 1, 2}));
    EXPECT_EQ(TrayPicture(Graph(Readings(HISTORY_LENGTH, 37))), Graph(Readings(HISTORY_LENGTH, 37)));
}

// A reading over the time since the one before, as the processor times give it: busy and total
// time that the test counts up.
uint64_t g_busy, g_total, g_busyBefore, g_totalBefore;
bool ReadingOverTheSpan(uint32_t& usage)
{
    const uint64_t busy = g_busy - g_busyBefore, total = g_total - g_totalBefore;
    g_busyBefore = g_busy;
    g_totalBefore = g_total;
    if (total == 0) return false;
    usage = static_cast<uint32_t>(100 * busy / total);
    return true;
}

TEST_F(StripIcons, AfterAResumeTheNextReadingStartsAtTheResume)
{
    g_usageSource = ReadingOverTheSpan;
    g_busy = g_total = g_busyBefore = g_totalBefore = 0;
    AddStripIcons(hwnd);
    g_busy += 10;
    g_total += 100;
    OnSampleTimer(hwnd);
    PowerReport(hwnd, PBT_APMSUSPEND);
    // What the times say across the sleep and the waking up: 1000 busy of 1000.
    g_busy += 1000;
    g_total += 1000;
    PowerReport(hwnd, PBT_APMRESUMEAUTOMATIC);
    g_busy += 20;
    g_total += 100;
    OnSampleTimer(hwnd);  // 20 %, not the 93 % since the reading before the sleep
    EXPECT_EQ(TrayPicture(Graph({10, 20})), Graph({10, 20}));
    EXPECT_EQ(HoverTooltip(2), "20 %");
}

TEST_F(StripIcons, AMessageThatComesDuringARoundTakesEffectOnceTheRoundIsOver)
{
    // Inside the second call of a tick's round, as Windows delivers a message sent to the meter
    // while the call waits on the shell.
    const struct {
        const char* what;
        void (*message)(HWND);
        std::string after;  // the calls that follow the tick's own round
    } cases[] = {
        {"a settings change to white bars", [](HWND h) { SetBars(REG_DWORD, Le32(2)); FollowTaskbar(h); },
         Three("modify", Look(true))},
        {"a new shell", [](HWND h) { RestoreStripIcons(h); },
         Three("delete") + Three("add", Look() + " idle") + Three("modify", Look() + " tip")},
        {"a lock", [](HWND h) { SessionReport(h, WTS_SESSION_LOCK); }, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FillHistory(37);
        AddStripIcons(hwnd);
        Tick(37);
        ShellLogged logged;
        const HWND owner = hwnd;
        const auto message = c.message;
        g_duringNextCall = [owner, message] { g_duringNextCall = [owner, message] { message(owner); }; };
        Tick(100);
        // The tick's round whole, in one size and colour, and only then what the message asked for.
        EXPECT_EQ(TakeShellLog(), "modify 0 tip\nmodify 1 tip\nmodify 2 " + Look() + " tip\n" + c.after);
        SessionReport(hwnd, WTS_SESSION_UNLOCK);
        ClearBars();
        FollowTaskbar(hwnd);
        RemoveStripIcons(hwnd);
        ASSERT_TRUE(PumpUntilNoIcons());
    }
}

// Icon handles that cannot be made, as when the process has run out of them: each entry of the
// script is the fate of the next icon the meter makes (true: made); made when the script is empty.
std::vector<bool> g_iconFates;
HICON WINAPI ScriptedCreateIcon(HINSTANCE instance, int width, int height, BYTE planes, BYTE bits, const BYTE* andMask,
                                const BYTE* xorMask)
{
    const bool made = g_iconFates.empty() || g_iconFates.front();
    if (!g_iconFates.empty()) g_iconFates.erase(g_iconFates.begin());
    return made ? CreateIcon(instance, width, height, planes, bits, andMask, xorMask) : nullptr;
}

TEST_F(StripIcons, AnIconThatCannotBeMadeIsSentAgainUntilItIs)
{
    ShellLogged logged;
    g_shellCalls.createIcon = ScriptedCreateIcon;
    FillHistory(37);
    g_iconFates = {true, false, true, true, false};
    AddStripIcons(hwnd);
    // Icon 1 is added without a picture, in its place, so that the graph keeps its order; its
    // picture cannot be made for the modify after the adds either, which it is left out of.
    EXPECT_EQ(TakeShellLog(), "add 0 " + Look() + " idle\nadd 1\nadd 2 " + Look() + " idle\nmodify 0 " + Look() +
                                  "\nmodify 2 " + Look() + "\n");
    Tick(37);  // the picture that icon 1 lacks goes with the tooltips
    EXPECT_EQ(TakeShellLog(), "modify 0 tip\nmodify 1 " + Look() + " tip\nmodify 2 tip\n");

    g_iconFates = {false};
    Tick(100);  // icon 2's new picture cannot be made: only its tooltip goes
    EXPECT_EQ(TakeShellLog(), "modify 0 tip\nmodify 1 tip\nmodify 2 tip\n");
    FollowTaskbar(hwnd);  // nothing else changed, but icon 2's picture is owed
    EXPECT_EQ(TakeShellLog(), "modify 2 " + Look() + "\n");
    const std::vector<uint32_t> readings = Concat(Readings(HISTORY_LENGTH, 37), {100});
    EXPECT_EQ(TrayPicture(Graph(readings)), Graph(readings));
    g_shellCalls.createIcon = CreateIcon;
}

TEST_F(StripIcons, AHintIsABalloonFromTheRightmostIconOnlyWhileSeenAndARefusalChangesNothing)
{
    const std::string v2 = std::to_string(NOTIFYICONDATAA_V2_SIZE);
    FillHistory(37);
    AddStripIcons(hwnd);
    Tick(37);
    ShellLogged logged;
    ShowStripHint(hwnd, "Title", "Text");
    EXPECT_EQ(TakeShellLog(), "balloon 2 (" + v2 + " bytes) info quiet: Title | Text\n");
    SessionReport(hwnd, WTS_SESSION_LOCK);
    ShowStripHint(hwnd, "Title", "Text");
    EXPECT_EQ(TakeShellLog(), "") << "a balloon while locked";
    SessionReport(hwnd, WTS_SESSION_UNLOCK);
    TakeShellLog();

    // Refused (here: the shell has lost the icon): no retry, and nothing else of the meter's
    // changes, as a tick that asks after nothing shows.
    DeleteIconBehindItsBack(hwnd, 2);
    ShowStripHint(hwnd, "Title", "Text");
    EXPECT_EQ(TakeShellLog(), "balloon 2 (" + v2 + " bytes) info quiet: Title | Text refused\n");
    Tick(37);
    EXPECT_EQ(TakeShellLog(), "");
}

// --- The order of the icons on the taskbar, the face of every add, a refusing shell, the end ---

// The three icons in uID order when icon id shows the third order.slice[id] of `graph`, the
// graph as it reads from left to right.
std::string InUidOrder(const std::string& graph, const IconOrder& order)
{
    std::string text;
    for (size_t pos = 0; pos < graph.size();) {
        const size_t end = graph.find('\n', pos);
        const std::string row = graph.substr(pos, end - pos);
        const size_t third = row.size() / 3;
        for (int id = 0; id < 3; ++id) text += row.substr(order.slice[id] * third, third);
        text += '\n';
        pos = end + 1;
    }
    return text;
}

std::string Slices(const IconOrder& order)
{
    std::string text;
    for (uint8_t slice : order.slice) text += static_cast<char>('0' + slice);
    return text;
}

// A history whose three thirds differ (full, half, idle), so that every order draws another
// picture; no reading from the ticks, so that it stands still.
std::vector<uint32_t> ThreeThirds()
{
    HistoryReset();
    std::vector<uint32_t> readings = Concat(Concat(Readings(S(), 100), Readings(S(), 50)), Readings(S(), 0));
    for (uint32_t usage : readings) HistoryPush(usage);
    return readings;
}

bool NoReading(uint32_t&)
{
    return false;
}

const char PLACES[] = "place 0\nplace 1\nplace 2\n";

TEST_F(StripIcons, TheOldestThirdGoesToTheLeftMostIconWhereverTheShellShowsIt)
{
    g_usageSource = NoReading;
    ShellLogged logged;
    PlacesScripted places(hwnd);
    places.Row({2, 1, 0});  // as a taskbar that places icons from the right
    AddStripIcons(hwnd);
    const std::vector<uint32_t> readings = ThreeThirds();
    OnSampleTimer(hwnd);
    const std::string graph = Graph(readings);
    EXPECT_EQ(TrayPicture(InUidOrder(graph, ADDING_ORDER)), InUidOrder(graph, ADDING_ORDER)) << "before it is asked";
    TakeShellLog();

    // Asked a little after the adds (here on the mouse's cue; a tick would also ask after an
    // icon), the new order goes out at once, in one round: icon 1 stays in the middle.
    Sleep(1100);
    FollowIconMouse(hwnd);
    EXPECT_EQ(TakeShellLog(), PLACES + ("modify 0 " + Look() + "\nmodify 2 " + Look() + "\n"));
    EXPECT_EQ(Slices(StripIconOrder()), "210");
    EXPECT_EQ(TrayPicture(InUidOrder(graph, REVERSED_ORDER)), InUidOrder(graph, REVERSED_ORDER));

    // The user drags the icons into another order; the mouse over them is the cue.
    places.Row({1, 0, 2});
    Sleep(1100);
    FollowIconMouse(hwnd);
    EXPECT_EQ(TakeShellLog(), PLACES + Three("modify", Look()));
    EXPECT_EQ(Slices(StripIconOrder()), "102");

    // Reports that say nothing of the order keep the one learned.
    const struct {
        const char* what;
        std::function<void()> report;
        const char* questions;
    } silent[] = {
        {"the call fails, as Wine's stub does", [&] { places.Fail(); }, "place 0 refused\n"},
        {"a closed flyout: every icon at its button",
         [&] {
             for (UINT id = 0; id < 3; ++id) places.At(id, {760, 1040, 784, 1064});
         },
         PLACES},
        {"a column",
         [&] {
             for (UINT id = 0; id < 3; ++id)
                 places.At(id, {800, 900 + 24 * static_cast<LONG>(id), 824, 924 + 24 * static_cast<LONG>(id)});
         },
         PLACES},
    };
    for (const auto& c : silent) {
        SCOPED_TRACE(c.what);
        c.report();
        Sleep(1100);
        FollowIconMouse(hwnd);
        EXPECT_EQ(TakeShellLog(), c.questions);
        EXPECT_EQ(Slices(StripIconOrder()), "102");
    }
    EXPECT_EQ(TrayPicture(InUidOrder(graph, {{1, 0, 2}})), InUidOrder(graph, {{1, 0, 2}}));
}

TEST_F(StripIcons, TheShellIsAskedWhereTheIconsAreAtASlowPaceAndNeverWhileNobodyCanSee)
{
    FillHistory(37);
    WriteUsage(37);
    ShellLogged logged;
    PlacesScripted places(hwnd);
    places.Row({0, 1, 2});
    const DWORD start = GetTickCount();
    AddStripIcons(hwnd);
    // 12 s of ticks at the shortest delay on a still graph: a question a little after the adds,
    // then one at the slow pace.
    std::vector<DWORD> asked;
    while (GetTickCount() - start < 12000) {
        Sleep(100);
        OnSampleTimer(hwnd);
        for (const std::string& line : g_shellLog)
            if (line == "place 0") asked.push_back(GetTickCount() - start);
        g_shellLog.clear();
    }
    ASSERT_EQ(asked.size(), 2u);
    std::cout << "  questions after " << asked[0] << " and " << asked[1] << " ms\n";
    EXPECT_GE(asked[0], 1000u);
    EXPECT_GE(asked[1] - asked[0], 10000u);

    // Locked: a settings change and the mouse would call for a question; none comes until the
    // session is unlocked.
    SessionReport(hwnd, WTS_SESSION_LOCK);
    FollowTaskbar(hwnd);
    for (int tick = 0; tick < 15; ++tick) {
        Sleep(100);
        OnSampleTimer(hwnd);
    }
    EXPECT_EQ(TakeShellLog(), "");
    SessionReport(hwnd, WTS_SESSION_UNLOCK);
    EXPECT_EQ(TakeShellLog().rfind(PLACES, 0), 0u) << "asked first thing when seen again";
}

TEST_F(StripIcons, TheUsersOrderOverridesTheShellsAndAMistypedValueIsAutomatic)
{
    g_usageSource = NoReading;
    PlacesScripted places(hwnd);
    places.Row({1, 0, 2});
    AddStripIcons(hwnd);
    const std::vector<uint32_t> readings = ThreeThirds();
    Sleep(1100);
    OnSampleTimer(hwnd);
    ASSERT_EQ(Slices(StripIconOrder()), "102") << "learned from the shell";
    const struct {
        const char* what;
        DWORD type;
        std::vector<BYTE> bytes;
        const char* slices;
    } cases[] = {
        {"1: the order of adding", REG_DWORD, Le32(1), "012"},
        {"2: the reverse", REG_DWORD, Le32(2), "210"},
        {"0: automatic", REG_DWORD, Le32(0), "102"},
        {"3", REG_DWORD, Le32(3), "102"},
        {"2 as a string", REG_SZ, {'2', 0}, "102"},
        {"2 as binary", REG_BINARY, Le32(2), "102"},
        {"2 as a QWORD", REG_QWORD, {2, 0, 0, 0, 0, 0, 0, 0}, "102"},
        {"a REG_DWORD of 2 bytes", REG_DWORD, {2, 0}, "102"},
        {"a REG_DWORD of 8 bytes", REG_DWORD, {2, 0, 0, 0, 0, 0, 0, 0}, "102"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SetSetting("Order", c.type, c.bytes);
        FollowTaskbar(hwnd);  // as on a settings-change broadcast
        EXPECT_EQ(Slices(StripIconOrder()), c.slices);
    }
    ClearSetting("Order");
    FollowTaskbar(hwnd);
    EXPECT_EQ(Slices(StripIconOrder()), "102") << "no value";

    // Where the user has said, the shell is not asked, and the picture follows the word.
    SetSetting("Order", REG_DWORD, Le32(2));
    FollowTaskbar(hwnd);
    ShellLogged logged;
    Sleep(1100);
    FollowIconMouse(hwnd);
    EXPECT_EQ(TakeShellLog(), "");
    const std::string graph = Graph(readings);
    EXPECT_EQ(TrayPicture(InUidOrder(graph, REVERSED_ORDER)), InUidOrder(graph, REVERSED_ORDER));
    ClearSetting("Order");
}

TEST_F(StripIcons, EveryAddCarriesTheIdleFaceWithoutATooltipAndTheCurrentPictureFollows)
{
    ShellLogged logged;
    FillHistory(37);
    AddStripIcons(hwnd);
    EXPECT_EQ(TakeShellLog(), Three("add", Look() + " idle") + Three("modify", Look()));
    Tick(37);
    EXPECT_EQ(TakeShellLog(), Three("modify", "tip"));

    // A new shell, in white bars: the same idle face, in the new colour.
    SetBars(REG_DWORD, Le32(2));
    RestoreStripIcons(hwnd);
    EXPECT_EQ(TakeShellLog(), Three("delete") + Three("add", Look(true) + " idle") + Three("modify", Look(true) + " tip"));
    ClearBars();

    // An idle graph with no tooltip is all the adds say.
    HistoryReset();
    g_usageSource = NoReading;
    OnSampleTimer(hwnd);
    TakeShellLog();
    RestoreStripIcons(hwnd);
    EXPECT_EQ(TakeShellLog(), Three("delete") + Three("add", Look() + " idle"));
    EXPECT_EQ(TrayPicture(Graph({})), Graph({}));
}

// A shell that refuses every add and modify and takes every delete, as a busy or restarting
// one may, logging each call as the log does, with its time.
std::vector<DWORD> g_refusedAt;
BOOL WINAPI RefusingNotify(DWORD message, PNOTIFYICONDATAA record)
{
    if (message == NIM_DELETE) return LoggingNotify(message, record);
    g_shellLog.push_back(DescribeCall(message, *record) + " refused");
    g_refusedAt.push_back(GetTickCount());
    return FALSE;
}

// Ticks every 100 ms for `ms`; the times at which a full round (its first add) began.
std::vector<DWORD> RoundsDuring(HWND hwnd, DWORD ms)
{
    std::vector<DWORD> rounds;
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        Sleep(100);
        g_refusedAt.clear();
        OnSampleTimer(hwnd);
        for (size_t i = 0; i < g_shellLog.size(); ++i)
            if (g_shellLog[i].rfind("add 0", 0) == 0) rounds.push_back(g_refusedAt.empty() ? GetTickCount() : g_refusedAt[0]);
        g_shellLog.clear();
    }
    return rounds;
}

// Readings of the test's own making, each different from the one before, all kept.
std::vector<uint32_t> g_taken;
bool TakenReading(uint32_t& usage)
{
    usage = static_cast<uint32_t>(g_taken.size() * 7 % 101);
    g_taken.push_back(usage);
    return true;
}

TEST_F(StripIcons, AfterARefusalTheShellIsLeftAloneForASecondThenTwoUntilANewShellOrTheMouse)
{
    FillHistory(37);
    AddStripIcons(hwnd);
    Tick(37);
    ShellLogged logged;
    g_shellCalls.notify = RefusingNotify;
    g_usageSource = TakenReading;
    g_taken.clear();
    g_refusedAt.clear();
    OnSampleTimer(hwnd);
    ASSERT_FALSE(g_refusedAt.empty());
    const DWORD refused = g_refusedAt.back();
    EXPECT_EQ(TakeShellLog(), "modify 0 tip refused\n") << "a refusal ends the round";

    // Ticks go on meanwhile; the next full round comes a second after the refusal, the one after
    // it two seconds later: each with the same face, and refused here. (The shell took the
    // deletes of the first; it holds none of the icons from then on.)
    const std::vector<DWORD> rounds = RoundsDuring(hwnd, 3800);
    ASSERT_EQ(rounds.size(), 2u) << "full rounds in 3.8 s";
    std::cout << "  full rounds " << rounds[0] - refused << " and " << rounds[1] - refused << " ms after the refusal\n";
    EXPECT_GE(rounds[0] - refused, 1000u);
    EXPECT_LE(rounds[0] - refused, 1800u);
    EXPECT_GE(rounds[1] - rounds[0], 2000u);

    // A new shell ends the wait at once, and so does the user's mouse over an icon; the wait
    // after that refusal is longer than a second.
    RestoreStripIcons(hwnd);
    EXPECT_EQ(TakeShellLog(), Three("delete", "refused") + "add 0 " + Look() + " idle refused\n");
    FollowIconMouse(hwnd);
    EXPECT_EQ(TakeShellLog(), "delete 0 refused\nadd 0 " + Look() + " idle refused\n");
    EXPECT_EQ(RoundsDuring(hwnd, 1500).size(), 0u);

    // The shell takes calls again: the picture holds every reading taken meanwhile.
    g_shellCalls.notify = LoggingNotify;
    RestoreStripIcons(hwnd);
    EXPECT_EQ(IdsSettleTo({0, 1, 2}), (std::vector<WPARAM>{0, 1, 2}));
    const std::vector<uint32_t> readings = Concat(Readings(HISTORY_LENGTH, 37), g_taken);
    EXPECT_EQ(TrayPicture(Graph(readings)), Graph(readings));
}

TEST_F(StripIcons, NothingThatArrivesDuringTheFinalDeletesAddsAnIconAgain)
{
    const struct {
        const char* what;
        bool locked;  // before the deletes
        void (*message)(HWND);
    } cases[] = {
        {"a new shell's TaskbarCreated", false, [](HWND h) { RestoreStripIcons(h); }},
        {"seen again", true, [](HWND h) { SessionReport(h, WTS_SESSION_UNLOCK); }},
        {"the mouse over an icon", false, [](HWND h) { FollowIconMouse(h); }},
        {"a settings change", false, [](HWND h) { FollowTaskbar(h); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FillHistory(37);
        AddStripIcons(hwnd);
        Tick(37);
        if (c.locked) SessionReport(hwnd, WTS_SESSION_LOCK);
        ShellLogged logged;
        const HWND owner = hwnd;
        const auto message = c.message;
        g_duringNextCall = [owner, message] { message(owner); };  // inside the first delete
        RemoveStripIcons(hwnd);
        EXPECT_EQ(TakeShellLog(), Three("delete"));
        EXPECT_TRUE(PumpUntilNoIcons()) << "an icon left behind";
        for (UINT id = 0; id < 3; ++id) EXPECT_FALSE(TrayHoldsIcon(hwnd, id)) << "icon " << id;
    }
}

UINT g_standInDpi;
UINT StandInDpi()
{
    return g_standInDpi;
}

TEST_F(StripIcons, TheIconSizeIsTheSmallIconSizeAtTheTaskbarsOwnDpi)
{
    using MetricsForDpiProc = int(WINAPI*)(int, UINT);
    using DpiForWindowProc = UINT(WINAPI*)(HWND);
    const HMODULE user32 = GetModuleHandleA("user32.dll");
    const auto metricsForDpi = reinterpret_cast<MetricsForDpiProc>(
        reinterpret_cast<void (*)()>(GetProcAddress(user32, "GetSystemMetricsForDpi")));
    const auto dpiForWindow =
        reinterpret_cast<DpiForWindowProc>(reinterpret_cast<void (*)()>(GetProcAddress(user32, "GetDpiForWindow")));
    ASSERT_TRUE(metricsForDpi && dpiForWindow) << "Wine 8 has both";
    AddStripIcons(hwnd);  // a tray, whose taskbar window the meter asks
    const HWND taskbar = FindWindowA("Shell_TrayWnd", nullptr);
    ASSERT_NE(taskbar, nullptr);
    EXPECT_EQ(TaskbarWindowDpi(), dpiForWindow(taskbar));

    UINT (*const realDpi)() = g_taskbarDpiSource;
    g_taskbarDpiSource = StandInDpi;
    const int system = GetSystemMetrics(SM_CXSMICON);
    for (UINT dpi : {120u, 144u, 192u}) {
        g_standInDpi = dpi;
        EXPECT_EQ(TaskbarIconSize(), metricsForDpi(SM_CXSMICON, dpi)) << "taskbar at " << dpi << " DPI";
    }
    g_standInDpi = 144;
    ASSERT_NE(TaskbarIconSize(), system == 24 ? 0 : system) << "a taskbar at 144 DPI must tell from the system's size";
    g_standInDpi = 0;  // unknown: the system's own size
    EXPECT_EQ(TaskbarIconSize(), system);
    g_taskbarDpiSource = realDpi;
}

int g_sessionRequests, g_sessionEnds;
DWORD g_requestTimes[8];
BOOL WINAPI RefusedTwice(HWND, DWORD)
{
    if (g_sessionRequests < 8) g_requestTimes[g_sessionRequests] = GetTickCount();
    return ++g_sessionRequests > 2;
}
BOOL WINAPI CountedEnd(HWND)
{
    ++g_sessionEnds;
    return TRUE;
}

TEST_F(StripIcons, TheSessionsReportsAreAskedForAgainLessOftenUntilWindowsTakesTheRequest)
{
    // Under Wine the session reports are there to be asked for, from wtsapi32.dll.
    AddStripIcons(hwnd);
    EXPECT_NE(g_sessionCalls.registerSession, nullptr);
    RemoveStripIcons(hwnd);

    // Early at logon the session service may refuse: asked again a second later, then two.
    const SessionCalls real = g_sessionCalls;
    g_sessionCalls = {true, RefusedTwice, CountedEnd, nullptr, nullptr};
    g_sessionRequests = g_sessionEnds = 0;
    AddStripIcons(hwnd);
    const DWORD start = GetTickCount();
    while (g_sessionRequests < 3 && GetTickCount() - start < 20000) {
        Sleep(100);
        Tick(37);
    }
    ASSERT_EQ(g_sessionRequests, 3);
    EXPECT_GE(g_requestTimes[1] - g_requestTimes[0], 1000u);
    EXPECT_GE(g_requestTimes[2] - g_requestTimes[1], 2000u);
    for (int tick = 0; tick < 20; ++tick) {
        Sleep(100);
        Tick(37);
    }
    EXPECT_EQ(g_sessionRequests, 3) << "asked again after Windows took the request";
    RemoveStripIcons(hwnd);
    EXPECT_EQ(g_sessionEnds, 1);
    g_sessionCalls = real;
}

// The icons on a dark notification area: an X system tray panel tinted like a dark taskbar,
// which scripts/with-trayer.sh starts; there Wine docks the icons instead of showing its own
// white tray window, where white bars could not be seen.
class DarkTray : public StripIcons {
protected:
    void SetUp() override
    {
        StripIcons::SetUp();
        // White on Wine's white tray window would prove nothing: a failure, not a skip.
        ASSERT_FALSE(FindWineTray() && IsWindowVisible(FindWineTray()))
            << "Wine's own tray window is in use, not a dark panel: run through scripts/with-trayer.sh";
    }

    void TearDown() override
    {
        StripIcons::TearDown();
        ClearTheme(true);
    }

    // The icons must have docked into the panel, or white on white would prove nothing.
    void ExpectDocked()
    {
        EXPECT_FALSE(FindWineTray() && IsWindowVisible(FindWineTray())) << "the icons went to Wine's own tray";
    }
};

TEST_F(DarkTray, BarsAreWhiteOnlyWhenTheShellSaysPlainlyThatTheTaskbarIsDark)
{
    // Read before the first icons are added.
    SetTheme(REG_DWORD, Le32(0));
    AddStripIcons(hwnd);
    ExpectDocked();
    Tick(37);
    const std::string white = Graph({37}, 'W');
    const std::string black = Graph({37}, '#');
    ASSERT_EQ(TrayPicture(white), white);

    // Anything but a 4-byte REG_DWORD of 0 keeps the classic black bars here (Wine is no Windows
    // 10 build older than the flag). The icons stay in the panel from case to case: a panel that
    // docks and undocks icons quickly shows stale pixels.
    const struct {
        const char* what;
        DWORD type;  // REG_NONE: no value (and with noKey, no key either)
        std::vector<BYTE> bytes;
        bool noKey;
    } cases[] = {
        {"REG_DWORD 1", REG_DWORD, Le32(1), false},
        {"REG_DWORD 2", REG_DWORD, Le32(2), false},
        {"no value", REG_NONE, {}, false},
        {"no key", REG_NONE, {}, true},
        {"REG_SZ \"0\"", REG_SZ, {'0', 0}, false},
        {"REG_BINARY of four zeros", REG_BINARY, Le32(0), false},
        {"REG_DWORD of two zero bytes", REG_DWORD, {0, 0}, false},
        {"REG_QWORD 0", REG_QWORD, {0, 0, 0, 0, 0, 0, 0, 0}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SetTheme(REG_DWORD, Le32(0));
        FollowTaskbar(hwnd);
        ASSERT_EQ(TrayPicture(white), white);
        ClearTheme(c.noKey);
        if (c.type != REG_NONE) SetTheme(c.type, c.bytes);
        FollowTaskbar(hwnd);
        EXPECT_EQ(TrayPicture(black), black);
    }
}

TEST_F(DarkTray, TheUsersChoiceOfBarsOverridesTheTaskbarFlag)
{
    SetTheme(REG_DWORD, Le32(1));
    SetBars(REG_DWORD, Le32(2));  // read before the first icons are added
    AddStripIcons(hwnd);
    ExpectDocked();
    Tick(100);
    Tick(37);
    ASSERT_EQ(TrayPicture(Graph({100, 37}, 'W')), Graph({100, 37}, 'W')) << "Bars 2 on a light taskbar";

    // Each case changes the flag, the choice or both, and the icons follow at once, no sample
    // taken: a 1 or a 2 decides, anything else follows the flag.
    WriteUsage(0);
    const struct {
        const char* what;
        DWORD flag;          // SystemUsesLightTheme: 0 dark, 1 light
        DWORD barsType;      // REG_NONE: no Bars value
        std::vector<BYTE> bars;
        char bar;
    } cases[] = {
        {"Bars 1 on a dark taskbar", 0, REG_DWORD, Le32(1), '#'},
        {"Bars 0 on a dark taskbar", 0, REG_DWORD, Le32(0), 'W'},
        {"Bars 0 on a light taskbar", 1, REG_DWORD, Le32(0), '#'},
        {"Bars 2 on a light taskbar", 1, REG_DWORD, Le32(2), 'W'},
        {"Bars 3 on a light taskbar", 1, REG_DWORD, Le32(3), '#'},
        {"Bars 2 as REG_SZ on a dark taskbar", 0, REG_SZ, {'2', 0}, 'W'},
        {"Bars 2 as REG_QWORD on a light taskbar", 1, REG_QWORD, {2, 0, 0, 0, 0, 0, 0, 0}, '#'},
        {"Bars 1 as REG_BINARY on a dark taskbar", 0, REG_BINARY, Le32(1), 'W'},
        {"Bars 2 of two bytes on a light taskbar", 1, REG_DWORD, {2, 0}, '#'},
        {"no Bars on a dark taskbar", 0, REG_NONE, {}, 'W'},
        {"Bars 1 again", 0, REG_DWORD, Le32(1), '#'},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SetTheme(REG_DWORD, Le32(c.flag));
        ClearBars();
        if (c.barsType != REG_NONE) SetBars(c.barsType, c.bars);
        FollowTaskbar(hwnd);
        EXPECT_EQ(TrayPicture(Graph({100, 37}, c.bar)), Graph({100, 37}, c.bar));
    }
}

TEST_F(DarkTray, ASwitchRedrawsTheCurrentPictureAtOnceWithoutTakingASample)
{
    SetTheme(REG_DWORD, Le32(1));
    AddStripIcons(hwnd);
    ExpectDocked();
    Tick(100);
    Tick(37);
    const std::string black = Graph({100, 37});
    ASSERT_EQ(TrayPicture(black), black);

    WriteUsage(0);  // a sample taken out of turn would add an idle column
    SetTheme(REG_DWORD, Le32(0));
    FollowTaskbar(hwnd);
    const std::string white = Graph({100, 37}, 'W');
    EXPECT_EQ(TrayPicture(white), white);
    for (size_t slot = 0; slot < 3; ++slot) EXPECT_EQ(HoverTooltip(slot), "37 %") << "slot " << slot;

    // Settings that change something else leave the colour alone; back to light, black again.
    FollowTaskbar(hwnd);
    EXPECT_EQ(TrayPicture(white), white);
    SetTheme(REG_DWORD, Le32(1));
    FollowTaskbar(hwnd);
    EXPECT_EQ(TrayPicture(black), black);

    // The next tick goes on in the current colour.
    Tick(50);
    const std::string next = Graph({100, 37, 50}, '#');
    EXPECT_EQ(TrayPicture(next), next);
}

}  // namespace
