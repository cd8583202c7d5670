// The meter dialog's own procedure: the real template with the real MeterDlgProc, created
// modelessly, against Wine's real notification area and HKEY_CURRENT_USER.
#include "app/app.h"
#include "notify/notify.h"

#include <gtest/gtest.h>

#include <wtsapi32.h>

#include <string>
#include <vector>

#include "dyn_data.h"
#include "settings/system.h"
#include "shell_log.h"
#include "tests/win32/meter_dialog_fixture.h"
#include "tray_capture.h"

// WinMain's popup menu; set up here as WinMain does.
HMENU g_hPopupMenu;

namespace {

const char SETTINGS_KEY[] = "Software\\Cyclowisp";

// The meter's own way to measure its icon size, and a stand-in that a test sets: Wine reads a
// process's DPI once, so only a stand-in can change the size under a running meter.
int (*const g_realIconSize)() = g_iconSizeSource;
int g_standInSize;
int StandInIconSize()
{
    return g_standInSize;
}

std::string HeldIcons(HWND hwnd)
{
    std::string held;
    for (UINT id = 0; id < 3; ++id) held += TrayHoldsIcon(hwnd, id) ? '1' : '0';
    return held;
}

// What the window showed while it was being destroyed, after the dialog procedure had handled
// WM_DESTROY: Wine's shell drops a dead window's icons by itself and the system kills a dead
// window's timers, so only a look at this moment shows what the procedure itself did.
struct AtDestroy {
    bool seen = false;
    std::string heldIcons;
    bool timerRunning = false;
};
AtDestroy g_atDestroy;
int g_ticks;
int g_nullsAfterMenu;  // WM_NULL messages since the popup menu returned
bool g_menuReturned;
WNDPROC g_dialogWindowProc;

LRESULT CALLBACK WatchingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    const LRESULT result = CallWindowProcA(g_dialogWindowProc, hwnd, message, wParam, lParam);
    if (message == WM_TIMER && wParam == 0) ++g_ticks;
    if (message == WM_NULL && g_menuReturned) ++g_nullsAfterMenu;
    if (message == WM_DESTROY) {
        g_atDestroy.seen = true;
        g_atDestroy.heldIcons = HeldIcons(hwnd);
        // KillTimer fails for a timer that no longer runs.
        g_atDestroy.timerRunning = KillTimer(hwnd, 0) != FALSE;
    }
    return result;
}

