// Shows the three icons of a graph as the meter makes them (the core's masks, CreateIcon at the
// small-icon size of this process's DPI), in a window laid out like Wine's notification area:
// white, one slot of S + 4 pixels per icon, each icon 2 pixels in. It makes the README's picture
// at 150 %, which Wine 8's own tray cannot show as drawn: its shell copies an icon whose width is
// no multiple of 16 with the wrong row length.
//   stripview.exe X Y READING...   the window's top-left corner, then the readings, oldest first
#include <windows.h>

#include <cstdlib>

#include "core/history.h"
#include "core/strip.h"

namespace {

HICON g_icons[STRIP_ICONS];
int g_size;

LRESULT CALLBACK ViewProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        RECT all;
        GetClientRect(hwnd, &all);
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        for (int i = 0; i < STRIP_ICONS; ++i)
            DrawIconEx(dc, i * (g_size + 4) + 2, 2, g_icons[i], g_size, g_size, 0, nullptr, DI_NORMAL);
        EndPaint(hwnd, &ps);
        return 0;
    }
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) return 2;
    g_size = ClampIconSize(GetSystemMetrics(SM_CXSMICON));
    HistoryReset();
    for (int i = 3; i < argc; ++i) HistoryPush(static_cast<uint32_t>(strtoul(argv[i], nullptr, 10)));
    static StripMasks masks;
    BuildStripMasks(masks, g_size);
    HINSTANCE instance = GetModuleHandleA(nullptr);
    for (int i = 0; i < STRIP_ICONS; ++i)
        g_icons[i] = CreateIcon(instance, g_size, g_size, 1, 1, masks + i * IconMaskBytes(g_size), BLANK_XOR_MASK);

    WNDCLASSA wc = {};
    wc.lpfnWndProc = ViewProc;
    wc.hInstance = instance;
    wc.lpszClassName = "CyclowispStripView";
    RegisterClassA(&wc);
    CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, wc.lpszClassName, "Cyclowisp icons", WS_POPUP | WS_VISIBLE,
                    atoi(argv[1]), atoi(argv[2]), STRIP_ICONS * (g_size + 4), g_size + 4, nullptr, nullptr, instance,
                    nullptr);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    return 0;
}
