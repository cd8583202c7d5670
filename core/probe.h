// When to ask the shell whether it still holds an icon that no call has touched for a while. The
// shell can lose an icon without a word; a tick that changes nothing sends nothing, so on a still
// graph only such a question notices the loss.
#pragma once

#include <cstdint>

#include "core/history.h"

// An icon is asked about once no call of the shell's has accepted it for this long: on a still
// graph every icon about once a second, a lost one noticed within about a second.
constexpr uint32_t PROBE_AGE_MS = 1000;

// The icon to ask about at time now (milliseconds of a clock that wraps, such as GetTickCount):
// of the icons whose last accepted call lies PROBE_AGE_MS or more in the past, the one that has
// waited longest (the lowest number among equals); -1 when none has. Asking about one icon a
// tick at most keeps a still graph nearly free: in turn, 0, 1, 2.
inline int IconToProbe(const uint32_t lastAccepted[STRIP_ICONS], uint32_t now)
{
    int due = -1;
    uint32_t longest = 0;
    for (int id = 0; id < STRIP_ICONS; ++id) {
        const uint32_t waited = now - lastAccepted[id];
        if (waited >= PROBE_AGE_MS && (due < 0 || waited > longest)) {
            due = id;
            longest = waited;
        }
    }
    return due;
}
