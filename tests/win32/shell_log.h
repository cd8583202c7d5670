// The meter's shell calls as the shell gets them, written down one line each, and passed on to
// the real shell: the tests put LoggingNotify into the meter's seam (g_shellCalls) to see what
// a tick, a switch or a report costs the shell, not only what the tray shows afterwards.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "notify/shell.h"

// One call: "modify 2 icon(16 black) tip", "ask 1" (a modify with no fields), "add 0 icon(24
// white) idle" (an add with the idle graph's picture), "delete 2", "place 1" (a question where
// the icon is, from PlacesScripted below); with " refused" when the shell said no.
inline std::vector<std::string> g_shellLog;

// Runs once, inside the next call, before the shell gets it: as a message that Windows
// delivers to the meter while the call waits on the shell.
inline std::function<void()> g_duringNextCall;

// The size and colour of an icon the meter made: its mask bitmap is the AND rows above the XOR
// rows, and white bars have XOR bits set.
inline std::string IconLook(HICON icon)
{
    ICONINFO info = {};
    if (!icon || !GetIconInfo(icon, &info)) return "icon(none)";
    BITMAP bm = {};
    GetObjectA(info.hbmMask, sizeof bm, &bm);
    std::vector<BYTE> bits(static_cast<size_t>(bm.bmWidthBytes) * bm.bmHeight);
    GetBitmapBits(info.hbmMask, static_cast<LONG>(bits.size()), bits.data());
    bool white = false;
    for (size_t i = bits.size() / 2; i < bits.size(); ++i) white = white || bits[i] != 0;
    DeleteObject(info.hbmMask);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    return "icon(" + std::to_string(bm.bmWidth) + (white ? " white)" : " black)");
}

// Whether an icon shows the idle graph's picture: transparent but for its bottom row.
inline bool IsIdleFace(HICON icon)
{
    ICONINFO info = {};
    if (!icon || !GetIconInfo(icon, &info)) return false;
    BITMAP bm = {};
    GetObjectA(info.hbmMask, sizeof bm, &bm);
    std::vector<BYTE> bits(static_cast<size_t>(bm.bmWidthBytes) * bm.bmHeight);
    GetBitmapBits(info.hbmMask, static_cast<LONG>(bits.size()), bits.data());
    DeleteObject(info.hbmMask);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    const int size = bm.bmWidth;  // the AND rows are the first `size` rows
    bool idle = true;
    for (int row = 0; row < size; ++row)
        for (int x = 0; x < size; ++x) {
            const bool transparent = (bits[static_cast<size_t>(row) * bm.bmWidthBytes + x / 8] >> (7 - x % 8)) & 1;
            idle = idle && transparent == (row < size - 1);
        }
    return idle;
}

inline std::string DescribeCall(DWORD message, const NOTIFYICONDATAA& record)
{
    const std::string id = std::to_string(record.uID);
    if (message == NIM_DELETE) return "delete " + id;
    if (message == NIM_MODIFY && record.uFlags == 0) return "ask " + id;
    if (message == NIM_MODIFY && record.uFlags == NIF_INFO) {
        // The balloon's record is the larger one; its fields lie beyond the classic 88 bytes.
        std::string text = "balloon " + id + " (" + std::to_string(record.cbSize) + " bytes)";
        if (record.dwInfoFlags & NIIF_INFO) text += " info";
        if (record.dwInfoFlags & NIIF_NOSOUND) text += " quiet";
        return text + ": " + record.szInfoTitle + " | " + record.szInfo;
    }
    std::string text = (message == NIM_ADD ? "add " : message == NIM_MODIFY ? "modify " : "message? ") + id;
    if (record.uFlags & NIF_ICON) text += " " + IconLook(record.hIcon);
    if (message == NIM_ADD && (record.uFlags & NIF_ICON) && IsIdleFace(record.hIcon)) text += " idle";
    if (record.uFlags & NIF_TIP) text += " tip";
    return text;
}

inline BOOL WINAPI LoggingNotify(DWORD message, PNOTIFYICONDATAA record)
{
    if (g_duringNextCall) {
        const std::function<void()> during = std::move(g_duringNextCall);
        g_duringNextCall = nullptr;
        during();
    }
    std::string line = DescribeCall(message, *record);
    const BOOL taken = Shell_NotifyIconA(message, record);
    if (!taken) line += " refused";
    g_shellLog.push_back(line);
    return taken;
}

// Installs the log for as long as the object lives, empty at the start.
class ShellLogged {
public:
    ShellLogged() : saved_(g_shellCalls)
    {
        g_shellLog.clear();
        g_duringNextCall = nullptr;
        g_shellCalls.notify = LoggingNotify;
    }
    ~ShellLogged()
    {
        g_shellCalls = saved_;
        g_duringNextCall = nullptr;
    }

private:
    ShellCalls saved_;
};

// Where the shell says the icons are, in place of Shell_NotifyIconGetRect, for as long as the
// object lives: each uID's rectangle, or a failure (as Wine's stub of the call, which returns
// E_NOTIMPL). Every question is logged as "place N", with " refused" for a failure.
inline RECT g_scriptedPlaces[3];
inline bool g_placesKnown[3];
inline HWND g_placesOwner;

inline HRESULT WINAPI ScriptedGetRect(const NOTIFYICONIDENTIFIER* icon, RECT* place)
{
    const GUID none = {};  // the classic record's icons have no GUID
    const bool known = icon->cbSize == sizeof(NOTIFYICONIDENTIFIER) && icon->hWnd == g_placesOwner && icon->uID < 3 &&
                       memcmp(&icon->guidItem, &none, sizeof none) == 0 && g_placesKnown[icon->uID];
    g_shellLog.push_back("place " + std::to_string(icon->uID) + (known ? "" : " refused"));
    if (!known) return E_FAIL;
    *place = g_scriptedPlaces[icon->uID];
    return S_OK;
}

class PlacesScripted {
public:
    explicit PlacesScripted(HWND owner) : saved_(g_shellCalls.getRect)
    {
        g_placesOwner = owner;
        Fail();
        g_shellCalls.getRect = ScriptedGetRect;
    }
    ~PlacesScripted() { g_shellCalls.getRect = saved_; }

    // The icons side by side on one row of 24-pixel slots, the icon of uID leftToRight[0] at
    // the left.
    void Row(const std::vector<UINT>& leftToRight)
    {
        for (size_t slot = 0; slot < leftToRight.size(); ++slot) {
            const LONG x = 800 + 24 * static_cast<LONG>(slot);
            At(leftToRight[slot], {x, 1040, x + 24, 1064});
        }
    }
    void At(UINT id, RECT place)
    {
        g_scriptedPlaces[id] = place;
        g_placesKnown[id] = true;
    }
    void Fail()
    {
        for (bool& known : g_placesKnown) known = false;
    }

private:
    decltype(ShellCalls::getRect) saved_;
};

// The lines of the log so far, one a line, and the log emptied: for readable comparisons.
inline std::string TakeShellLog()
{
    std::string text;
    for (const std::string& line : g_shellLog) text += line + "\n";
    g_shellLog.clear();
    return text;
}
