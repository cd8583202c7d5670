// Reads the icons of Wine's notification area back from the screen as text pictures.
#include "tray_capture.h"

#include <algorithm>

namespace {

constexpr int ICON_PIXELS = 16;

BOOL CALLBACK CollectVisibleChild(HWND hwnd, LPARAM windows)
{
    if (IsWindowVisible(hwnd)) reinterpret_cast<std::vector<HWND>*>(windows)->push_back(hwnd);
    return TRUE;
}


// One repaint and one reading of the screen.
std::vector<std::string> ReadTrayIcons(HWND tray, const std::vector<HWND>& icons)
{
    // Erasing the tray window paints its background over the icon windows too, which have none
    // of their own; then every icon paints itself afresh. The paint messages are sent, so the
    // shell has painted when RedrawWindow returns, but it hands its pixels to the X server only
    // when it next waits for messages: one more message that it must answer makes sure of that.
    RedrawWindow(tray, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    DWORD_PTR ignored;
    SendMessageTimeoutA(tray, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);

    RECT client;
    GetClientRect(tray, &client);
    POINT origin = {0, 0};
    ClientToScreen(tray, &origin);
    const std::vector<DWORD> pixels = ReadScreen(origin.x, origin.y, client.right, client.bottom);
    const COLORREF window = GetSysColor(COLOR_WINDOW);
    const DWORD background = (GetRValue(window) << 16) | (GetGValue(window) << 8) | GetBValue(window);

    std::vector<std::string> pictures;
    for (HWND icon : icons) {
        RECT slot;
        GetWindowRect(icon, &slot);
        // Wine centres the 16x16 icon in its slot.
        const int left = slot.left - origin.x + (slot.right - slot.left - ICON_PIXELS) / 2;
        const int top = slot.top - origin.y + (slot.bottom - slot.top - ICON_PIXELS) / 2;
        std::string picture;
        for (int y = top; y < top + ICON_PIXELS; ++y) {
            for (int x = left; x < left + ICON_PIXELS; ++x) {
                const bool inside = x >= 0 && y >= 0 && x < client.right && y < client.bottom;
                const DWORD pixel = inside ? pixels[static_cast<size_t>(y) * client.right + x] & 0xFFFFFF : 1;
                picture += pixel == 0 ? '#' : pixel == background ? '.' : '?';
            }
            picture += '\n';
        }
        pictures.push_back(picture);
    }
    return pictures;
}

}  // namespace

std::vector<DWORD> ReadScreen(int left, int top, int width, int height)
{
    std::vector<DWORD> pixels(static_cast<size_t>(width) * height);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        if (BitBlt(memory, 0, 0, width, height, screen, left, top, SRCCOPY)) {
            GdiFlush();
            std::copy_n(static_cast<const DWORD*>(bits), pixels.size(), pixels.begin());
        }
        SelectObject(memory, old);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

HWND FindWineTray()
{
    return FindWindowA(nullptr, "Wine System Tray");
}

std::vector<HWND> TrayIconWindows()
{
    std::vector<HWND> icons;
    HWND tray = FindWineTray();
    if (!tray || !IsWindowVisible(tray)) return icons;
    EnumChildWindows(tray, CollectVisibleChild, reinterpret_cast<LPARAM>(&icons));
    std::sort(icons.begin(), icons.end(), [](HWND a, HWND b) {
        RECT ra, rb;
        GetWindowRect(a, &ra);
        GetWindowRect(b, &rb);
        return ra.left < rb.left;
    });
    return icons;
}

std::vector<std::string> CaptureTrayIcons()
{
    HWND tray = FindWineTray();
    const std::vector<HWND> icons = TrayIconWindows();
    if (icons.empty()) return {};
    // A shell still busy with an earlier change can hand over a picture between two states
    // (seen about once in a hundred captures): only a picture read twice in a row counts.
    std::vector<std::string> last = ReadTrayIcons(tray, icons);
    for (int attempt = 0; attempt < 20; ++attempt) {
        Sleep(20);
        std::vector<std::string> again = ReadTrayIcons(tray, icons);
        if (again == last) break;
        last = again;
    }
    return last;
}

std::string SideBySide(const std::vector<std::string>& icons, size_t first, size_t count)
{
    if (icons.size() < first + count)
        return "the tray holds " + std::to_string(icons.size()) + " icons\n";
    std::string text;
    for (int row = 0; row < ICON_PIXELS; ++row) {
        for (size_t i = first; i < first + count; ++i)
            text += icons[i].substr(static_cast<size_t>(row) * (ICON_PIXELS + 1), ICON_PIXELS);
        text += '\n';
    }
    return text;
}
