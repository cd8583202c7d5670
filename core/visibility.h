// Whether anybody can see the notification area: the session's lock, its connection, the
// display's power and the machine's sleep, as Windows reports them, decided from plain numbers.
// While nobody can, the meter makes no shell call at all: every call makes the shell redraw the
// taskbar, which keeps a laptop's graphics awake for nothing.
#pragma once

#include <cstdint>

// What Windows reported, as far as it matters to seeing.
enum class SeenEvent {
    None,        // nothing that changes who can see
    Lock,        // the session was locked
    Unlock,
    Disconnect,  // the session left the console, or its remote client went
    Connect,     // the session is on the console, or a remote client, again
    DisplayOff,  // this session's display went off
    DisplayOn,   // ... came on, or dimmed: a dimmed display is still seen
    Suspend,     // the machine goes to sleep
    Resume,      // ... woke up; a reading across the sleep would be meaningless
    Noticed,     // the user used an icon, the shell restarted or the dialog was shown: it is seen
};

// Each reason not to be seen, on its own, so that the end of one does not hide another: a
// session unlocked while its display is still off stays unseen. The meter starts as seen.
struct Visibility {
    bool locked;
    bool disconnected;
    bool displayOff;
    bool suspended;
};

inline bool IsSeen(const Visibility& v)
{
    return !v.locked && !v.disconnected && !v.displayOff && !v.suspended;
}

// Applies one report. Noticed ends every reason at once: a report that was missed (an unlock
// that never came) must never keep the graph frozen once the user evidently sees it.
void ApplySeenEvent(Visibility& v, SeenEvent event);

// WM_WTSSESSION_CHANGE's code (its wParam) for this session: console and remote connects and
// disconnects, lock and unlock; the other codes (logon, logoff, remote control, ...) say nothing.
SeenEvent SessionChangeEvent(uint32_t code);

// WM_POWERBROADCAST's event (its wParam): the suspend and the three kinds of resume.
SeenEvent PowerEvent(uint32_t code);

// The display-state value of a power-setting notification (0 off, 1 on, 2 dimmed), given only
// when it is a whole 4-byte value: anything else says nothing.
SeenEvent DisplayStateEvent(bool haveValue, uint32_t state);

// The same for the monitor's power, which Windows Vista and 7 report instead (0 off, 1 on): it
// knows no dimmed state, so any other value says nothing.
SeenEvent MonitorPowerEvent(bool haveValue, uint32_t state);
