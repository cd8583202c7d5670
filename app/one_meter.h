// One meter a session: a second start brings the running meter's dialog forward and ends.
#pragma once

#include <windows.h>

// Whether this process is the session's meter and goes on to run. When another meter runs in the
// session, it has been asked to show its dialog and come to the front, as its Properties item
// does, and has handled that by the time this returns false; this process then ends at once. A
// meter that is still starting is waited for, a few seconds at most. Makes no window, writes no
// registry value.
bool ClaimTheSessionsMeter();

// Tells later starts which dialog to bring forward: called by the meter dialog once it is set up.
void PublishMeterWindow(HWND hwnd);

// What the running meter publishes in the named memory (also read by the tests' helper): its
// process at once, its dialog once that is set up. The handle of a dialog that is gone can later
// name another window; only a dialog of the meter's own process, with the meter dialog's caption,
// is taken for its dialog and sent the command.
struct MeterSlot {
    volatile LONG window;    // the meter dialog, 0 until it is set up
    volatile DWORD process;  // the meter's process id
};

// "Local\" puts the name in the session's own namespace: another user's session or a remote
// session runs a meter of its own. Windows 95 and NT 4 know one namespace only and refuse a
// backslash in a name; where that name is refused, the plain name is the only session's.
constexpr char METER_SLOT_NAME[] = "Local\\Cyclowisp meter";
constexpr char METER_SLOT_PLAIN_NAME[] = "Cyclowisp meter";