// Each test gets a fresh meter dialog at Delay 0.1 s, an idle sample and an empty tray, and
// leaves the stored delay as it found it.
class MeterDialog : public testing::Test {
protected:
    void SetUp() override
    {
        g_hInstance = GetModuleHandleA(nullptr);
        g_hPopupMenu = GetSubMenu(LoadMenuA(g_hInstance, MAKEINTRESOURCEA(IDR_POPUP)), 0);
        ASSERT_NE(g_hPopupMenu, nullptr);
        ASSERT_TRUE(TrayIconWindows().empty()) << "icons left in the tray by someone else";
        SaveDelay();
        StoreDelay(1);
        WriteUsage(0);
        g_atDestroy = {};
        g_ticks = 0;
        dlg = CreateDialogParamA(g_hInstance, MAKEINTRESOURCEA(IDD_METER), nullptr, MeterDlgProc, 0);
        ASSERT_NE(dlg, nullptr) << "error " << GetLastError();
        g_dialogWindowProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(dlg, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WatchingProc)));
    }

    void TearDown() override
    {
        if (IsWindow(dlg)) DestroyWindow(dlg);
        RestoreEmptySampleKey();
        RestoreDelay();
        StoreBars(REG_NONE);
        g_iconSizeSource = g_realIconSize;
    }

    // The user's choice of bar colour beside the delay: a REG_DWORD, or none for REG_NONE.
    static void StoreBars(DWORD type, DWORD value = 0)
    {
        HKEY key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, SETTINGS_KEY, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
        if (type == REG_NONE) RegDeleteValueA(key, "Bars");
        else RegSetValueExA(key, "Bars", 0, type, reinterpret_cast<const BYTE*>(&value), sizeof value);
        RegCloseKey(key);
    }

    static void StoreDelay(DWORD tenths)
    {
        HKEY key;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, SETTINGS_KEY, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(key, "Delay", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&tenths), sizeof tenths);
        RegCloseKey(key);
    }

    void SaveDelay()
    {
        HKEY key;
        keyExisted_ = RegOpenKeyExA(HKEY_CURRENT_USER, SETTINGS_KEY, 0, KEY_READ, &key) == ERROR_SUCCESS;
        if (!keyExisted_) return;
        savedSize_ = sizeof saved_;
        valueExisted_ = RegQueryValueExA(key, "Delay", nullptr, &savedType_, saved_, &savedSize_) == ERROR_SUCCESS;
        RegCloseKey(key);
    }

    void RestoreDelay()
    {
        if (!keyExisted_) {
            RegDeleteTreeA(HKEY_CURRENT_USER, SETTINGS_KEY);
            return;
        }
        HKEY key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, SETTINGS_KEY, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
        if (valueExisted_) RegSetValueExA(key, "Delay", 0, savedType_, saved_, savedSize_);
        else RegDeleteValueA(key, "Delay");
        RegCloseKey(key);
    }

    // What the procedure makes of a request to show the window, asked directly.
    bool WouldShow()
    {
        WINDOWPOS pos = {dlg, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_SHOWWINDOW};
        SendMessageA(dlg, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&pos));
        return (pos.flags & SWP_SHOWWINDOW) != 0;
    }

    // Every way of showing the window that does not come from the user, each followed by the
    // messages it causes; returns which of them showed it.
    std::string ShowAttempts()
    {
        std::string shown;
        const struct {
            const char* what;
            void (*attempt)(HWND);
        } attempts[] = {
            {"ShowWindow(SW_SHOW)", [](HWND h) { ShowWindow(h, SW_SHOW); }},
            {"ShowWindow(SW_SHOWNORMAL)", [](HWND h) { ShowWindow(h, SW_SHOWNORMAL); }},
            {"SetWindowPos(SWP_SHOWWINDOW)",
             [](HWND h) { SetWindowPos(h, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_SHOWWINDOW); }},
            {"posted SW_SHOW", [](HWND h) { ShowWindowAsync(h, SW_SHOW); }},
        };
        for (const auto& a : attempts) {
            a.attempt(dlg);
            PumpFor(200);
            if (IsWindowVisible(dlg)) {
                shown += std::string(a.what) + " ";
                ShowWindow(dlg, SW_HIDE);
            }
        }
        return shown;
    }

    HWND dlg = nullptr;
    bool keyExisted_ = false, valueExisted_ = false;
    DWORD savedType_ = 0, savedSize_ = 0;
    BYTE saved_[64] = {};
};

