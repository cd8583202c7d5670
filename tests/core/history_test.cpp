// Usage history: the ring's scans, the push's result and the headroom scale.
#include "core/history.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<int32_t> Scan()
{
    std::vector<int32_t> values;
    HistoryRewind();
    for (int i = 0; i < HISTORY_LENGTH; ++i) {
        values.push_back(HistoryPeek());
        HistoryStep();
    }
    return values;
}

std::vector<int32_t> Idle(int count)
{
    return std::vector<int32_t>(count, 15);
}

std::vector<int32_t> Concat(std::vector<int32_t> a, const std::vector<int32_t>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(History, ScanAfterResetIsAllIdle)
{
    HistoryReset();
    EXPECT_EQ(Scan(), Idle(48));
}

TEST(History, PushesAppearNewestLastAndReturnTheWriteIndex)
{
    HistoryReset();
    EXPECT_EQ(HistoryPush(9), 0);
    EXPECT_EQ(Scan(), Concat(Idle(47), {9}));
    EXPECT_EQ(HistoryPush(4), 1);
    EXPECT_EQ(Scan(), Concat(Idle(46), {9, 4}));
}

TEST(History, FortyEightPushesReplaceEveryIdleValueAndTheNextDropsTheFirst)
{
    HistoryReset();
    std::vector<int32_t> pushed;
    for (int i = 0; i < 48; ++i) {
        pushed.push_back(100 + i);
        EXPECT_EQ(HistoryPush(100 + i), i);
    }
    EXPECT_EQ(Scan(), pushed);

    HistoryPush(-1);
    std::vector<int32_t> expected(pushed.begin() + 1, pushed.end());
    expected.push_back(-1);
    EXPECT_EQ(Scan(), expected);
}

TEST(History, ResetDuringUseStartsOverAndScansAreRepeatable)
{
    HistoryReset();
    for (int i = 0; i < 70; ++i) HistoryPush(i % 16);
    HistoryReset();
    HistoryPush(3);
    EXPECT_EQ(Scan(), Concat(Idle(47), {3}));
    EXPECT_EQ(Scan(), Concat(Idle(47), {3}));
}

TEST(History, StepWrapsAfterTheLastSlot)
{
    EXPECT_EQ(HistoryWrap(0), 1);
    EXPECT_EQ(HistoryWrap(46), 47);
    EXPECT_EQ(HistoryWrap(47), 0);
}

TEST(Headroom, MatchesTheBandsOfTheGraph)
{
    // Each band's first and last reading, the edges of the scale, and wrapped readings above 100.
    const struct {
        uint32_t usage;
        int32_t headroom;
    } cases[] = {
        {0, 15},   {2, 15},   {3, 14},   {9, 14},   {10, 13},  {15, 13},  {16, 12},  {22, 12},
        {23, 11},  {28, 11},  {29, 10},  {35, 10},  {36, 9},   {37, 9},   {41, 9},   {42, 8},
        {48, 8},   {49, 7},   {54, 7},   {55, 6},   {61, 6},   {62, 5},   {67, 5},   {68, 4},
        {74, 4},   {75, 3},   {80, 3},   {81, 2},   {87, 2},   {88, 1},   {93, 1},   {94, 0},
        {100, 0},  {101, 660764199},     {102, 660764199},     {0x80000000u, 330382115},
        {4294967292u, 16},   {4294967293u, 15},    {4294967294u, 15},    {4294967295u, 15},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.usage);
        EXPECT_EQ(HeadroomFromUsage(c.usage), c.headroom);
    }
}

// Every 32-bit reading: the integer quotient against the double-precision product it replaces.
// Runs natively only (several seconds; far longer under a sanitizer or an emulator).
TEST(HeadroomExhaustive, IntegerQuotientEqualsTheDoubleFormulaForEveryReading)
{
    uint64_t mismatches = 0;
    uint32_t first = 0;
    uint32_t usage = 0;
    do {
        const uint32_t free = 100u - usage;
        const auto expected = static_cast<int32_t>(static_cast<double>(uint64_t{free}) * 0.15384615384615385);
        if (HeadroomFromUsage(usage) != expected && mismatches++ == 0) first = usage;
    } while (++usage != 0);
    EXPECT_EQ(mismatches, 0u) << "first mismatch at reading " << first;
}

}  // namespace
