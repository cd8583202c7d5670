// Reads the icons of the notification area back from the screen as text pictures: Wine's own
// tray window, or icons docked into an X system tray panel.
#include "tray_capture.h"

#include <algorithm>
#include <cstring>

#include <commctrl.h>
#include <shellapi.h>

namespace {

// The shell gives every icon a square slot (in its own tray window) or window (docked into an X
// tray) this many pixels larger than the icon, and draws the icon centred in it, 2 pixels in.
constexpr int SLOT_MARGIN = 4;

BOOL CALLBACK CollectVisibleChild(HWND hwnd, LPARAM windows)
{
    if (IsWindowVisible(hwnd)) reinterpret_cast<std::vector<HWND>*>(windows)->push_back(hwnd);
    return TRUE;
}


BOOL CALLBACK CollectShownTooltip(HWND hwnd, LPARAM texts)
{
    char cls[32] = "";
    GetClassNameA(hwnd, cls, sizeof cls);
    if (lstrcmpiA(cls, TOOLTIPS_CLASSA) != 0 || !IsWindowVisible(hwnd)) return TRUE;
    // The tooltip control answers WM_GETTEXT with the text it shows (it keeps the last one while
    // hidden, so only a visible tooltip counts). A window of another process: sent, with a limit.
    char text[256] = "";
    DWORD_PTR ignored;
    SendMessageTimeoutA(hwnd, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                        5000, &ignored);
    reinterpret_cast<std::vector<std::string>*>(texts)->push_back(text);
    return TRUE;
}

BOOL CALLBACK CollectShownBalloon(HWND hwnd, LPARAM balloons)
{
    char cls[32] = "";
    GetClassNameA(hwnd, cls, sizeof cls);
    if (lstrcmpiA(cls, TOOLTIPS_CLASSA) != 0 || !IsWindowVisible(hwnd)) return TRUE;
    if (!(GetWindowLongA(hwnd, GWL_STYLE) & TTS_BALLOON)) return TRUE;
    char text[512] = "";
    DWORD_PTR ignored;
    SendMessageTimeoutA(hwnd, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000,
                        &ignored);
    reinterpret_cast<std::vector<std::string>*>(balloons)->push_back(text);
    return TRUE;
}

// Polls until the shown tooltips satisfy done(texts) or timeoutMs has passed; returns the last texts.
template <typename Done>
std::vector<std::string> WaitForTooltips(Done done, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        std::vector<std::string> texts = ShownTooltips();
        if (done(texts) || GetTickCount() - start >= timeoutMs) return texts;
        Sleep(50);
    }
}

// Icons that Wine docked into an X system tray: windows of their own, children of the panel's
// X window, which Wine shows as a "foreign" window.
BOOL CALLBACK CollectDockedIcon(HWND hwnd, LPARAM windows)
{
    char cls[64] = "";
    GetClassNameA(hwnd, cls, sizeof cls);
    if (strcmp(cls, "__winex11_tray_icon") == 0 && IsWindowVisible(hwnd))
        reinterpret_cast<std::vector<HWND>*>(windows)->push_back(hwnd);
    return TRUE;
}

BOOL CALLBACK CollectDockedIconsOfPanel(HWND hwnd, LPARAM windows)
{
    char cls[64] = "";
    GetClassNameA(hwnd, cls, sizeof cls);
    if (strcmp(cls, "__wine_x11_foreign_window") == 0) EnumChildWindows(hwnd, CollectDockedIcon, windows);
    return TRUE;
}

DWORD Rgb(DWORD pixel) { return pixel & 0xFFFFFF; }

// A docked icon is shaped to its opaque pixels, so its transparent ones show the panel behind
// it, and a panel keeps whatever an icon drew there before it was moved into place (seen: a
// stale line one row above the baseline). Covering the icons for a moment makes the panel paint
// its background afresh and each icon its picture.
void ExposePanel(const std::vector<HWND>& icons)
{
    RECT all;
    GetWindowRect(icons[0], &all);
    for (HWND icon : icons) {
        RECT rc;
        GetWindowRect(icon, &rc);
        UnionRect(&all, &all, &rc);
    }
    HWND cover = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, "STATIC", nullptr,
                                 WS_POPUP | WS_VISIBLE, all.left, all.top, all.right - all.left,
                                 all.bottom - all.top, nullptr, nullptr, nullptr, nullptr);
    if (!cover) return;
    UpdateWindow(cover);
    Sleep(50);
    DestroyWindow(cover);
    Sleep(100);
}

