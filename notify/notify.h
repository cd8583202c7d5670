// The three notification icons that carry the graph, and the sample cycle that refreshes them.
// Bars are black, or white where the shell reports a dark taskbar. A shell call that fails makes
// the next tick delete and add all three again.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <cstdint>

// The icons' callback message to the meter dialog: mouse events, the mouse message in lParam.
constexpr UINT WM_NOTIFYICON = WM_APP + 100;

// The module whose icons these are; set once by WinMain.
extern HINSTANCE g_hInstance;

void AddStripIcons(HWND hwnd);       // the three baseline icons, uID 0, 1, 2, in the taskbar's colour
void OnSampleTimer(HWND hwnd);       // read, push, render; send the shell what changed
void RemoveStripIcons(HWND hwnd);    // delete all three
void RestoreStripIcons(HWND hwnd);   // delete and add all three again, current picture and tooltip
void FollowTaskbarColour(HWND hwnd); // read the taskbar's colour again; redraw the icons if it changed
