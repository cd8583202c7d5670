// The meter dialog: owner of the icons and the sampling timer, and the program's main loop.
#include "app/app.h"
#include "app/one_meter.h"
#include "core/history.h"
#include "notify/notify.h"
#include "res/resource.h"
#include "settings/settings.h"

namespace {

// The dialog manager shows a modal dialog the first time its message queue goes empty, after
// the hide that initialisation posts. Until the user asks for the dialog, such a show is refused.
bool g_keepHidden;

// Broadcast by a newly started shell, whose notification area holds none of the old icons.
UINT g_taskbarCreated;

BOOL OnInitDialog(HWND hwnd)
{
    g_keepHidden = true;
    g_taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    LoadDelay(hwnd);
    HistoryReset();
    AddStripIcons(hwnd);
    ArmSampleTimer(hwnd);
    PostMessageA(hwnd, WM_HIDEMETER, 0, 0);
    return TRUE;  // focus to the first tab stop, the Hide button
}

void ShowMeter(HWND hwnd)
{
    g_keepHidden = false;
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
    case WM_SYSCOLORCHANGE:  // a contrast theme's colours
    case WM_THEMECHANGED:
    case WM_DISPLAYCHANGE:   // a new resolution or scaling of the display
    case WM_DPICHANGED:      // the dialog's monitor changed its scaling; the default handling rescales the dialog
        // Deciding anew from a few registry values and metrics on every such message never
        // misses a change, and redraws only when the icons' size or colour did change.
        FollowTaskbar(hwnd);
        return FALSE;
    case WM_DESTROY:
        RemoveStripIcons(hwnd);
        KillTimer(hwnd, 0);
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
    TrackPopupMenu(g_hPopupMenu, TPM_RIGHTBUTTON, pt.x, pt.y, 0, hwnd, nullptr);
}
