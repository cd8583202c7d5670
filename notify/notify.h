// The three notification icons that carry the graph, and the sample cycle that refreshes them.
#pragma once

#include <windows.h>

// The icons' callback message to the meter dialog: mouse events, the mouse message in lParam.
constexpr UINT WM_NOTIFYICON = WM_APP + 100;

// The module whose icons these are; set once by WinMain.
extern HINSTANCE g_hInstance;

void AddStripIcons(HWND hwnd);     // the three baseline icons, uID 0, 1, 2
void OnSampleTimer(HWND hwnd);     // read, push, render, modify all three with the tooltip
void RemoveStripIcons(HWND hwnd);  // delete all three
