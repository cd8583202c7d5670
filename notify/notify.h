// The three notification icons that carry the graph, and the sample cycle that refreshes them.
// They are drawn at the size the taskbar shows, one pixel column per sample, in bars that stand
// out from the taskbar, each icon the third of the graph that its place on the taskbar calls for,
// and the shell hears only what changed. While nobody can see them (a locked session, a display
// that is off, a sleeping machine) the graph goes on filling, and the shell hears nothing until
// somebody can; after the shell refused a call, it is left alone for a while.
#pragma once

#include <windows.h>

#include <cstdint>

#include "core/iconorder.h"
#include "core/visibility.h"
#include "notify/shell.h"
#include "notify/taskbar.h"

void AddStripIcons(HWND hwnd);       // the three baseline icons, uID 0, 1, 2, at the taskbar's size and colour
void OnSampleTimer(HWND hwnd);       // read, push; send the shell what changed, or ask after one icon
void RemoveStripIcons(HWND hwnd);    // delete all three; from then on nothing reaches the shell
void RestoreStripIcons(HWND hwnd);   // a new shell: measure again, delete and add all three with the current picture
void FollowTaskbar(HWND hwnd);       // measure the icon size, decide the bar colour and read "Order" again; redraw on a change

// A mouse message from any of the icons: somebody sees them, a wait after a refusal ends, and
// the shell is asked soon where the icons are (the user may be dragging one).
void FollowIconMouse(HWND hwnd);

// A balloon from the right-most icon, once, at start: only while the icons are seen, never in the
// middle of a round, never retried.
void ShowStripHint(HWND hwnd, const char* title, const char* text);

// A report of who can see the icons (a lock, a display turned off, a suspend, a mouse message
// from an icon, ...). Becoming seen again brings the icons to the current picture at once and
// asks the shell whether it still holds them; a resume starts the next reading afresh.
void FollowSeen(HWND hwnd, SeenEvent event);
// Windows' own messages about the session and the power, decoded into such reports.
void OnSessionChange(HWND hwnd, WPARAM code);
void OnPowerBroadcast(HWND hwnd, WPARAM event, LPARAM data);

// The icon size in pixels that the icons are drawn at now (16 at 100 % display scaling), and
// whether they are seen.
int StripIconSize();
bool StripIconsSeen();

// The third of the graph that each icon shows now.
IconOrder StripIconOrder();

// Where the sample cycle takes its readings: the processor statistic by default; tests put a
// reading of their own making here.
extern bool (*g_usageSource)(uint32_t& usage);
