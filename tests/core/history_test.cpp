// Usage history: the ring's scans at every graph width, the push's result and the headroom scale
// at every icon size.
#include "core/history.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// The newest `columns` readings as the renderer sees them: headrooms at `size`, oldest first,
// the columns before the first sample the baseline.
std::vector<uint32_t> Scan(int columns, int size)
{
    std::vector<uint32_t> values;
    const int baseline = HistoryRewind(columns);
    for (int i = 0; i < columns; ++i) {
        values.push_back(i < baseline ? static_cast<uint32_t>(size - 1) : HeadroomFromUsage(HistoryPeek(), size));
        HistoryStep();
    }
    return values;
}

std::vector<uint32_t> Concat(std::vector<uint32_t> a, const std::vector<uint32_t>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<uint32_t> Repeat(int count, uint32_t value)
{
    return std::vector<uint32_t>(count, value);
}

TEST(History, ScanAfterResetIsTheBaselineAtEverySize)
{
    HistoryReset();
    EXPECT_EQ(Scan(48, 16), Repeat(48, 15));
    EXPECT_EQ(Scan(72, 24), Repeat(72, 23));
    EXPECT_EQ(Scan(HISTORY_LENGTH, 64), Repeat(HISTORY_LENGTH, 63));
}

TEST(History, PushesAppearNewestLastAndReturnTheWriteIndex)
{
    HistoryReset();
    EXPECT_EQ(HistoryPush(37), 1);  // headroom 9 at 16 pixels
    EXPECT_EQ(Scan(48, 16), Concat(Repeat(47, 15), {9}));
    EXPECT_EQ(HistoryPush(70), 2);  // headroom 4
    EXPECT_EQ(Scan(48, 16), Concat(Repeat(46, 15), {9, 4}));
    // The same readings at another size: the baseline and the bars follow its scale.
    EXPECT_EQ(Scan(72, 24), Concat(Repeat(70, 23), {14, 7}));
}

TEST(History, TheRingKeepsTheNewestReadingsForTheWidestGraph)
{
    HistoryReset();
    std::vector<uint32_t> pushed;
    for (int i = 0; i < HISTORY_LENGTH + 5; ++i) {
        const uint32_t usage = static_cast<uint32_t>(i % 101);
        pushed.push_back(HeadroomFromUsage(usage, 64));
        EXPECT_EQ(HistoryPush(usage), HistoryWrap(i % HISTORY_LENGTH));
    }
    // The widest graph shows the newest 192, the first five pushes gone; narrower ones the
    // newest of those.
    EXPECT_EQ(Scan(HISTORY_LENGTH, 64), std::vector<uint32_t>(pushed.begin() + 5, pushed.end()));
    std::vector<uint32_t> at16;
    for (int i = HISTORY_LENGTH + 5 - 48; i < HISTORY_LENGTH + 5; ++i) at16.push_back(HeadroomFromUsage(i % 101, 16));
    EXPECT_EQ(Scan(48, 16), at16);
}

TEST(History, ResetDuringUseStartsOverAndScansAreRepeatable)
{
    HistoryReset();
    for (int i = 0; i < 250; ++i) HistoryPush(100);
    HistoryReset();
    HistoryPush(100);
    EXPECT_EQ(Scan(96, 32), Concat(Repeat(95, 31), {0}));
    EXPECT_EQ(Scan(96, 32), Concat(Repeat(95, 31), {0}));
    EXPECT_EQ(Scan(48, 16), Concat(Repeat(47, 15), {0}));
}

TEST(History, StepWrapsAfterTheLastSlot)
{
    EXPECT_EQ(HistoryWrap(0), 1);
    EXPECT_EQ(HistoryWrap(HISTORY_LENGTH - 2), HISTORY_LENGTH - 1);
    EXPECT_EQ(HistoryWrap(HISTORY_LENGTH - 1), 0);
}

TEST(Headroom, MatchesTheBandsOfTheGraphAtSixteenPixels)
{
    // Each band's first and last reading, the edges of the scale, and wrapped readings above 100.
    const struct {
        uint32_t usage;
        uint32_t headroom;
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
        EXPECT_EQ(HeadroomFromUsage(c.usage, 16), c.headroom);
    }
}

TEST(Headroom, ScalesToEveryIconSize)
{
    // floor(2 (S - 1) (100 - u) / 195): idle is the bottom row, full load a full column, readings
    // above 100 wrap to an empty column, without overflow up to the largest d at 64 pixels.
    const struct {
        int size;
        uint32_t usage;
        uint32_t headroom;
    } cases[] = {
        {20, 0, 19},   {20, 2, 19},   {20, 3, 18},   {20, 50, 9},    {20, 94, 1},   {20, 95, 0},
        {20, 100, 0},  {20, 101, 836967985},         {20, 4294967293u, 20},         {20, 4294967295u, 19},
        {24, 0, 23},   {24, 1, 23},   {24, 3, 22},   {24, 37, 14},   {24, 96, 0},   {24, 95, 1},
        {24, 101, 1013171772},        {24, 4294967293u, 24},
        {32, 0, 31},   {32, 5, 30},   {32, 6, 29},   {32, 50, 15},   {32, 97, 0},   {32, 96, 1},
        {32, 101, 1365579345},        {32, 4294967295u, 32},
        // From 40 pixels on the scale reaches past the top for idle readings: still the baseline.
        {40, 0, 39},   {40, 1, 39},   {48, 0, 47},   {64, 0, 63},    {64, 1, 63},   {64, 2, 63},
        {64, 3, 62},   {64, 100, 0},  {64, 101, 2775209636u},        {64, 4294967295u, 65},
        // Sizes outside 16..64 are taken as the nearest one.
        {8, 0, 15},    {8, 3, 14},    {100, 0, 63},  {100, 3, 62},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "size " << c.size << ", usage " << c.usage);
        EXPECT_EQ(HeadroomFromUsage(c.usage, c.size), c.headroom);
    }
}

TEST(Headroom, NoReadingOfZeroToAHundredLeavesItsColumnEmptyAtAnySize)
{
    for (int size = MIN_ICON_SIZE; size <= MAX_ICON_SIZE; ++size) {
        for (uint32_t usage = 0; usage <= 100; ++usage) {
            const uint32_t k = 2u * static_cast<uint32_t>(size - 1);
            const uint32_t exact = k * (100u - usage) / 195u;
            const uint32_t expected = exact < static_cast<uint32_t>(size) ? exact : static_cast<uint32_t>(size - 1);
            ASSERT_EQ(HeadroomFromUsage(usage, size), expected) << "size " << size << ", usage " << usage;
        }
    }
}

// Every 32-bit reading at 16 pixels: the integer quotient against the double-precision product
// of the original scale. Runs natively only (several seconds; far longer under a sanitizer or an
// emulator).
TEST(HeadroomExhaustive, SixteenPixelsEqualsTheDoubleFormulaForEveryReading)
{
    uint64_t mismatches = 0;
    uint32_t first = 0;
    uint32_t usage = 0;
    do {
        const uint32_t idle = 100u - usage;
        const auto expected = static_cast<uint32_t>(static_cast<double>(uint64_t{idle}) * 0.15384615384615385);
        if (HeadroomFromUsage(usage, 16) != expected && mismatches++ == 0) first = usage;
    } while (++usage != 0);
    EXPECT_EQ(mismatches, 0u) << "first mismatch at reading " << first;
}

}  // namespace
