// The meter dialog: owner of the icons and the sampling timer, and the program's main loop.
#include "app/app.h"
#include "app/one_meter.h"
#include "core/history.h"
#include "notify/notify.h"
#include "res/resource.h"
#include "settings/settings.h"
#include "settings/system.h"

namespace {

// The dialog manager shows a modal dialog the first time its message queue goes empty, after
// the hide that initialisation posts. Until the user asks for the dialog, such a show is refused.
bool g_keepHidden;

// Broadcast by a newly started shell, whose notification area holds none of the old icons.
UINT g_taskbarCreated;

// Windows 10 and 11 put every new notification icon behind the ^ arrow, so a first start there
// seems to do nothing at all: one balloon says where the graph is. Earlier Windows show new icons.
void ShowFirstStartHint(HWND hwnd)
{
    if (RealSystemVersion().major < 10) return;
    char title[64], text[256];
    if (!LoadStringA(g_hInstance, IDS_HINT_TITLE, title, sizeof title) ||
        !LoadStringA(g_hInstance, IDS_HINT_TEXT, text, sizeof text))
        return;
    ShowStripHint(hwnd, title, text);
}

BOOL OnInitDialog(HWND hwnd)
{
    g_keepHidden = true;
    g_taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    // The first start for this user: no delay stored yet, until LoadDelay stores the default.
    const bool firstStart = !DelayIsStored();
    LoadDelay(hwnd);
    HistoryReset();
    AddStripIcons(hwnd);
    if (firstStart) ShowFirstStartHint(hwnd);
    ArmSampleTimer(hwnd);
    PostMessageA(hwnd, WM_HIDEMETER, 0, 0);
    return TRUE;  // focus to the first tab stop, the Hide button
}

void ShowMeter(HWND hwnd)
{
    g_keepHidden = false;
    FollowSeen(hwnd, SeenEvent::Noticed);
    // SW_SHOW, not SW_RESTORE: a dialog the user minimised stays minimised.
    ShowWindow(hwnd, SW_SHOW);
    SetForegroundWindow(hwnd);
}

void OnCommand(HWND hwnd, WORD id)
{
    switch (id) {
    case IDCANCEL:  // Exit button and menu item, Escape, the caption's close box
        EndDialog(hwnd, 1);
        break;
    case IDC_HIDE:
        ShowWindow(hwnd, SW_HIDE);
        break;
    case IDM_ABOUT:
        DialogBoxParamA(g_hInstance, MAKEINTRESOURCEA(IDD_ABOUT), hwnd, AboutDlgProc, 0);
        break;
    case IDM_PROPERTIES:
        ShowMeter(hwnd);
        break;
    case IDC_SETDEFAULT:
        SaveDelay(hwnd);
        break;
    }
}

void OnNotifyIcon(HWND hwnd, LPARAM mouseMessage)
{
    // Any mouse message from an icon shows that somebody sees them, whatever was reported, and
    // may come from dragging one to another place.
    FollowIconMouse(hwnd);
    if (mouseMessage == WM_LBUTTONDBLCLK) ShowMeter(hwnd);
    else if (mouseMessage == WM_RBUTTONDOWN) ShowPopupMenu(hwnd);
}

}  // namespace

INT_PTR CALLBACK MeterDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(hwnd);
    case WM_HIDEMETER:
        ShowWindow(hwnd, SW_HIDE);
        PublishMeterWindow(hwnd);  // only now: a show asked for earlier would be hidden again here
        return TRUE;
    case WM_WINDOWPOSCHANGING:
        if (g_keepHidden) reinterpret_cast<WINDOWPOS*>(lParam)->flags &= ~SWP_SHOWWINDOW;
        return FALSE;
    case WM_TIMER:
        OnSampleTimer(hwnd);
        return TRUE;
    case WM_HSCROLL:
        ShowDelayText(hwnd);
        ArmSampleTimer(hwnd);
        return TRUE;
    case WM_COMMAND:
        OnCommand(hwnd, LOWORD(wParam));
        return TRUE;
    case WM_NOTIFYICON:
        OnNotifyIcon(hwnd, lParam);
        return FALSE;
    case WM_SETTINGCHANGE:   // "ImmersiveColorSet" for a light or dark taskbar, a contrast theme, ...
        FollowMeasureChoice(); [[fallthrough]];  // the figure the user chose, then the taskbar's look
    case WM_SYSCOLORCHANGE:  // a contrast theme's colours
    case WM_THEMECHANGED:
    case WM_DISPLAYCHANGE:   // a new resolution or scaling of the display
    case WM_DPICHANGED:      // the dialog's monitor changed its scaling; the default handling rescales the dialog
    case WM_DWMCOMPOSITIONCHANGED:  // Windows Vista to 8.1: a glass taskbar came or went
        FollowTaskbar(hwnd);
        return FALSE;
    case WM_WTSSESSION_CHANGE:  // locked, unlocked, disconnected, connected
        OnSessionChange(hwnd, wParam);
        return FALSE;
    case WM_POWERBROADCAST:  // suspend, resume, this session's display off or on
        OnPowerBroadcast(hwnd, wParam, lParam);
        return FALSE;
    case WM_DESTROY:
        // The timer first: no tick may run a round while a delete waits on the shell.
        KillTimer(hwnd, 0);
        RemoveStripIcons(hwnd);
        return TRUE;
    }
    if (message == g_taskbarCreated && message != 0) {
        // Also what Windows 10 broadcasts when the primary display's scaling changes: the icons
        // come back at the new shell's size.
        RestoreStripIcons(hwnd);
        return TRUE;
    }
    return FALSE;
}

INT_PTR CALLBACK AboutDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM)
{
    // No Cancel handling and no system menu: only OK (or Enter, OK being the default) closes it.
    // FALSE for WM_INITDIALOG too, so the dialog manager sets no default focus.
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK) EndDialog(hwnd, 1);
    return FALSE;
}

void ShowPopupMenu(HWND hwnd)
{
    POINT pt;
    GetCursorPos(&pt);
    // A notification icon's menu closes on a click elsewhere, and takes the keyboard, only when
    // its window is in the foreground; the message posted after it makes the next menu work too.
    // The click on the icon may just have taken the focus from this window; a look at the queue
    // (a wait of no time) lets that news arrive before the window takes the foreground back, not
    // in the middle of the menu, where it would close the menu (seen under Wine, which learns of
    // focus changes only when it looks). It takes no message out of the queue.
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLINPUT);
    SetForegroundWindow(hwnd);
    TrackPopupMenu(g_hPopupMenu, TPM_RIGHTBUTTON, pt.x, pt.y, 0, hwnd, nullptr);
    PostMessageA(hwnd, WM_NULL, 0, 0);
}
