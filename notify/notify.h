// The three notification icons that carry the graph, and the sample cycle that refreshes them.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <cstdint>

// The icons' callback message to the meter dialog: mouse events, the mouse message in lParam.
constexpr UINT WM_NOTIFYICON = WM_APP + 100;

// The module whose icons these are; set once by WinMain.
extern HINSTANCE g_hInstance;

void AddStripIcons(HWND hwnd);      // the three baseline icons, uID 0, 1, 2
void OnSampleTimer(HWND hwnd);      // read, push, render, modify all three with the tooltip
void RemoveStripIcons(HWND hwnd);   // delete all three
void RestoreStripIcons(HWND hwnd);  // add all three again, current picture and last tooltip

// The sample cycle's modify record for one tick, all but uID and hIcon: the classic 88-byte
// ANSI size, hwnd, NIF_ICON | NIF_TIP and the tooltip, "<usage as signed 32-bit> %", or an
// empty tooltip when the read failed (usage then holds no reading).
void FillSampleRecord(NOTIFYICONDATAA& record, HWND hwnd, bool haveReading, uint32_t usage);
