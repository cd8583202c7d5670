// Strip masks: the history drawn as three 16x16 AND masks, checked against pictures.
#include "core/strip.h"

#include "core/history.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Masks = std::array<unsigned char, STRIP_MASK_BYTES>;

Masks Render()
{
    Masks masks;
    masks.fill(0xA5);  // every byte must be written
    BuildStripMasks(masks.data());
    return masks;
}

void ResetWith(const std::vector<int32_t>& newestLast)
{
    HistoryReset();
    for (int32_t h : newestLast) HistoryPush(h);
}

// The three masks side by side as 16 rows of 48 characters: '#' black, '.' transparent.
std::string Picture(const Masks& masks)
{
    std::string text;
    for (int row = 0; row < ICON_SIZE; ++row) {
        for (int icon = 0; icon < STRIP_ICONS; ++icon) {
            const unsigned char* m = masks.data() + icon * ICON_MASK_BYTES + 2 * row;
            const unsigned word = (m[0] << 8) | m[1];
            for (int x = 0; x < ICON_SIZE; ++x) text += (word >> (15 - x)) & 1 ? '.' : '#';
        }
        text += '\n';
    }
    return text;
}

std::string Rows(std::initializer_list<const char*> rows)
{
    std::string text;
    for (const char* row : rows) text += std::string(row) + '\n';
    return text;
}

TEST(StripMasks, AfterResetEveryIconIsTheBaseline)
{
    HistoryReset();
    const Masks masks = Render();
    for (int icon = 0; icon < STRIP_ICONS; ++icon) {
        SCOPED_TRACE(icon);
        EXPECT_EQ(0, memcmp(masks.data() + icon * ICON_MASK_BYTES, BASELINE_AND_MASK, ICON_MASK_BYTES));
    }
    for (int i = 0; i < 30; ++i) EXPECT_EQ(BASELINE_AND_MASK[i], 0xFF);
    EXPECT_EQ(BASELINE_AND_MASK[30], 0x00);
    EXPECT_EQ(BASELINE_AND_MASK[31], 0x00);
}

TEST(StripMasks, NewestFullLoadFillsOnlyTheLastColumnOfIconTwo)
{
    ResetWith({0});
    const Masks masks = Render();
    EXPECT_EQ(0, memcmp(masks.data(), BASELINE_AND_MASK, ICON_MASK_BYTES));
    EXPECT_EQ(0, memcmp(masks.data() + 32, BASELINE_AND_MASK, ICON_MASK_BYTES));
    for (int row = 0; row < 16; ++row) {
        SCOPED_TRACE(row);
        EXPECT_EQ(masks[64 + 2 * row] , row < 15 ? 0xFF : 0x00);
        EXPECT_EQ(masks[64 + 2 * row + 1], row < 15 ? 0xFE : 0x00);
    }
}

TEST(StripMasks, HeadroomSevenInTheFirstColumnLeavesSevenRowsTransparent)
{
    // 48 pushes so that the first one is the oldest sample, in column 0 of icon 0.
    std::vector<int32_t> samples(48, 15);
    samples[0] = 7;
    ResetWith(samples);
    const Masks masks = Render();
    for (int row = 0; row < 16; ++row) {
        SCOPED_TRACE(row);
        EXPECT_EQ((masks[2 * row] & 0x80) != 0, row < 7);
    }
}

TEST(StripMasks, HeadroomsAboveFifteenAndNegativeOnesLeaveTheColumnEmpty)
{
    for (int32_t headroom : {16, 17, 660764199, -1, INT32_MIN}) {
        SCOPED_TRACE(headroom);
        ResetWith({headroom});
        const Masks masks = Render();
        for (int row = 0; row < 16; ++row) EXPECT_EQ(masks[64 + 2 * row + 1] & 1, 1) << "row " << row;
    }
}

TEST(StripMasks, MixedHistoryDrawsTheExpectedGraph)
{
    // Oldest first: a ramp up to full load, a plateau, the empty column of a reading above 100,
    // idle samples, and a fall back to idle.
    std::vector<int32_t> samples;
    for (int h = 15; h >= 0; --h) samples.push_back(h);            // icon 0: ramp
    for (int i = 0; i < 6; ++i) samples.push_back(4);               // icon 1
    samples.push_back(HeadroomFromUsage(101));
    for (int i = 0; i < 5; ++i) samples.push_back(15);
    for (int h : {9, 8, 7, 6}) samples.push_back(h);
    for (int h : {0, 2, 4, 6, 8, 10, 12, 14, 15, 15, 15, 15, 15, 15, 1, 15}) samples.push_back(h);
    ResetWith(samples);

    EXPECT_EQ(Picture(Render()), Rows({
        "...............#................#...............",
        "..............##................#.............#.",
        ".............###................##............#.",
        "............####................##............#.",
        "...........###########..........###...........#.",
        "..........############..........###...........#.",
        ".........#############.........#####..........#.",
        "........##############........######..........#.",
        ".......###############.......########.........#.",
        "......################......#########.........#.",
        ".....#################......##########........#.",
        "....##################......##########........#.",
        "...###################......###########.......#.",
        "..####################......###########.......#.",
        ".#####################......############......#.",
        "######################.#########################",
    }));
}

// The three icons as pixels of AND and XOR masks: '#' black (0/0), 'W' white (0/1), '.'
// transparent (1/0), '~' inverting the screen (1/1).
std::string Pixels(const Masks& andMasks, const Masks& xorMasks)
{
    std::string text;
    for (int row = 0; row < ICON_SIZE; ++row) {
        for (int icon = 0; icon < STRIP_ICONS; ++icon) {
            const int at = icon * ICON_MASK_BYTES + 2 * row;
            const unsigned andWord = (andMasks[at] << 8) | andMasks[at + 1];
            const unsigned xorWord = (xorMasks[at] << 8) | xorMasks[at + 1];
            for (int x = 0; x < ICON_SIZE; ++x)
                text += "#W.~"[2 * ((andWord >> (15 - x)) & 1) + ((xorWord >> (15 - x)) & 1)];
        }
        text += '\n';
    }
    return text;
}

TEST(StripMasks, WhiteBarsAreTheBlackPictureInWhiteAndNeverInvertTheScreen)
{
    std::vector<int32_t> ramp;
    for (int h = 16; h >= -1; --h) ramp.push_back(h);
    const std::vector<std::vector<int32_t>> histories = {
        {}, {0}, ramp, std::vector<int32_t>(48, 0), {HeadroomFromUsage(101), 7, 15}};
    for (const auto& history : histories) {
        SCOPED_TRACE(::testing::PrintToString(history));
        ResetWith(history);
        const Masks andMasks = Render();
        Masks blackXor, whiteXor;
        whiteXor.fill(0xA5);  // every byte must be written
        for (int icon = 0; icon < STRIP_ICONS; ++icon) {
            memcpy(blackXor.data() + icon * ICON_MASK_BYTES, BLANK_XOR_MASK, ICON_MASK_BYTES);
            BuildWhiteXorMask(andMasks.data() + icon * ICON_MASK_BYTES, whiteXor.data() + icon * ICON_MASK_BYTES);
        }
        std::string black = Pixels(andMasks, blackXor);
        EXPECT_EQ(black, Picture(andMasks));
        for (char& c : black)
            if (c == '#') c = 'W';
        EXPECT_EQ(Pixels(andMasks, whiteXor), black);
    }
}

}  // namespace