TEST_F(MeterDialog, DestroyRemovesTheThreeIconsAndStopsTheTimer)
{
    EXPECT_EQ(HeldIcons(dlg), "111");
    ASSERT_TRUE(PumpUntil([] { return g_ticks >= 2; }, 30000)) << "the sampling timer never ticked";

    // Inside the first delete, while it waits on the shell: is the timer still running, and does
    // a new shell's broadcast delivered then bring an icon back, to outlive the program?
    ShellLogged logged;
    bool timerDuringDeletes = true;
    const HWND meter = dlg;
    g_duringNextCall = [meter, &timerDuringDeletes] {
        timerDuringDeletes = KillTimer(meter, 0) != FALSE;
        SendMessageA(meter, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    };
    DestroyWindow(dlg);
    EXPECT_FALSE(timerDuringDeletes) << "the sampling timer still ran during the deletes";
    EXPECT_EQ(TakeShellLog(), "delete 0\ndelete 1\ndelete 2\n");

    ASSERT_TRUE(g_atDestroy.seen);
    EXPECT_EQ(g_atDestroy.heldIcons, "000") << "icons the dialog left to the shell when it was destroyed";
    EXPECT_FALSE(g_atDestroy.timerRunning) << "the sampling timer still ran when the dialog was destroyed";
    EXPECT_EQ(HeldIcons(dlg), "000");
    EXPECT_TRUE(TrayIconWindows().empty());
}

TEST_F(MeterDialog, StaysHiddenUntilTheUserAsksThenShowsLikeAnyWindow)
{
    // The template is WS_VISIBLE, and the dialog's initialisation posts a hide.
    EXPECT_FALSE(IsWindowVisible(dlg));
    PumpFor(300);
    EXPECT_FALSE(IsWindowVisible(dlg));

    // Until the user asks: no request shows it, and mouse messages other than a double click
    // are no request.
    EXPECT_FALSE(WouldShow());
    EXPECT_EQ(ShowAttempts(), "");
    for (LPARAM mouse : {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONUP}) {
        SendMessageA(dlg, WM_NOTIFYICON, 1, mouse);
        EXPECT_FALSE(IsWindowVisible(dlg)) << "mouse message " << mouse;
    }
    EXPECT_EQ(ShowAttempts(), "");
}

TEST_F(MeterDialog, PropertiesOrADoubleClickShowItAndLiftTheRule)
{
    const struct {
        const char* what;
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    } requests[] = {
        {"Properties", WM_COMMAND, IDM_PROPERTIES, 0},
        {"a double click on icon 2", WM_NOTIFYICON, 2, WM_LBUTTONDBLCLK},
    };
    for (const auto& r : requests) {
        SCOPED_TRACE(r.what);
        if (!dlg) {
            dlg = CreateDialogParamA(g_hInstance, MAKEINTRESOURCEA(IDD_METER), nullptr, MeterDlgProc, 0);
            ASSERT_NE(dlg, nullptr);
        }
        PumpFor(300);
        ASSERT_FALSE(IsWindowVisible(dlg));
        ASSERT_FALSE(WouldShow());

        PostMessageA(dlg, r.message, r.wParam, r.lParam);
        EXPECT_TRUE(PumpUntil([this] { return IsWindowVisible(dlg) != FALSE; }, 10000)) << "not shown";
        EXPECT_TRUE(WouldShow());

        // Hidden by its Hide button, it shows again like any window.
        SendMessageA(dlg, WM_COMMAND, IDC_HIDE, 0);
        EXPECT_FALSE(IsWindowVisible(dlg));
        EXPECT_EQ(ShowAttempts(), "ShowWindow(SW_SHOW) ShowWindow(SW_SHOWNORMAL) SetWindowPos(SWP_SHOWWINDOW) posted SW_SHOW ");
        DestroyWindow(dlg);
        dlg = nullptr;
    }
}

// The looks of the icons the log's calls carried, in order ("icon(16 white)", ...).
std::vector<std::string> IconLooks(const std::string& log)
{
    std::vector<std::string> looks;
    for (size_t at = log.find("icon("); at != std::string::npos; at = log.find("icon(", at + 1))
        looks.push_back(log.substr(at, log.find(')', at) + 1 - at));
    return looks;
}

// The log without the questions that the meter's own ticks ask on a still graph.
std::string WithoutQuestions(const std::string& log)
{
    std::string kept;
    for (size_t start = 0; start < log.size();) {
        const size_t end = log.find('\n', start);
        const std::string line = log.substr(start, end - start + 1);
        if (line.compare(0, 4, "ask ") != 0) kept += line;
        start = end + 1;
    }
    return kept;
}

// The messages after which Windows may draw the taskbar at another size or in other colours: each
// makes the meter measure its icon size and decide its bars' colour again, and no other does.
// Every row first stores the colour the icons do not have, so that a message that decides must
// change them and one that does not must leave them; a message that decides afterwards shows
// that the stored colour was there to be taken.
TEST_F(MeterDialog, TheTaskbarsMessagesMakeTheMeterMeasureAndDecideAgain)
{
    g_iconSizeSource = StandInIconSize;
    const int tray = g_realIconSize();
    g_standInSize = tray;
    PumpFor(500);  // the first ticks' tooltips
    ShellLogged logged;
    RECT rc;
    GetWindowRect(dlg, &rc);
    const UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    const struct {
        const char* what;
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        bool decides;
    } messages[] = {
        {"WM_SETTINGCHANGE", WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>("ImmersiveColorSet"), true},
        {"WM_SYSCOLORCHANGE", WM_SYSCOLORCHANGE, 0, 0, true},
        {"WM_THEMECHANGED", WM_THEMECHANGED, 0, 0, true},
        {"WM_DWMCOMPOSITIONCHANGED", WM_DWMCOMPOSITIONCHANGED, 0, 0, true},
        {"WM_DISPLAYCHANGE", WM_DISPLAYCHANGE, 32, MAKELPARAM(1024, 768), true},
        {"WM_DPICHANGED", WM_DPICHANGED, MAKEWPARAM(96, 96), reinterpret_cast<LPARAM>(&rc), true},
        {"TaskbarCreated", taskbarCreated, 0, 0, true},
        {"WM_TIMECHANGE", WM_TIMECHANGE, 0, 0, false},
        {"WM_FONTCHANGE", WM_FONTCHANGE, 0, 0, false},
    };
    const std::string size = std::to_string(tray);
    bool white = false;  // the icons' colour now
    for (const auto& m : messages) {
        SCOPED_TRACE(m.what);
        const std::string other = "icon(" + size + (white ? " black)" : " white)");
        StoreBars(REG_DWORD, white ? 1 : 2);
        SendMessageA(dlg, m.message, m.wParam, m.lParam);
        PumpFor(300);  // anything the message might have left for later
        std::string log = WithoutQuestions(TakeShellLog());
        if (m.decides) {
            EXPECT_EQ(IconLooks(log), std::vector<std::string>(3, other)) << log;
        } else {
            EXPECT_EQ(log, "");
            SendMessageA(dlg, WM_SETTINGCHANGE, 0, 0);
            log = WithoutQuestions(TakeShellLog());
            EXPECT_EQ(IconLooks(log), std::vector<std::string>(3, other)) << "then WM_SETTINGCHANGE: " << log;
        }
        white = !white;

        // Then the size: the stand-in reports another one.
        g_standInSize = tray == 24 ? 20 : 24;
        SendMessageA(dlg, m.message, m.wParam, m.lParam);
        PumpFor(300);
        EXPECT_EQ(StripIconSize(), m.decides ? g_standInSize : tray);
        g_standInSize = tray;
        SendMessageA(dlg, WM_SETTINGCHANGE, 0, 0);
        ASSERT_EQ(StripIconSize(), tray);
        TakeShellLog();
    }
    EXPECT_EQ(HeldIcons(dlg), "111");
}

// A POWERBROADCAST_SETTING for this session's display: 0 off, 1 on, 2 dimmed.
struct DisplayState {
    GUID setting;
    DWORD length;
    DWORD state;
};
DisplayState g_displayOff = {{0x2B84C20E, 0xAD23, 0x4DDF, {0x93, 0xDB, 0x05, 0xFF, 0xBD, 0x7E, 0xFC, 0xA5}}, 4, 0};
DisplayState g_displayOn = {{0x2B84C20E, 0xAD23, 0x4DDF, {0x93, 0xDB, 0x05, 0xFF, 0xBD, 0x7E, 0xFC, 0xA5}}, 4, 1};

// Windows' reports reach the meter as the messages Windows sends; and whatever shows that the
// user sees the icons ends a silence whose end was never reported.
TEST_F(MeterDialog, ReportsOfWhoCanSeeSilenceTheMeterAndAnyUseOfItsIconsEndsTheSilence)
{
    struct Message {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };
    const Message lock = {WM_WTSSESSION_CHANGE, WTS_SESSION_LOCK, 0};
    const struct {
        const char* what;
        Message unseen, seen;
    } cases[] = {
        {"a lock, an unlock", lock, {WM_WTSSESSION_CHANGE, WTS_SESSION_UNLOCK, 0}},
        {"a suspend, a resume", {WM_POWERBROADCAST, PBT_APMSUSPEND, 0}, {WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0}},
        {"the display off, on", {WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE, reinterpret_cast<LPARAM>(&g_displayOff)},
         {WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE, reinterpret_cast<LPARAM>(&g_displayOn)}},
        {"a lock, a mouse move over an icon", lock, {WM_NOTIFYICON, 1, WM_MOUSEMOVE}},
        {"a lock, a new shell", lock, {RegisterWindowMessageA("TaskbarCreated"), 0, 0}},
        {"a lock, Properties", lock, {WM_COMMAND, IDM_PROPERTIES, 0}},
    };
    PumpFor(500);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ShellLogged logged;
        SendMessageA(dlg, c.unseen.message, c.unseen.wParam, c.unseen.lParam);
        EXPECT_FALSE(StripIconsSeen());
        WriteUsage(100);  // ticks at 0.1 s: columns that the shell must not hear of yet
        PumpFor(1500);
        EXPECT_EQ(TakeShellLog(), "");

        SendMessageA(dlg, c.seen.message, c.seen.wParam, c.seen.lParam);
        EXPECT_TRUE(StripIconsSeen());
        EXPECT_NE(TakeShellLog().find("2 icon("), std::string::npos) << "icon 2's new picture not sent at once";
        WriteUsage(0);
        SendMessageA(dlg, WM_COMMAND, IDC_HIDE, 0);
        PumpFor(300);
    }
}

