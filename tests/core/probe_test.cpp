// Which icon to ask the shell about on a tick: one at most, in turn, once it has gone a second
// without an accepted call.
#include "core/probe.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(Probe, TheIconUntouchedLongestIsAskedAboutOnceItIsDue)
{
    const struct {
        const char* what;
        uint32_t lastAccepted[STRIP_ICONS];
        uint32_t now;
        int icon;
    } cases[] = {
        {"all just accepted", {5000, 5000, 5000}, 5000, -1},
        {"none due yet", {5000, 5000, 5000}, 5999, -1},
        {"all due: the lowest number", {5000, 5000, 5000}, 6000, 0},
        {"only icon 2 due", {5500, 5400, 4000}, 5900, 2},
        {"the longest waiting of two due", {1000, 500, 900}, 2000, 1},
        {"icon 0 just asked, the others due", {6000, 5000, 5000}, 6100, 1},
        // The clock wraps after 49.7 days: elapsed time is counted modulo 2^32.
        {"across the wrap, due", {0xFFFFFF00u, 0xFFFFFF00u, 100}, 1000, 0},
        {"across the wrap, not due", {0xFFFFFF00u, 50, 100}, 500, -1},
    };
    for (const auto& c : cases) EXPECT_EQ(IconToProbe(c.lastAccepted, c.now), c.icon) << c.what;
}

// A still graph at the shortest delay: no call but the questions. Each icon is asked about
// about once a second, never two in one tick, and a lost icon is asked about within a second
// and a tick.
TEST(Probe, AStillGraphAsksAboutEachIconInTurnAboutOnceASecond)
{
    for (uint32_t period : {100u, 500u, 1000u, 5000u}) {
        SCOPED_TRACE(period);
        uint32_t lastAccepted[STRIP_ICONS] = {0, 0, 0};
        std::vector<uint32_t> asked[STRIP_ICONS];
        for (uint32_t now = period; now <= 60000; now += period) {
            const int id = IconToProbe(lastAccepted, now);
            if (id < 0) continue;
            asked[id].push_back(now);
            lastAccepted[id] = now;
        }
        for (int id = 0; id < STRIP_ICONS; ++id) {
            ASSERT_GE(asked[id].size(), 2u) << "icon " << id;
            for (size_t i = 1; i < asked[id].size(); ++i) {
                const uint32_t gap = asked[id][i] - asked[id][i - 1];
                EXPECT_GE(gap, PROBE_AGE_MS) << "icon " << id;
                // At most a second plus the two other icons' turns, or three ticks at long delays.
                EXPECT_LE(gap, period >= PROBE_AGE_MS ? 3 * period : PROBE_AGE_MS + 3 * period) << "icon " << id;
            }
        }
    }
}

}  // namespace
