// Which third of the graph each of the three icons shows: the order the taskbar shows them in,
// learned from the rectangles the shell reports or fixed by the user; and when to ask the shell.
// The shell, not the program, decides where notification icons go, and the user may drag them:
// uID 0 need not stand left of 1, nor 1 left of 2.
#pragma once

#include <cstdint>

#include "core/history.h"

// One icon's rectangle on the screen, as the shell reported it; `known` is false where the
// shell could not tell.
struct IconPlace {
    bool known;
    int32_t left, top, right, bottom;
};

// slice[id]: the third of the graph that icon id shows, 0 the oldest, 2 the newest.
struct IconOrder {
    uint8_t slice[STRIP_ICONS];
};

inline bool operator==(const IconOrder& a, const IconOrder& b)
{
    for (int id = 0; id < STRIP_ICONS; ++id)
        if (a.slice[id] != b.slice[id]) return false;
    return true;
}
inline bool operator!=(const IconOrder& a, const IconOrder& b)
{
    return !(a == b);
}

// The order of adding, uID 0 oldest, which the meter assumes until it learns better; and its
// reverse.
constexpr IconOrder ADDING_ORDER = {{0, 1, 2}};
constexpr IconOrder REVERSED_ORDER = {{2, 1, 0}};

// The order the shell shows the icons in, by their left edges, the left-most icon the oldest
// third: when all three places are known, distinct, of one size and on one row, side by side
// without overlapping. Any other report says nothing about the order and keeps `last`: a call
// that failed (a shell without the call), the icons in a closed overflow flyout (every rectangle
// is the flyout button's), icons in a column or in two rows.
IconOrder OrderFromPlaces(const IconPlace places[STRIP_ICONS], const IconOrder& last);

// The user's own word, the stored value "Order": anything but these two means automatic.
constexpr uint32_t ORDER_AUTOMATIC = 0;
constexpr uint32_t ORDER_ADDING = 1;    // always the order of adding: uID 0 shows the oldest third
constexpr uint32_t ORDER_REVERSED = 2;  // always the reverse: uID 2 shows the oldest third

// The order to draw in: the user's choice, else the order learned.
IconOrder ChosenOrder(uint32_t choice, const IconOrder& learned);

// When to ask the shell where the icons are. Asking costs three calls to the shell, so the
// meter asks a little after icons were added (the shell places them meanwhile) or the display
// or the settings changed, soon after the user's mouse was over an icon (dragging an icon sends
// such messages, so at most once a second), and otherwise at a slow pace. Times are
// milliseconds of a clock that wraps (GetTickCount).
constexpr uint32_t ORDER_SETTLE_MS = 1000;
constexpr uint32_t ORDER_MOUSE_GAP_MS = 1000;
constexpr uint32_t ORDER_PACE_MS = 10000;

struct OrderQuestions {
    uint32_t asked;  // when the last question was asked
    uint32_t wait;   // how long after it the next one is due
};

enum class OrderCue {
    Settle,  // icons were added, or the display or the settings changed
    Mouse,   // the user's mouse was over an icon
};

// No question asked yet at `now`: the next is due at the slow pace, unless a cue comes sooner.
void StartOrderQuestions(OrderQuestions& q, uint32_t now);
// Brings the next question forward for a cue at `now`; never puts it off.
void CueOrderQuestion(OrderQuestions& q, OrderCue cue, uint32_t now);
bool OrderQuestionDue(const OrderQuestions& q, uint32_t now);
// A question was asked at `now`: the next is due at the slow pace.
void OrderAsked(OrderQuestions& q, uint32_t now);
