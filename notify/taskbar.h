// What the taskbar looks like to the meter: the size it draws notification icons at and the
// colour the bars need to stand out on it. Asked at start, when a new shell comes, and on the
// messages after which either may change; never on a tick.
#pragma once

#include <windows.h>

struct TaskbarLook {
    int size;    // pixels square: the taskbar's small-icon size, within 16..64
    bool white;  // white bars where black ones would not stand out
};

TaskbarLook MeasureTaskbar();

// The small-icon size at the DPI of the taskbar, which is what the notification area draws its
// icons at; the system's small-icon size where the taskbar's DPI is unknown.
int TaskbarIconSize();

// Where the icon size comes from: TaskbarIconSize by default. Wine reads a process's DPI once, so
// tests put their own source here to change the size under a running meter.
extern int (*g_iconSizeSource)();

// Where TaskbarIconSize learns the taskbar's DPI: by default the DPI of the "Shell_TrayWnd"
// window where Windows can tell it (Windows 10 1607 and later), else 0. Tests put their own here.
extern UINT (*g_taskbarDpiSource)();
UINT TaskbarWindowDpi();
