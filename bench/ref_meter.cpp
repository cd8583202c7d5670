// The tick benchmark's reference: the least a meter of three notification icons can do on every
// tick, so that what cyclowis.exe costs can be set against it. A hidden window and a 100 ms timer;
// per tick three icons made from fixed masks, three modifies with icon and tooltip, three destroys.
// No registry read and no history.
//   ref_meter [SECONDS]   ends by itself after SECONDS when given, else on WM_CLOSE
// Sent REF_GETTICKS, the window answers how many ticks it has run, so the benchmark can check the
// timer's real rate without the reference doing any extra work per tick.
#include <windows.h>
#include <shellapi.h>

#include <cstdlib>
#include <cstring>

namespace {

constexpr char WINDOW_CLASS[] = "CyclowispTickReference";
constexpr UINT REF_GETTICKS = WM_APP + 1;
constexpr UINT WM_NOTIFYICON = WM_APP + 100;
constexpr UINT_PTR TICK_TIMER = 1;
constexpr UINT_PTR END_TIMER = 2;
constexpr UINT TICK_MS = 100;  // the meter's shortest delay
constexpr UINT ICONS = 3;
constexpr int ICON_SIZE = 16;
constexpr int MASK_BYTES = ICON_SIZE * ICON_SIZE / 8;
constexpr DWORD RECORD_SIZE = NOTIFYICONDATAA_V1_SIZE;  // 88: the classic ANSI record, as the meter uses

// A graph held at 37 %: rows 0-8 transparent, rows 9-15 black. The XOR mask inverts nothing.
constexpr unsigned char AND_MASK[MASK_BYTES] = {
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
    0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
constexpr unsigned char BASELINE_AND_MASK[MASK_BYTES] = {
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00};
constexpr unsigned char XOR_MASK[MASK_BYTES] = {};
constexpr char TIP[] = "37 %";

HINSTANCE g_instance;
LONG g_ticks;

void FillRecord(NOTIFYICONDATAA& record, HWND hwnd, UINT flags)
{
    memset(&record, 0, sizeof record);
    record.cbSize = RECORD_SIZE;
    record.hWnd = hwnd;
    record.uFlags = flags;
}

HICON MakeIcon(const unsigned char* andMask)
{
    return CreateIcon(g_instance, ICON_SIZE, ICON_SIZE, 1, 1, andMask, XOR_MASK);
}

// The same adds as the meter's start: one baseline icon for all three, then destroyed.
void AddIcons(HWND hwnd)
{
    NOTIFYICONDATAA record;
    FillRecord(record, hwnd, NIF_MESSAGE | NIF_ICON);
    record.uCallbackMessage = WM_NOTIFYICON;
    record.hIcon = MakeIcon(BASELINE_AND_MASK);
    for (UINT id = 0; id < ICONS; ++id) {
        record.uID = id;
        Shell_NotifyIconA(NIM_ADD, &record);
    }
    if (record.hIcon) DestroyIcon(record.hIcon);
}

void OnTick(HWND hwnd)
{
    NOTIFYICONDATAA record;
    FillRecord(record, hwnd, NIF_ICON | NIF_TIP);
    strcpy(record.szTip, TIP);
    for (UINT id = 0; id < ICONS; ++id) {
        record.uID = id;
        record.hIcon = MakeIcon(AND_MASK);
        Shell_NotifyIconA(NIM_MODIFY, &record);
        if (record.hIcon) DestroyIcon(record.hIcon);
    }
    ++g_ticks;
}

void RemoveIcons(HWND hwnd)
{
    NOTIFYICONDATAA record;
    FillRecord(record, hwnd, 0);
    for (UINT id = 0; id < ICONS; ++id) {
        record.uID = id;
        Shell_NotifyIconA(NIM_DELETE, &record);
    }
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_TIMER:
        if (wParam == TICK_TIMER) OnTick(hwnd);
        else if (wParam == END_TIMER) PostMessageA(hwnd, WM_CLOSE, 0, 0);
        return 0;
    case REF_GETTICKS:
        return g_ticks;
    case WM_DESTROY:
        KillTimer(hwnd, TICK_TIMER);
        KillTimer(hwnd, END_TIMER);
        RemoveIcons(hwnd);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR cmdLine, int)
{
    g_instance = hInstance;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = hInstance;
    wc.lpszClassName = WINDOW_CLASS;
    if (!RegisterClassA(&wc)) return 1;
    // Never shown, like the meter's hidden dialog.
    HWND hwnd = CreateWindowExA(0, WINDOW_CLASS, "Cyclowisp tick reference", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                CW_USEDEFAULT, 200, 100, nullptr, nullptr, hInstance, nullptr);
    if (!hwnd) return 1;
    AddIcons(hwnd);
    SetTimer(hwnd, TICK_TIMER, TICK_MS, nullptr);
    const unsigned long seconds = strtoul(cmdLine, nullptr, 10);
    if (seconds > 0) SetTimer(hwnd, END_TIMER, static_cast<UINT>(seconds * 1000), nullptr);

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