// The menu of a notification icon closes on a click elsewhere only when its window is in the
// foreground, and the message posted after it lets the next one work.
HWND g_foregroundDuringMenu;

// A timer of the thread fires inside the menu's own loop: it notes the foreground window and
// closes the menu.
void CALLBACK CloseTheMenu(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    g_foregroundDuringMenu = GetForegroundWindow();
    EndMenu();
}

TEST_F(MeterDialog, TheIconsMenuOpensWithTheMeterInTheForegroundAndAMessageFollowsIt)
{
    PumpFor(300);
    // The dialog was created in front; as when the user works elsewhere, another window takes the
    // foreground, so that only the meter's own request brings the dialog back in front of its menu.
    struct Window {
        HWND hwnd;
        ~Window() { DestroyWindow(hwnd); }
    } elsewhere = {CreateWindowExA(0, "STATIC", "Elsewhere", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 200, 100,
                                   nullptr, nullptr, g_hInstance, nullptr)};
    ASSERT_NE(elsewhere.hwnd, nullptr);
    SetForegroundWindow(elsewhere.hwnd);
    ASSERT_TRUE(PumpUntil([&] { return GetForegroundWindow() == elsewhere.hwnd; }, 10000))
        << "the other window never came to the front; the foreground is " << GetForegroundWindow();

    g_nullsAfterMenu = 0;
    g_menuReturned = false;
    g_foregroundDuringMenu = nullptr;
    SetTimer(nullptr, 0, 1000, CloseTheMenu);
    SendMessageA(dlg, WM_NOTIFYICON, 2, WM_RBUTTONDOWN);  // returns once the menu has closed
    g_menuReturned = true;
    PumpFor(500);
    EXPECT_EQ(g_foregroundDuringMenu, dlg) << "the other window is " << elsewhere.hwnd;
    EXPECT_GE(g_nullsAfterMenu, 1);
    EXPECT_FALSE(IsWindowVisible(dlg)) << "the menu showed the dialog";
}

