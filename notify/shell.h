// The conversation with the shell about the three icons. The meter keeps one notion of the
// shell's side: for each icon, whether the shell holds it, and which picture and tooltip it shows
// where that is known. A call carries only what differs from that; a call the shell refuses
// leaves the icon in doubt, and a round with an icon in doubt deletes and adds all three again.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include "core/iconorder.h"
#include "core/strip.h"

// The classic ANSI record: every shell accepts it, and its tooltip holds 64 bytes.
constexpr DWORD SHELL_RECORD_SIZE = 88;
constexpr int TIP_BYTES = 64;

// The icons' callback message to the meter dialog: mouse events, the mouse message in lParam.
constexpr UINT WM_NOTIFYICON = WM_APP + 100;

// The module whose icons these are; set once by WinMain.
extern HINSTANCE g_hInstance;

// What the meter wants the shell to show: three icons of one size and colour, one tooltip.
struct StripView {
    int size;
    bool white;
    const unsigned char* icons[STRIP_ICONS];  // the AND mask that icon id shows, IconMaskBytes(size) bytes
    const char* tip;                          // NUL-terminated, shorter than TIP_BYTES
};

// One round of calls that brings the shell to the view. Where the shell may lack an icon, all
// three are deleted and added again in order, each with the same face, the idle graph's picture
// and no tooltip: Windows recognises a program's icons across adds by their pixels and tooltip
// (among others), to keep them where the user put them. Then, per icon, nothing, the tooltip
// alone or a new icon (and the tooltip when it changed). False when the shell refused an add or
// a modify, which ends the round.
bool ShellShow(HWND hwnd, const StripView& view);

// Asks the shell whether it still holds an icon that no call has touched for a while, on a graph
// that sends nothing (a modify with no fields changes nothing and fails for an icon the shell
// does not hold): the one due longest, or with everyIcon each that this round did not touch.
// Nothing while a restore is due anyway.
void ShellAsk(HWND hwnd, bool everyIcon);

// Whether the shell took every icon's last call; false: the next round adds all three again.
bool ShellHoldsAll();

// A new shell ("TaskbarCreated"): it may hold none of the icons.
void ShellLost();

// A notification balloon from icon id, quiet (the information icon, no sound), in the larger
// record that Windows 2000 and later take, for this call only. Whether the shell took it; a
// refusal changes nothing of what the meter knows of the shell.
bool ShellBalloon(HWND hwnd, UINT id, const char* title, const char* text);

// Deletes all three; the shell holds none of them afterwards.
void ShellRemove(HWND hwnd);

// Where the shell shows each icon (Windows 7 and later); every place unknown where the call is
// missing or fails. Stops at the first failure, since the order needs all three.
void ShellPlaces(HWND hwnd, IconPlace places[STRIP_ICONS]);

// The meter's only ways into the shell and to icon handles, replaced by tests that count or
// refuse the calls (the defaults are Windows' own).
struct ShellCalls {
    BOOL(WINAPI* notify)(DWORD message, PNOTIFYICONDATAA record);
    HICON(WINAPI* createIcon)(HINSTANCE instance, int width, int height, BYTE planes, BYTE bitsPerPixel,
                              const BYTE* andMask, const BYTE* xorMask);
    // Shell_NotifyIconGetRect, found in shell32 at start; null where the shell lacks it.
    HRESULT(WINAPI* getRect)(const NOTIFYICONIDENTIFIER* icon, RECT* place);
};
extern ShellCalls g_shellCalls;
