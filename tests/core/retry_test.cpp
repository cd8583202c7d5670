// How long a refusing system is left alone: a second, then twice as long after each further
// refusal in a row, up to about a minute.
#include "core/retry.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// The waits after `refusals` refusals in a row, each retried as soon as it is due.
std::vector<uint32_t> Waits(uint32_t start, int refusals)
{
    RetryWait r{};
    std::vector<uint32_t> waits;
    uint32_t now = start;
    for (int i = 0; i < refusals; ++i) {
        EXPECT_TRUE(RetryDue(r, now));
        RetryRefused(r, now);
        uint32_t waited = 0;
        while (!RetryDue(r, now)) {
            now += 100;
            waited += 100;
        }
        waits.push_back(waited);
    }
    return waits;
}

TEST(RetryWait, DoublesFromASecondUpToAboutAMinute)
{
    const std::vector<uint32_t> expected = {1000, 2000, 4000, 8000, 16000, 32000, 64000, 64000, 64000};
    EXPECT_EQ(Waits(0, 9), expected);
    EXPECT_EQ(Waits(0xFFFFF000u, 9), expected) << "across the clock's wrap";
}

TEST(RetryWait, ASuccessStartsOverAndAnEndedWaitKeepsDoubling)
{
    RetryWait r{};
    EXPECT_TRUE(RetryDue(r, 0)) << "nothing refused yet";
    RetryRefused(r, 0);
    RetryRefused(r, 1000);
    EXPECT_FALSE(RetryDue(r, 2999));
    EXPECT_TRUE(RetryDue(r, 3000));

    // Something says the system may take it now (a new shell, the user at an icon): due at once,
    // and a further refusal waits longer than the last.
    RetryRefused(r, 3000);
    RetryEndWait(r);
    EXPECT_TRUE(RetryDue(r, 3001));
    RetryRefused(r, 3001);
    EXPECT_FALSE(RetryDue(r, 3001 + 7999));
    EXPECT_TRUE(RetryDue(r, 3001 + 8000));

    // Taken: the next refusal waits a second again.
    RetrySucceeded(r);
    EXPECT_TRUE(RetryDue(r, 3001));
    RetryRefused(r, 20000);
    EXPECT_FALSE(RetryDue(r, 20999));
    EXPECT_TRUE(RetryDue(r, 21000));
}

}  // namespace
