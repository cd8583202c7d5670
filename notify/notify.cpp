// The three notification icons: added with the baseline, refreshed by every sample cycle, in
// black or white to suit the taskbar, and added again whenever the shell may have lost them.
#include "notify/notify.h"

#include <cstring>

#include "core/decimal.h"
#include "core/history.h"
#include "core/strip.h"
#include "stats/stats.h"

HINSTANCE g_hInstance;

namespace {

// The classic ANSI record: every shell accepts it, and its tooltip holds 64 bytes.
static_assert(NOTIFYICONDATAA_V1_SIZE == 88, "the classic NOTIFYICONDATAA is 88 bytes");
constexpr DWORD RECORD_SIZE = NOTIFYICONDATAA_V1_SIZE;
constexpr int TIP_BYTES = 64;
static_assert(USAGE_TIP_CHARS <= TIP_BYTES, "every tooltip fits the record");

// Where the shell says whether its taskbar is light or dark.
const char THEME_KEY[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
const char THEME_VALUE[] = "SystemUsesLightTheme";

// What the shell accepted last for one icon. A tick sends only what differs from it, since
// nearly all the cost of a tick lies in the shell making and drawing its copy of an icon.
struct ShellCopy {
    bool known;  // false: the shell's copy may differ from anything remembered here
    bool white;
    unsigned char andMask[ICON_MASK_BYTES];
    char tip[TIP_BYTES];
};

ShellCopy g_shellCopy[STRIP_ICONS];
bool g_whiteBars;       // the bars' colour: white on a dark taskbar, black elsewhere
bool g_restorePending;  // a shell call failed: the next tick deletes and adds all three again
char g_tip[TIP_BYTES];  // the tooltip of the last sample cycle

// White bars only when the shell says plainly that its taskbar is dark: a 4-byte REG_DWORD of 0.
// Anything else, a missing key included (the older Windows line, Wine), keeps the black bars.
bool TaskbarIsDark()
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, THEME_KEY, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    DWORD type = REG_NONE;
    DWORD value = 1;
    DWORD size = sizeof value;
    // A longer value does not fit and fails the query; a shorter one is caught by its size.
    const LONG status =
        RegQueryValueExA(key, THEME_VALUE, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && type == REG_DWORD && size == sizeof value && value == 0;
}

void FillRecord(NOTIFYICONDATAA& record, HWND hwnd, UINT id, UINT flags)
{
    memset(&record, 0, sizeof record);
    record.cbSize = RECORD_SIZE;
    record.hWnd = hwnd;
    record.uID = id;
    record.uFlags = flags;
}

HICON CreateStripIcon(const unsigned char* andMask, bool white)
{
    unsigned char whiteXor[ICON_MASK_BYTES];
    if (white) BuildWhiteXorMask(andMask, whiteXor);
    return CreateIcon(g_hInstance, ICON_SIZE, ICON_SIZE, 1, 1, andMask,
                      white ? whiteXor : BLANK_XOR_MASK);
}

// One shell call for icon id: NIM_ADD or NIM_MODIFY with the fields in flags, a fresh icon from
// the mask (destroyed as soon as the shell has made its own copy) and the current tooltip. What
// the shell took is remembered; a refusal leaves the icon unknown and asks for a restore.
void SendIcon(HWND hwnd, DWORD message, UINT id, UINT flags, const unsigned char* andMask)
{
    NOTIFYICONDATAA record;
    FillRecord(record, hwnd, id, flags);
    record.uCallbackMessage = WM_NOTIFYICON;  // looked at only with NIF_MESSAGE
    if (flags & NIF_ICON) record.hIcon = CreateStripIcon(andMask, g_whiteBars);
    if (flags & NIF_TIP) memcpy(record.szTip, g_tip, TIP_BYTES);
    const bool taken = Shell_NotifyIconA(message, &record) != FALSE;
    if (record.hIcon) DestroyIcon(record.hIcon);

    ShellCopy& copy = g_shellCopy[id];
    if (!taken) {
        copy.known = false;
        g_restorePending = true;
        return;
    }
    if (message == NIM_ADD) {
        // A new icon starts from nothing: what was not sent is empty.
        copy.known = true;
        copy.tip[0] = '\0';
    }
    if (flags & NIF_ICON) {
        copy.white = g_whiteBars;
        memcpy(copy.andMask, andMask, ICON_MASK_BYTES);
    }
    if (flags & NIF_TIP) memcpy(copy.tip, g_tip, TIP_BYTES);
}

// Deletes whatever of the three icons the shell may still hold and adds all three again in uID
// order, so that the graph reads left to right, with the current picture, colour and tooltip.
// One that the shell refuses keeps the restore pending for the next tick.
void RestoreIcons(HWND hwnd, const StripMasks masks)
{
    g_restorePending = false;
    for (UINT id = 0; id < STRIP_ICONS; ++id) {
        NOTIFYICONDATAA record;
        FillRecord(record, hwnd, id, 0);
        Shell_NotifyIconA(NIM_DELETE, &record);  // refused for an icon the shell does not hold
        g_shellCopy[id].known = false;
    }
    for (UINT id = 0; id < STRIP_ICONS; ++id)
        SendIcon(hwnd, NIM_ADD, id, NIF_MESSAGE | NIF_ICON | NIF_TIP, masks + id * ICON_MASK_BYTES);
}

// Brings the shell's three icons to the current picture and tooltip: a restore when one is
// pending, otherwise per icon nothing, the tooltip alone, or a new icon (and the tooltip when it
// changed). Takes no sample.
void ShowStripIcons(HWND hwnd)
{
    StripMasks masks;
    BuildStripMasks(masks);
    if (g_restorePending) {
        RestoreIcons(hwnd, masks);
        return;
    }
    for (UINT id = 0; id < STRIP_ICONS; ++id) {
        const unsigned char* andMask = masks + id * ICON_MASK_BYTES;
        const ShellCopy& copy = g_shellCopy[id];
        UINT flags = 0;
        if (!copy.known || copy.white != g_whiteBars || memcmp(copy.andMask, andMask, ICON_MASK_BYTES) != 0)
            flags |= NIF_ICON;
        if (!copy.known || strcmp(copy.tip, g_tip) != 0) flags |= NIF_TIP;
        if (flags) SendIcon(hwnd, NIM_MODIFY, id, flags, andMask);
    }
}

}  // namespace

void AddStripIcons(HWND hwnd)
{
    g_whiteBars = TaskbarIsDark();
    g_restorePending = false;
    g_tip[0] = '\0';
    for (ShellCopy& copy : g_shellCopy) copy.known = false;
    // The baseline picture, no tooltip until the first sample cycle.
    for (UINT id = 0; id < STRIP_ICONS; ++id)
        SendIcon(hwnd, NIM_ADD, id, NIF_MESSAGE | NIF_ICON, BASELINE_AND_MASK);
}

void OnSampleTimer(HWND hwnd)
{
    uint32_t usage = 0;
    const bool haveReading = ReadProcessorUsage(usage);
    if (haveReading) HistoryPush(HeadroomFromUsage(usage));
    FormatUsageTip(g_tip, haveReading, usage);
    ShowStripIcons(hwnd);
}

void RemoveStripIcons(HWND hwnd)
{
    g_restorePending = false;
    for (UINT id = 0; id < STRIP_ICONS; ++id) {
        NOTIFYICONDATAA record;
        FillRecord(record, hwnd, id, 0);
        Shell_NotifyIconA(NIM_DELETE, &record);
        g_shellCopy[id].known = false;
    }
}

void RestoreStripIcons(HWND hwnd)
{
    g_restorePending = true;
    ShowStripIcons(hwnd);
}

void FollowTaskbarColour(HWND hwnd)
{
    const bool white = TaskbarIsDark();
    if (white == g_whiteBars) return;
    g_whiteBars = white;
    // Everything again, as after any change that the shell's copy may not have followed.
    for (ShellCopy& copy : g_shellCopy) copy.known = false;
    ShowStripIcons(hwnd);
}
