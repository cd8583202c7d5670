// The three notification icons and the sample cycle against Wine's real notification area: what
// the shell holds, what reaches the owner window, and the pixels on the screen.
#include "notify/notify.h"

#include "core/history.h"
#include "stats/stats.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "dyn_data.h"
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

// Whether the shell holds icon id of hwnd: a modify that changes nothing succeeds exactly then.
bool IconHeld(HWND hwnd, UINT id)
{
    NOTIFYICONDATAA record = {};
    record.cbSize = NOTIFYICONDATAA_V1_SIZE;
    record.hWnd = hwnd;
    record.uID = id;
    return Shell_NotifyIconA(NIM_MODIFY, &record) != FALSE;
}

void DeleteIconBehindItsBack(HWND hwnd, UINT id)
{
    NOTIFYICONDATAA record = {};
    record.cbSize = NOTIFYICONDATAA_V1_SIZE;
    record.hWnd = hwnd;
    record.uID = id;
    ASSERT_TRUE(Shell_NotifyIconA(NIM_DELETE, &record));
}

// Pictures are the three icons side by side, 16 rows of 48 pixels: '#' black, '.' transparent,
// built from runs of equal rows.
std::string Repeat(int count, const std::string& row)
{
    std::string text;
    for (int i = 0; i < count; ++i) text += row + '\n';
    return text;
}

const std::string BASELINE = Repeat(15, std::string(48, '.')) + Repeat(1, std::string(48, '#'));

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
        HistoryReset();
        ASSERT_TRUE(TrayIconWindows().empty()) << "icons left in the tray by someone else";
    }

    void TearDown() override
    {
        RemoveStripIcons(hwnd);
        DestroyWindow(hwnd);
        RestoreEmptySampleKey();
    }

    // One tick of the sample cycle with this statistic in the registry.
    void Tick(uint32_t usage)
    {
        WriteUsage(usage);
        OnSampleTimer(hwnd);
    }

    // The three icons side by side once they show `expected`, or what they show after 10 s:
    // the shell repaints on its own thread, so the screen may lag the last call a moment.
    static std::string TrayPicture(const std::string& expected)
    {
        std::string seen;
        const DWORD start = GetTickCount();
        do {
            seen = SideBySide(CaptureTrayIcons(), 0, 3);
            if (seen == expected) break;
            Sleep(50);
        } while (GetTickCount() - start < 10000);
        return seen;
    }

    HWND hwnd = nullptr;
};

TEST_F(StripIcons, AddGivesTheShellThreeBaselineIconsAndRemoveTakesThemAway)
{
    AddStripIcons(hwnd);
    for (UINT id = 0; id < 3; ++id) EXPECT_TRUE(IconHeld(hwnd, id)) << "icon " << id;
    EXPECT_FALSE(IconHeld(hwnd, 3));
    EXPECT_EQ(TrayIconWindows().size(), 3u);
    EXPECT_EQ(TrayPicture(BASELINE), BASELINE);

    RemoveStripIcons(hwnd);
    for (UINT id = 0; id < 3; ++id) EXPECT_FALSE(IconHeld(hwnd, id)) << "icon " << id;
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

TEST(SampleRecord, TooltipIsTheReadingAsSignedDecimalWithPercentOrEmptyWithoutOne)
{
    const HWND owner = reinterpret_cast<HWND>(0x1234);
    const struct {
        bool haveReading;
        uint32_t usage;
        const char* tip;
    } cases[] = {
        {true, 0, "0 %"},
        {true, 37, "37 %"},
        {true, 100, "100 %"},
        {true, 101, "101 %"},
        {true, 0x80000000u, "-2147483648 %"},
        {true, 0xFFFFFFFFu, "-1 %"},
        {false, 37, ""},  // a failed read claims no reading, whatever the variable holds
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tip);
        NOTIFYICONDATAA record;
        memset(&record, 0xA5, sizeof record);
        FillSampleRecord(record, owner, c.haveReading, c.usage);
        EXPECT_EQ(record.cbSize, 88u);
        EXPECT_EQ(record.hWnd, owner);
        EXPECT_EQ(record.uFlags, static_cast<UINT>(NIF_ICON | NIF_TIP));
        ASSERT_TRUE(memchr(record.szTip, 0, 64)) << "the tooltip must end within 64 bytes";
        EXPECT_STREQ(record.szTip, c.tip);
    }
}