// One repaint and one reading of the screen. tray is Wine's own tray window, or null when the
// icons are docked into an X system tray, where each icon is a window of its own.
std::vector<std::string> ReadTrayIcons(HWND tray, const std::vector<HWND>& icons)
{
    if (tray) {
        // Erasing the tray window paints its background over the icon windows too, which have
        // none of their own; then every icon paints itself afresh. The paint messages are sent,
        // so the shell has painted when RedrawWindow returns, but it hands its pixels to the X
        // server only when it next waits for messages: one more message that it must answer
        // makes sure of that. Docked icons are layered windows, which hold their whole picture.
        RedrawWindow(tray, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        DWORD_PTR ignored;
        SendMessageTimeoutA(tray, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
    } else if (!icons.empty()) {
        ExposePanel(icons);
    }

    std::vector<std::string> pictures;
    for (HWND icon : icons) {
        RECT slot;
        GetWindowRect(icon, &slot);
        const int width = slot.right - slot.left, height = slot.bottom - slot.top;
        const std::vector<DWORD> pixels = ReadScreen(slot.left, slot.top, width, height);
        // The icon's size is what the shell shows: the slot's less its margin, at any DPI.
        const int size = std::max(std::min(width, height) - SLOT_MARGIN, 1);
        const int left = (width - size) / 2;
        const int top = (height - size) / 2;
        // The slot's corner shows the tray's background.
        const DWORD background = width > 0 && height > 0 ? Rgb(pixels[0]) : 1;
        std::string picture;
        for (int y = top; y < top + size; ++y) {
            for (int x = left; x < left + size; ++x) {
                const bool inside = x >= 0 && y >= 0 && x < width && y < height;
                const DWORD pixel = inside ? Rgb(pixels[static_cast<size_t>(y) * width + x]) : 1;
                picture += pixel == background ? '.' : pixel == 0 ? '#' : pixel == 0xFFFFFF ? 'W' : '?';
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
    if (tray && IsWindowVisible(tray))
        EnumChildWindows(tray, CollectVisibleChild, reinterpret_cast<LPARAM>(&icons));
    EnumWindows(CollectDockedIconsOfPanel, reinterpret_cast<LPARAM>(&icons));
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
    if (tray && !IsWindowVisible(tray)) tray = nullptr;
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

std::vector<std::string> ShownTooltips()
{
    std::vector<std::string> texts;
    EnumWindows(CollectShownTooltip, reinterpret_cast<LPARAM>(&texts));
    return texts;
}

std::vector<std::string> ShownBalloons()
{
    std::vector<std::string> balloons;
    EnumWindows(CollectShownBalloon, reinterpret_cast<LPARAM>(&balloons));
    return balloons;
}

std::string HoverTooltip(size_t slot, DWORD timeoutMs)
{
    const std::vector<HWND> icons = TrayIconWindows();
    if (slot >= icons.size()) return "(none)";
    RECT rc;
    GetWindowRect(icons[slot], &rc);

    // Away from the tray first, until no tooltip is left on the screen: whatever shows after that
    // belongs to this hover. (A tooltip leaves once the pointer is off its tool.)
    SetCursorPos(rc.left - 200 > 0 ? rc.left - 200 : rc.right + 200, rc.top - 200 > 0 ? rc.top - 200 : rc.bottom + 200);
    WaitForTooltips([](const std::vector<std::string>& texts) { return texts.empty(); }, timeoutMs);

    // Onto the icon, and a pixel further a moment later: the tooltip starts counting its delay at
    // a mouse move over the tool, and the first move may arrive before the tool knows the pointer.
    const int x = (rc.left + rc.right) / 2, y = (rc.top + rc.bottom) / 2;
    SetCursorPos(x, y);
    Sleep(100);
    SetCursorPos(x + 1, y);
    const std::vector<std::string> texts =
        WaitForTooltips([](const std::vector<std::string>& shown) { return !shown.empty(); }, timeoutMs);
    return texts.empty() ? "(none)" : texts.front();
}

std::string SideBySide(const std::vector<std::string>& icons, size_t first, size_t count)
{
    if (icons.size() < first + count)
        return "the tray holds " + std::to_string(icons.size()) + " icons\n";
    // Each picture's own rows, so that pictures of different sizes (or a missing one) still show
    // side by side, the shorter ones padded with blanks below.
    std::vector<std::vector<std::string>> rows(count);
    size_t height = 0;
    for (size_t i = 0; i < count; ++i) {
        const std::string& picture = icons[first + i];
        for (size_t start = 0; start < picture.size();) {
            size_t end = picture.find('\n', start);
            if (end == std::string::npos) end = picture.size();
            rows[i].push_back(picture.substr(start, end - start));
            start = end + 1;
        }
        height = std::max(height, rows[i].size());
    }
    std::string text;
    for (size_t row = 0; row < height; ++row) {
        for (const std::vector<std::string>& picture : rows) {
            const size_t width = picture.empty() ? 0 : picture.front().size();
            text += row < picture.size() ? picture[row] : std::string(width, ' ');
        }
        text += '\n';
    }
    return text;
}

bool TrayHoldsIcon(HWND owner, UINT id)
{
    NOTIFYICONDATAA record = {};
    record.cbSize = NOTIFYICONDATAA_V1_SIZE;
    record.hWnd = owner;
    record.uID = id;
    return Shell_NotifyIconA(NIM_MODIFY, &record) != FALSE;
}
