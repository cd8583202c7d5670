// The application shell: module-level handles, private messages and the dialog procedures.
#pragma once

#include <windows.h>

#include "stats/stats.h"  // the statistic that the entry primes and the dialog follows

// Posted by the meter dialog to itself during initialisation: hide once the dialog is set up.
constexpr UINT WM_HIDEMETER = WM_APP + 101;

// Submenu 0 of the popup menu resource; loaded once by WinMain, used for the whole run.
extern HMENU g_hPopupMenu;

INT_PTR CALLBACK MeterDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// The icons' popup menu at the mouse position; its command arrives as WM_COMMAND to hwnd.
void ShowPopupMenu(HWND hwnd);
