// The shell's side of the three icons, and the calls that bring it to what the meter shows.
#include "notify/shell.h"

#include <cstring>

#include "core/probe.h"
#include "settings/system.h"

static_assert(NOTIFYICONDATAA_V1_SIZE == SHELL_RECORD_SIZE, "the classic NOTIFYICONDATAA is 88 bytes");
static_assert(NOTIFYICONDATAA_V2_SIZE == 488, "the balloon's NOTIFYICONDATAA (Windows 2000 and later) is 488 bytes");

HINSTANCE g_hInstance;
ShellCalls g_shellCalls = {Shell_NotifyIconA, CreateIcon,
                           FindProc<decltype(ShellCalls::getRect)>("shell32.dll", "Shell_NotifyIconGetRect")};

namespace {

// Whether the shell holds an icon: certainly not (before the first add, after a delete), or
// maybe (it refused a call for it, or it is a new shell), or yes (it took the last call).
enum class Held { No, Maybe, Yes };

struct ShellIcon {
    Held held;
    bool pictureKnown;  // the shell shows exactly this picture
    bool white;
    int size;
    unsigned char andMask[MAX_ICON_MASK_BYTES];
    bool tipKnown;      // ... and this tooltip
    char tip[TIP_BYTES];
    unsigned acceptedInRound;  // the round of the shell's last accepted call
};

ShellIcon g_icons[STRIP_ICONS];
uint32_t g_lastAccepted[STRIP_ICONS];  // GetTickCount of each icon's last accepted call, as IconToProbe takes them
unsigned g_round;                      // counts rounds, so that a question skips what a round touched

void FillRecord(NOTIFYICONDATAA& record, HWND hwnd, UINT id, UINT flags)
{
    memset(&record, 0, sizeof record);
    record.cbSize = SHELL_RECORD_SIZE;
    record.hWnd = hwnd;
    record.uID = id;
    record.uFlags = flags;
}

HICON CreateStripIcon(const StripView& view, const unsigned char* andMask)
{
    unsigned char whiteXor[MAX_ICON_MASK_BYTES];
    if (view.white) BuildWhiteXorMask(andMask, whiteXor, view.size);
    return g_shellCalls.createIcon(g_hInstance, view.size, view.size, 1, 1, andMask,
                                   view.white ? whiteXor : BLANK_XOR_MASK);
}

void Accepted(UINT id)
{
    g_lastAccepted[id] = GetTickCount();
    g_icons[id].acceptedInRound = g_round;
}

// One NIM_ADD or NIM_MODIFY for icon id with the fields in flags, the picture of andMask in the
// view's size and colour, and the view's tooltip; and what the shell then holds. The icon handle
// lives only until the shell has made its own copy. Where no icon can be made (the process is
// out of handles), the call goes without one and the picture stays unknown, so that the next
// round tries again; a modify left with nothing to send is not made. False when refused.
bool Send(HWND hwnd, DWORD message, UINT id, UINT flags, const unsigned char* andMask, const StripView& view)
{
    ShellIcon& icon = g_icons[id];
    NOTIFYICONDATAA record;
    FillRecord(record, hwnd, id, flags);
    record.uCallbackMessage = WM_NOTIFYICON;  // looked at only with NIF_MESSAGE
    if (flags & NIF_ICON) {
        record.hIcon = CreateStripIcon(view, andMask);
        if (!record.hIcon) record.uFlags &= ~NIF_ICON;
    }
    if (flags & NIF_TIP)
        for (int i = 0; i < TIP_BYTES - 1 && view.tip[i]; ++i) record.szTip[i] = view.tip[i];
    bool taken = true;
    if (message == NIM_ADD || record.uFlags != 0) taken = g_shellCalls.notify(message, &record) != FALSE;
    if (record.hIcon) DestroyIcon(record.hIcon);
    if (!taken) {
        icon.held = Held::Maybe;
        return false;
    }
    if (record.uFlags != 0) Accepted(id);
    if (message == NIM_ADD) {
        // A new icon starts from nothing: no picture unless one went with it, no tooltip.
        icon.held = Held::Yes;
        icon.pictureKnown = false;
        icon.tipKnown = true;
        icon.tip[0] = '\0';
    }
    if (flags & NIF_ICON) {
        icon.pictureKnown = (record.uFlags & NIF_ICON) != 0;
        icon.white = view.white;
        icon.size = view.size;
        memcpy(icon.andMask, andMask, IconMaskBytes(view.size));
    }
    if (flags & NIF_TIP) {
        icon.tipKnown = true;
        memcpy(icon.tip, record.szTip, TIP_BYTES);
    }
    return true;
}

void Delete(HWND hwnd, UINT id)
{
    NOTIFYICONDATAA record;
    FillRecord(record, hwnd, id, 0);
    g_shellCalls.notify(NIM_DELETE, &record);  // refused for an icon the shell does not hold
    g_icons[id].held = Held::No;
}

bool ShowsPicture(const ShellIcon& icon, const StripView& view, const unsigned char* andMask)
{
    return icon.pictureKnown && icon.white == view.white && icon.size == view.size &&
           memcmp(icon.andMask, andMask, IconMaskBytes(view.size)) == 0;
}

}  // namespace

