// The three notification icons that carry the graph, and the sample cycle that refreshes them.
// They are drawn at the size the taskbar shows, one pixel column per sample, in bars that stand
// out from the taskbar. A shell call that fails, or an icon the shell no longer holds, makes the
// next tick delete and add all three again.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <cstdint>

// The icons' callback message to the meter dialog: mouse events, the mouse message in lParam.
constexpr UINT WM_NOTIFYICON = WM_APP + 100;

// The module whose icons these are; set once by WinMain.
extern HINSTANCE g_hInstance;

void AddStripIcons(HWND hwnd);       // the three baseline icons, uID 0, 1, 2, at the taskbar's size and colour
void OnSampleTimer(HWND hwnd);       // read, push, render; send the shell what changed, or ask after one icon
void RemoveStripIcons(HWND hwnd);    // delete all three
void RestoreStripIcons(HWND hwnd);   // measure again, delete and add all three, current picture and tooltip
void FollowTaskbar(HWND hwnd);       // measure the icon size and decide the bar colour again; redraw on a change

// The icon size in pixels that the icons are drawn at now (16 at 100 % display scaling).
int StripIconSize();

// Where the icon size comes from: by default the small-icon size at the taskbar's DPI. Wine reads
// a process's DPI once, so tests put their own source here to change the size of a running meter.
extern int (*g_iconSizeSource)();
