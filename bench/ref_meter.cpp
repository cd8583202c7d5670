// The tick benchmark's reference: the least a meter of three notification icons can do on every
// tick, so that what cyclowis.exe costs can be set against it. A hidden window and a 100 ms timer;
// per tick three icons made from fixed masks, three modifies with icon and tooltip, three destroys.
// No registry read and no history. The icons are as large as the shell shows them: the small-icon
// size at the system's DPI (16 at 96 DPI, 24 at 144), so that the shell's work matches the meter's.
//   ref_meter [SECONDS]   ends by itself after SECONDS when given, else on WM_CLOSE
// Sent REF_GETTICKS, the window answers how many ticks it has run, so the benchmark can check the
// timer's real rate without the reference doing any extra work per tick; sent REF_GETSIZE, the
// icons' size in pixels.
#include <windows.h>
#include <shellapi.h>

#include <cstdlib>
#include <cstring>

namespace {

constexpr char WINDOW_CLASS[] = "CyclowispTickReference";
constexpr UINT REF_GETTICKS = WM_APP + 1;
constexpr UINT REF_GETSIZE = WM_APP + 2;
constexpr UINT WM_NOTIFYICON = WM_APP + 100;
constexpr UINT_PTR TICK_TIMER = 1;
constexpr UINT_PTR END_TIMER = 2;
constexpr UINT TICK_MS = 100;  // the meter's shortest delay
constexpr UINT ICONS = 3;
constexpr int MIN_ICON_SIZE = 16;  // the meter's range of icon sizes
constexpr int MAX_ICON_SIZE = 64;
constexpr int MAX_ROW_BYTES = (MAX_ICON_SIZE + 15) / 16 * 2;
constexpr int MAX_MASK_BYTES = MAX_ICON_SIZE * MAX_ROW_BYTES;
constexpr DWORD RECORD_SIZE = NOTIFYICONDATAA_V1_SIZE;  // 88: the classic ANSI record, as the meter uses
constexpr unsigned READING = 37;  // the graph held at 37 %
constexpr char TIP[] = "37 %";

HINSTANCE g_instance;
int g_size = MIN_ICON_SIZE;
// A graph held at READING: transparent rows above its headroom, black rows from there down;
// and the baseline alone, as a meter's first picture. The XOR mask inverts nothing.
unsigned char g_andMask[MAX_MASK_BYTES];
unsigned char g_baselineAndMask[MAX_MASK_BYTES];
const unsigned char XOR_MASK[MAX_MASK_BYTES] = {};
LONG g_ticks;

void FillRecord(NOTIFYICONDATAA& record, HWND hwnd, UINT flags)
{
    memset(&record, 0, sizeof record);
    record.cbSize = RECORD_SIZE;
    record.hWnd = hwnd;
    record.uFlags = flags;
}

// CreateIcon's layout: each row padded to whole 16-bit words, padding bits transparent (AND 1).
// Rows from firstBlack on are black across the icon's width.
void FillAndMask(unsigned char* mask, int size, int firstBlack)
{
    const int rowBytes = (size + 15) / 16 * 2;
    memset(mask, 0xFF, static_cast<size_t>(size) * rowBytes);
    for (int y = firstBlack; y < size; ++y)
        for (int x = 0; x < size; ++x) mask[y * rowBytes + x / 8] &= static_cast<unsigned char>(~(0x80 >> (x % 8)));
}

// The icon size the shell shows, within the meter's range, and both pictures at that size. The
// headroom is the meter's scale, floor(2 (S - 1) (100 - u) / 195): 9 at 16 pixels, 14 at 24.
void SetUpIcons()
{
    const int metric = GetSystemMetrics(SM_CXSMICON);
    g_size = metric < MIN_ICON_SIZE ? MIN_ICON_SIZE : metric > MAX_ICON_SIZE ? MAX_ICON_SIZE : metric;
    const int headroom = static_cast<int>(2u * (g_size - 1) * (100 - READING) / 195);
    FillAndMask(g_andMask, g_size, headroom);
    FillAndMask(g_baselineAndMask, g_size, g_size - 1);
}

HICON MakeIcon(const unsigned char* andMask)
{
    return CreateIcon(g_instance, g_size, g_size, 1, 1, andMask, XOR_MASK);
}

// The same adds as the meter's start: one baseline icon for all three, then destroyed.
void AddIcons(HWND hwnd)
{
    NOTIFYICONDATAA record;
    FillRecord(record, hwnd, NIF_MESSAGE | NIF_ICON);
    record.uCallbackMessage = WM_NOTIFYICON;
    record.hIcon = MakeIcon(g_baselineAndMask);
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
        record.hIcon = MakeIcon(g_andMask);
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
    case REF_GETSIZE:
        return g_size;
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
    SetUpIcons();
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
