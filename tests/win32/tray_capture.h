// The notification area as a user sees it: its icon windows and the pixels of their icons, in
// Wine's own tray window or docked into an X system tray panel (such as a dark one).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The 32-bit pixels (0x00RRGGBB) of a screen rectangle, top row first; zeros where the screen
// could not be read.
std::vector<DWORD> ReadScreen(int left, int top, int width, int height);

// The window Wine shows the notification icons in when no desktop tray runs on the display
// ("Wine System Tray"), or null. It exists only once an icon has been added, and hides while
// it holds none.
HWND FindWineTray();

// The tray's icon windows, left to right: the order in which their icons were added. Wine's own
// tray window's icons, or the icons docked into an X system tray, or both.
std::vector<HWND> TrayIconWindows();

// The icons as they are on the screen, left to right, each S rows of S characters ending in '\n',
// S being the size the shell draws them at (its slot's less 4 pixels: 16 at 96 DPI, 24 at 144):
// '.' the tray's background as its corner shows it (a transparent pixel), '#' black, 'W' white,
// '?' any other colour. Wine's tray window is repainted first, because it draws a changed
// icon over the old one without erasing it; the pixels come from the screen, so the tray must
// not be covered. Empty without icons.
std::vector<std::string> CaptureTrayIcons();

// Moves the mouse pointer over icon SLOT of the notification area (left to right, as TrayIconWindows()),
// waits up to timeoutMs for a tooltip window to show, and returns its text; returns "(none)" when no tooltip
// shows (an empty tooltip is not shown).
std::string HoverTooltip(size_t slot, DWORD timeoutMs = 5000);

// The texts of the tooltip windows shown on the screen right now, whoever shows them (balloons
// included).
std::vector<std::string> ShownTooltips();

// The texts of the notification balloons shown on the screen right now. (Their titles stay
// unknown: Wine's tooltip control does not answer TTM_GETTITLE.)
std::vector<std::string> ShownBalloons();

// Icons first..first+count-1 of a capture side by side: S rows of S x count characters (each
// picture's own rows, blanks below a shorter one). A message saying how many icons there were
// when the capture has fewer.
std::string SideBySide(const std::vector<std::string>& icons, size_t first, size_t count);

// Whether the shell holds icon id of owner: a modify that changes nothing succeeds exactly then.
bool TrayHoldsIcon(HWND owner, UINT id);
