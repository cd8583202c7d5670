// Who can see the notification area, from the reports of the session, the display and the power.
#include "core/visibility.h"

void ApplySeenEvent(Visibility& v, SeenEvent event)
{
    switch (event) {
    case SeenEvent::Lock: v.locked = true; break;
    case SeenEvent::Unlock: v.locked = false; break;
    case SeenEvent::Disconnect: v.disconnected = true; break;
    case SeenEvent::Connect: v.disconnected = false; break;
    case SeenEvent::DisplayOff: v.displayOff = true; break;
    case SeenEvent::DisplayOn: v.displayOff = false; break;
    case SeenEvent::Suspend: v.suspended = true; break;
    case SeenEvent::Resume: v.suspended = false; break;
    case SeenEvent::Noticed: v = Visibility{}; break;
    case SeenEvent::None: break;
    }
}

SeenEvent SessionChangeEvent(uint32_t code)
{
    switch (code) {
    case 1:  // WTS_CONSOLE_CONNECT
    case 3:  // WTS_REMOTE_CONNECT
        return SeenEvent::Connect;
    case 2:  // WTS_CONSOLE_DISCONNECT
    case 4:  // WTS_REMOTE_DISCONNECT
        return SeenEvent::Disconnect;
    case 7: return SeenEvent::Lock;    // WTS_SESSION_LOCK
    case 8: return SeenEvent::Unlock;  // WTS_SESSION_UNLOCK
    }
    return SeenEvent::None;
}

SeenEvent PowerEvent(uint32_t code)
{
    switch (code) {
    case 4: return SeenEvent::Suspend;  // PBT_APMSUSPEND
    case 6:                             // PBT_APMRESUMECRITICAL
    case 7:                             // PBT_APMRESUMESUSPEND
    case 0x12:                          // PBT_APMRESUMEAUTOMATIC
        return SeenEvent::Resume;
    }
    return SeenEvent::None;
}

SeenEvent DisplayStateEvent(bool haveValue, uint32_t state)
{
    if (!haveValue) return SeenEvent::None;
    if (state == 0) return SeenEvent::DisplayOff;
    if (state == 1 || state == 2) return SeenEvent::DisplayOn;
    return SeenEvent::None;
}

SeenEvent MonitorPowerEvent(bool haveValue, uint32_t state)
{
    if (!haveValue || state > 1) return SeenEvent::None;
    return state == 0 ? SeenEvent::DisplayOff : SeenEvent::DisplayOn;
}