// The first start for a user on Windows 10 and later says once where the graph is: run with Wine
// reporting Windows 10 (scripts/as-windows.sh win10).
TEST(FirstStart, OnWindows10OnlyAStartWithNoDelayStoredShowsOneQuietBalloonFromTheRightmostIcon)
{
    ASSERT_GE(RealSystemVersion().major, 10u) << "Wine reports Windows " << RealSystemVersion().major
                                              << ": run through scripts/as-windows.sh win10";
    g_hInstance = GetModuleHandleA(nullptr);
    g_hPopupMenu = GetSubMenu(LoadMenuA(g_hInstance, MAKEINTRESOURCEA(IDR_POPUP)), 0);
    WriteUsage(0);
    const std::string balloon =
        "balloon 2 (" + std::to_string(NOTIFYICONDATAA_V2_SIZE) +
        " bytes) info quiet: Cyclowisp is running | The graph is in the notification area. To keep it on the "
        "taskbar, drag its three icons out of the ^ flyout, or switch them on under Settings > Personalization > "
        "Taskbar > Other system tray icons.\n";
    const struct {
        const char* what;
        bool key;
        DWORD delayType;  // REG_NONE: no Delay
        bool hint;
    } cases[] = {
        {"no settings at all", false, REG_NONE, true},
        {"the key without a Delay", true, REG_NONE, true},
        {"a Delay of 5", true, REG_DWORD, false},
        {"a mistyped Delay", true, REG_SZ, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RegDeleteTreeA(HKEY_CURRENT_USER, SETTINGS_KEY);
        if (c.key) {
            HKEY key;
            ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, SETTINGS_KEY, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                      nullptr),
                      ERROR_SUCCESS);
            const char five[] = "5";
            const DWORD value = 5;
            if (c.delayType == REG_DWORD)
                RegSetValueExA(key, "Delay", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
            if (c.delayType == REG_SZ) RegSetValueExA(key, "Delay", 0, REG_SZ, reinterpret_cast<const BYTE*>(five), 2);
            RegCloseKey(key);
        }
        ShellLogged logged;
        const HWND dlg = CreateDialogParamA(g_hInstance, MAKEINTRESOURCEA(IDD_METER), nullptr, MeterDlgProc, 0);
        ASSERT_NE(dlg, nullptr);
        PumpFor(500);
        const std::string log = TakeShellLog();
        // After the three adds, and only then.
        const std::string adds = "add 0 icon(" + std::to_string(StripIconSize()) + " black) idle\n";
        EXPECT_EQ(log.compare(0, adds.size(), adds), 0) << log;
        EXPECT_EQ(log.find("balloon") != std::string::npos, c.hint) << log;
        if (c.hint) {
            EXPECT_NE(log.find("add 2 icon(" + std::to_string(StripIconSize()) + " black) idle\n" + balloon), std::string::npos)
                << log;
        }
        DestroyWindow(dlg);
        ASSERT_TRUE(PumpUntil([] { return TrayIconWindows().empty(); }, 10000));
    }
    RegDeleteTreeA(HKEY_CURRENT_USER, SETTINGS_KEY);
    RestoreEmptySampleKey();
}

}  // namespace
