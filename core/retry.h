// How long to leave a refusing system alone before trying again: a second after the first
// refusal, twice as long after each further one in a row, up to about a minute. Times are
// milliseconds of a clock that wraps (GetTickCount).
#pragma once

#include <cstdint>

constexpr uint32_t FIRST_RETRY_MS = 1000;
constexpr uint32_t RETRY_LIMIT_MS = 64000;

struct RetryWait {
    bool waiting;
    uint32_t since;  // the refusal that started the wait
    uint32_t wait;   // how long this wait lasts; 0 after a success
};

// A refusal at `now`: wait from now, twice as long as after the refusal before, if any.
inline void RetryRefused(RetryWait& r, uint32_t now)
{
    r.wait = r.wait == 0 ? FIRST_RETRY_MS : r.wait >= RETRY_LIMIT_MS / 2 ? RETRY_LIMIT_MS : 2 * r.wait;
    r.since = now;
    r.waiting = true;
}

// Taken: no wait, and the next refusal waits the first wait again.
inline void RetrySucceeded(RetryWait& r)
{
    r = RetryWait{};
}

// The wait ends early (something says the system may take it now); a further refusal still
// waits longer than this one did.
inline void RetryEndWait(RetryWait& r)
{
    r.waiting = false;
}

inline bool RetryDue(const RetryWait& r, uint32_t now)
{
    return !r.waiting || now - r.since >= r.wait;
}