TEST_F(StripIcons, EachGoodReadingEntersAtTheRightAndAFailedReadChangesNothing)
{
    AddStripIcons(hwnd);
    ASSERT_EQ(TrayPicture(BASELINE), BASELINE);

    Tick(100);
    const std::string fullLoad = Repeat(15, std::string(47, '.') + "#") + Repeat(1, std::string(48, '#'));
    EXPECT_EQ(TrayPicture(fullLoad), fullLoad) << "only the rightmost column of icon 2 changes";

    Tick(37);  // headroom 9
    Tick(0);   // headroom 15: the baseline
    const std::string three = Repeat(9, std::string(45, '.') + "#..") +
                              Repeat(6, std::string(45, '.') + "##.") + Repeat(1, std::string(48, '#'));
    EXPECT_EQ(TrayPicture(three), three);

    // A mistyped statistic is no reading: the icons are refreshed with the same history.
    WriteStatistic(REG_DWORD, Le32(100));
    OnSampleTimer(hwnd);
    EXPECT_EQ(TrayPicture(three), three);

    // A reading above 100 draws an empty column, baseline row included.
    Tick(101);
    const std::string empty = Repeat(9, std::string(44, '.') + "#...") +
                              Repeat(6, std::string(44, '.') + "##..") +
                              Repeat(1, std::string(47, '#') + ".");
    EXPECT_EQ(TrayPicture(empty), empty);
}

TEST_F(StripIcons, FullLoadFillsIconTwoAfterSixteenTicksAndAllThreeAfterFortyEight)
{
    AddStripIcons(hwnd);
    for (int tick = 0; tick < 16; ++tick) Tick(100);
    const std::string iconTwo = Repeat(15, std::string(32, '.') + std::string(16, '#')) +
                                Repeat(1, std::string(48, '#'));
    EXPECT_EQ(TrayPicture(iconTwo), iconTwo);

    for (int tick = 16; tick < 48; ++tick) Tick(100);
    const std::string solid = Repeat(16, std::string(48, '#'));
    EXPECT_EQ(TrayPicture(solid), solid);

    // Idle again: the old bars leave on the left, stale pixels or not.
    for (int tick = 0; tick < 40; ++tick) Tick(0);
    const std::string tail = Repeat(15, std::string(8, '#') + std::string(40, '.')) +
                             Repeat(1, std::string(48, '#'));
    EXPECT_EQ(TrayPicture(tail), tail);
}

TEST_F(StripIcons, RestoreBringsLostIconsBackWithTheCurrentPictureWithoutTakingASample)
{
    AddStripIcons(hwnd);
    Tick(100);
    Tick(37);
    const std::string before = Repeat(9, std::string(46, '.') + "#.") +
                               Repeat(6, std::string(46, '.') + "##") + Repeat(1, std::string(48, '#'));
    ASSERT_EQ(TrayPicture(before), before);

    // The shell restarts and forgets the icons; ticks until then change nothing there.
    for (UINT id = 0; id < 3; ++id) DeleteIconBehindItsBack(hwnd, id);
    Tick(100);
    for (UINT id = 0; id < 3; ++id) EXPECT_FALSE(IconHeld(hwnd, id)) << "icon " << id;

    // The picture shows that tick, and no sample of the 0 now in the registry.
    WriteUsage(0);
    RestoreStripIcons(hwnd);
    for (UINT id = 0; id < 3; ++id) EXPECT_TRUE(IconHeld(hwnd, id)) << "icon " << id;
    const std::string after = Repeat(9, std::string(45, '.') + "#.#") +
                              Repeat(6, std::string(45, '.') + "###") + Repeat(1, std::string(48, '#'));
    EXPECT_EQ(TrayPicture(after), after);

    // A second restore while the shell still holds them adds nothing.
    RestoreStripIcons(hwnd);
    EXPECT_EQ(TrayIconWindows().size(), 3u);

    // The callbacks still reach the owner.
    const std::vector<HWND> slots = TrayIconWindows();
    ASSERT_EQ(slots.size(), 3u);
    PostMessageA(slots[2], WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(8, 8));
    PumpUntil(1, 10000);
    ASSERT_EQ(g_callbacks.size(), 1u);
    EXPECT_EQ(g_callbacks[0].message, 0x8064u);
    EXPECT_EQ(g_callbacks[0].wParam, 2u);
    EXPECT_EQ(g_callbacks[0].lParam, WM_RBUTTONDOWN);
}

}  // namespace
