// Test and screenshot helper run under Wine beside the meter: repaints Wine's notification area
// so that a capture shows what the icons hold now, not pixels left over from earlier pictures.
#include <windows.h>

#include <cstring>

int main(int argc, char** argv)
{
    if (argc == 2 && strcmp(argv[1], "repaint") == 0) {
        // Wine's tray paints a new icon over the old one without erasing; a full repaint with
        // erase from any process of the prefix clears what the current icons do not cover.
        HWND tray = FindWindowA(nullptr, "Wine System Tray");
        if (!tray) return 1;
        RedrawWindow(tray, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        return 0;
    }
    return 2;
}
