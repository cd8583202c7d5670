// The real meter dialog template created modelessly with a test dialog procedure that counts ticks.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include "res/resource.h"

// Ticks of timer 0 that reached the dialog, and of any other timer id.
inline int g_timer0Ticks;
inline int g_otherTimerTicks;

inline INT_PTR CALLBACK CountingDlgProc(HWND, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_TIMER) {
        ++(wParam == 0 ? g_timer0Ticks : g_otherTimerTicks);
        return TRUE;
    }
    return message == WM_INITDIALOG;
}

// cyclowis.exe imports shell32 for its notification icons, and loading shell32 loads the common
// controls, which register the trackbar class of the meter dialog's slider. Taking the address
// of one shell32 function gives this test program the same import and so the same registration.
inline BOOL(WINAPI* volatile g_keepShell32Import)(DWORD, PNOTIFYICONDATAA) = Shell_NotifyIconA;

inline HWND CreateMeterDialog()
{
    g_timer0Ticks = 0;
    g_otherTimerTicks = 0;
    return CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_METER), nullptr,
                              CountingDlgProc, 0);
}

// Dispatches messages until done() holds or timeoutMs has passed; returns done().
template <typename Done>
bool PumpUntil(Done done, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        if (done()) return true;
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
    }
}

inline void PumpFor(DWORD ms)
{
    PumpUntil([] { return false; }, ms);
}
