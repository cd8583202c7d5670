// The order of the three icons on the taskbar, and when to ask the shell about it.
#include "core/iconorder.h"

IconOrder OrderFromPlaces(const IconPlace places[STRIP_ICONS], const IconOrder& last)
{
    const IconPlace& first = places[0];
    const int64_t width = int64_t{first.right} - first.left;
    const int64_t height = int64_t{first.bottom} - first.top;
    if (width <= 0 || height <= 0) return last;
    for (int id = 0; id < STRIP_ICONS; ++id) {
        const IconPlace& p = places[id];
        if (!p.known || p.top != first.top || p.bottom != first.bottom || int64_t{p.right} - p.left != width)
            return last;
    }
    // Ranks by the left edge; equal sizes on one row, so two that do not overlap lie a whole
    // width apart.
    IconOrder order = {};
    for (int id = 0; id < STRIP_ICONS; ++id) {
        for (int other = 0; other < STRIP_ICONS; ++other) {
            if (other == id) continue;
            const int64_t apart = int64_t{places[id].left} - places[other].left;
            if (apart > -width && apart < width) return last;  // overlapping, identical included
            if (apart > 0) ++order.slice[id];
        }
    }
    return order;
}

IconOrder ChosenOrder(uint32_t choice, const IconOrder& learned)
{
    return choice == ORDER_ADDING ? ADDING_ORDER : choice == ORDER_REVERSED ? REVERSED_ORDER : learned;
}

void StartOrderQuestions(OrderQuestions& q, uint32_t now)
{
    q.asked = now;
    q.wait = ORDER_PACE_MS;
}

void CueOrderQuestion(OrderQuestions& q, OrderCue cue, uint32_t now)
{
    const uint32_t since = now - q.asked;
    uint32_t wait;
    if (cue == OrderCue::Settle) wait = since + ORDER_SETTLE_MS;
    else wait = since > ORDER_MOUSE_GAP_MS ? since : ORDER_MOUSE_GAP_MS;
    if (wait < q.wait) q.wait = wait;
}

bool OrderQuestionDue(const OrderQuestions& q, uint32_t now)
{
    return now - q.asked >= q.wait;
}

void OrderAsked(OrderQuestions& q, uint32_t now)
{
    StartOrderQuestions(q, now);
}
