// The order of the three icons: learned from the rectangles the shell reports, or fixed by the
// user; and the pace of the questions.
#include "core/iconorder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// An icon of 24 pixels at x on the row at y; one the shell could not tell of.
IconPlace At(int32_t x, int32_t y = 1040, int32_t size = 24)
{
    return {true, x, y, x + size, y + size};
}
const IconPlace UNKNOWN = {false, 0, 0, 0, 0};

std::string Slices(const IconOrder& order)
{
    std::string text;
    for (uint8_t slice : order.slice) text += static_cast<char>('0' + slice);
    return text;
}

TEST(IconOrder, TheLeftMostIconShowsTheOldestThirdWhereTheShellTellsThePlacesPlainly)
{
    const IconOrder last = {{1, 2, 0}};  // learned before, kept where the report says nothing
    const struct {
        const char* what;
        IconPlace places[STRIP_ICONS];
        const char* slices;  // slice of uID 0, 1, 2
    } cases[] = {
        {"0-1-2, as added", {At(800), At(824), At(848)}, "012"},
        {"2-1-0, as a taskbar placing from the right", {At(848), At(824), At(800)}, "210"},
        {"1-0-2", {At(824), At(800), At(848)}, "102"},
        {"gaps between the icons", {At(900), At(700), At(800)}, "201"},
        {"touching edges are side by side", {At(0), At(-24), At(24)}, "102"},
        {"on a second screen left of the first", {At(-100), At(-148), At(-124)}, "201"},
        {"32-pixel icons", {At(832, 0, 32), At(800, 0, 32), At(864, 0, 32)}, "102"},
        // The closed overflow flyout: every icon reported at the flyout button.
        {"identical rectangles", {At(760), At(760), At(760)}, "120"},
        {"two rows", {At(800), At(824), At(800, 1064)}, "120"},
        {"a column", {At(800, 1000), At(800, 1024), At(800, 1048)}, "120"},
        {"overlapping", {At(800), At(810), At(848)}, "120"},
        {"unequal sizes", {At(800), At(824, 1040, 20), At(848)}, "120"},
        {"shifted off the row", {At(800), At(824, 1041), At(848)}, "120"},
        {"one call failed", {At(800), UNKNOWN, At(848)}, "120"},
        {"no call answered", {UNKNOWN, UNKNOWN, UNKNOWN}, "120"},
        {"empty rectangles", {At(800, 1040, 0), At(824, 1040, 0), At(848, 1040, 0)}, "120"},
        {"inverted rectangles", {{true, 824, 1064, 800, 1040}, {true, 848, 1064, 824, 1040}, {true, 872, 1064, 848, 1040}},
         "120"},
        // Coordinates at the ends of the range: widths computed without overflow.
        {"far apart at the ends of the range", {At(INT32_MAX - 24), At(INT32_MIN), At(0)}, "201"},
        {"a rectangle wider than the range", {{true, INT32_MIN, 0, INT32_MAX, 24}, At(0, 0), At(30, 0)}, "120"},
    };
    for (const auto& c : cases) EXPECT_EQ(Slices(OrderFromPlaces(c.places, last)), c.slices) << c.what;
}

TEST(IconOrder, TheUsersWordOverridesWhatTheShellTold)
{
    const IconOrder learned = {{2, 0, 1}};
    const struct {
        uint32_t choice;
        const char* slices;
    } cases[] = {
        {ORDER_AUTOMATIC, "201"}, {ORDER_ADDING, "012"}, {ORDER_REVERSED, "210"}, {3, "201"}, {0xFFFFFFFFu, "201"},
    };
    for (const auto& c : cases) EXPECT_EQ(Slices(ChosenOrder(c.choice, learned)), c.slices) << "Order " << c.choice;
}

// Questions at 100 ms ticks from `start` over `ms`, with cues at the given times (relative to
// start): the times (relative to start) at which a question was asked.
std::vector<uint32_t> Questions(uint32_t start, uint32_t ms, const std::vector<std::pair<uint32_t, OrderCue>>& cues)
{
    OrderQuestions q;
    StartOrderQuestions(q, start);
    std::vector<uint32_t> asked;
    size_t next = 0;
    for (uint32_t t = 0; t <= ms; t += 100) {
        for (; next < cues.size() && cues[next].first <= t; ++next) CueOrderQuestion(q, cues[next].second, start + t);
        if (OrderQuestionDue(q, start + t)) {
            OrderAsked(q, start + t);
            asked.push_back(t);
        }
    }
    return asked;
}

TEST(IconOrder, TheShellIsAskedAfterAddsAfterTheMouseAndOtherwiseEveryTenSeconds)
{
    using C = OrderCue;
    using T = std::vector<uint32_t>;
    // A still graph: every ten seconds.
    EXPECT_EQ(Questions(5000, 30000, {}), (T{10000, 20000, 30000}));
    // Icons added at start: a second later, then at the pace.
    EXPECT_EQ(Questions(5000, 25000, {{0, C::Settle}}), (T{1000, 11000, 21000}));
    // A cue never puts a question off: one due at 10 s stays there after a settle cue at 9.5 s.
    EXPECT_EQ(Questions(0, 10000, {{9500, C::Settle}}), (T{10000}));
    // The mouse over an icon long after a question: at once.
    EXPECT_EQ(Questions(0, 12000, {{5000, C::Mouse}}), (T{5000}));
    // Dragging: mouse messages every 100 ms for 3 s ask once a second, and once more right
    // after the last one (the drop) at most a second later.
    std::vector<std::pair<uint32_t, OrderCue>> drag;
    for (uint32_t t = 4000; t <= 7300; t += 100) drag.push_back({t, C::Mouse});
    EXPECT_EQ(Questions(0, 9000, drag), (T{4000, 5000, 6000, 7000, 8000}));
    // The clock wraps after 49.7 days: counted modulo 2^32.
    EXPECT_EQ(Questions(0xFFFFF000u, 21000, {{0, C::Settle}}), (T{1000, 11000, 21000}));
}

}  // namespace