bool ShellShow(HWND hwnd, const StripView& view)
{
    ++g_round;
    // A refused call ends the round: a shell that refuses may be one that blocks every call for
    // seconds, and the next round adds all three again anyway.
    if (!ShellHoldsAll()) {
        // Deleted first wherever the shell may hold one, so that all three are added in order.
        for (UINT id = 0; id < STRIP_ICONS; ++id)
            if (g_icons[id].held != Held::No) Delete(hwnd, id);
        unsigned char face[MAX_ICON_MASK_BYTES];
        BuildBaselineMask(face, view.size);
        for (UINT id = 0; id < STRIP_ICONS; ++id)
            if (!Send(hwnd, NIM_ADD, id, NIF_MESSAGE | NIF_ICON, face, view)) return false;
    }
    // Then the current picture and tooltip of each icon, right after its add.
    for (UINT id = 0; id < STRIP_ICONS; ++id) {
        const ShellIcon& icon = g_icons[id];
        UINT flags = 0;
        if (!ShowsPicture(icon, view, view.icons[id])) flags |= NIF_ICON;
        if (!icon.tipKnown || strcmp(icon.tip, view.tip) != 0) flags |= NIF_TIP;
        if (flags && !Send(hwnd, NIM_MODIFY, id, flags, view.icons[id], view)) return false;
    }
    return true;
}

void ShellAsk(HWND hwnd, bool everyIcon)
{
    if (!ShellHoldsAll()) return;
    for (UINT id = 0; id < STRIP_ICONS; ++id) {
        UINT asked = id;
        if (everyIcon) {
            if (g_icons[id].acceptedInRound == g_round) continue;
        } else {
            const int due = IconToProbe(g_lastAccepted, GetTickCount());
            if (due < 0) return;
            asked = static_cast<UINT>(due);
        }
        NOTIFYICONDATAA record;
        FillRecord(record, hwnd, asked, 0);
        if (g_shellCalls.notify(NIM_MODIFY, &record)) Accepted(asked);
        else g_icons[asked].held = Held::Maybe;
        if (!everyIcon) return;
    }
}

bool ShellHoldsAll()
{
    for (const ShellIcon& icon : g_icons)
        if (icon.held != Held::Yes) return false;
    return true;
}

void ShellLost()
{
    for (ShellIcon& icon : g_icons) icon.held = Held::Maybe;
}

bool ShellBalloon(HWND hwnd, UINT id, const char* title, const char* text)
{
    NOTIFYICONDATAA record;
    FillRecord(record, hwnd, id, NIF_INFO);
    record.cbSize = NOTIFYICONDATAA_V2_SIZE;
    lstrcpynA(record.szInfoTitle, title, sizeof record.szInfoTitle);
    lstrcpynA(record.szInfo, text, sizeof record.szInfo);
    record.uTimeout = 10000;  // Windows 2000 and XP: how long it stays; later ones decide themselves
    record.dwInfoFlags = NIIF_INFO | NIIF_NOSOUND;
    return g_shellCalls.notify(NIM_MODIFY, &record) != FALSE;
}

void ShellRemove(HWND hwnd)
{
    for (UINT id = 0; id < STRIP_ICONS; ++id) Delete(hwnd, id);
}

void ShellPlaces(HWND hwnd, IconPlace places[STRIP_ICONS])
{
    for (UINT id = 0; id < STRIP_ICONS; ++id) places[id] = IconPlace{};
    if (!g_shellCalls.getRect) return;
    for (UINT id = 0; id < STRIP_ICONS; ++id) {
        // Identified by the window and the uID alone: the classic record carries no GUID.
        NOTIFYICONIDENTIFIER icon;
        memset(&icon, 0, sizeof icon);
        icon.cbSize = sizeof icon;
        icon.hWnd = hwnd;
        icon.uID = id;
        RECT place;
        if (FAILED(g_shellCalls.getRect(&icon, &place))) return;
        places[id] = {true, place.left, place.top, place.right, place.bottom};
    }
}
