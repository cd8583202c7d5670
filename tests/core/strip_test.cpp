// Strip masks: the history drawn as three icon AND masks of any size, checked against pictures
// and against the bytes CreateIcon takes.
#include "core/strip.h"

#include "core/history.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Masks = std::array<unsigned char, MAX_STRIP_MASK_BYTES>;

Masks Render(int size)
{
    Masks masks;
    masks.fill(0xA5);  // every byte of the three masks must be written
    BuildStripMasks(masks.data(), size);
    return masks;
}

void ResetWith(const std::vector<uint32_t>& readingsNewestLast)
{
    HistoryReset();
    for (uint32_t usage : readingsNewestLast) HistoryPush(usage);
}

// A reading that draws headroom h at 16 pixels (16: an empty column).
uint32_t ReadingFor(int h)
{
    static const uint32_t readings[] = {94, 88, 81, 75, 68, 62, 55, 49, 42, 36, 29, 23, 16, 10, 3, 0, 101};
    return readings[h];
}

bool Bit(const unsigned char* row, int x)
{
    return (row[x / 8] >> (7 - x % 8)) & 1;
}

// The three masks side by side as `size` rows of 3 x size characters: '#' black, '.'
// transparent. A padding bit that is not 1 shows as '!' at the end of its row.
std::string Picture(const Masks& masks, int size)
{
    std::string text;
    const int rowBytes = IconRowBytes(size);
    for (int row = 0; row < size; ++row) {
        std::string padding;
        for (int icon = 0; icon < STRIP_ICONS; ++icon) {
            const unsigned char* r = masks.data() + icon * IconMaskBytes(size) + row * rowBytes;
            for (int x = 0; x < size; ++x) text += Bit(r, x) ? '.' : '#';
            for (int x = size; x < rowBytes * 8; ++x)
                if (!Bit(r, x)) padding = "!";
        }
        text += padding + '\n';
    }
    return text;
}

// The expected picture, pixel by pixel: column c shows rows h .. size-1 black for the headroom h
// of its reading; columns before the first reading show the bottom row only.
std::string Expected(const std::vector<uint32_t>& readingsNewestLast, int size)
{
    const int columns = STRIP_ICONS * size;
    std::vector<uint32_t> headrooms(columns, static_cast<uint32_t>(size - 1));
    const int shown = std::min<int>(columns, static_cast<int>(readingsNewestLast.size()));
    for (int i = 0; i < shown; ++i)
        headrooms[columns - shown + i] = HeadroomFromUsage(readingsNewestLast[readingsNewestLast.size() - shown + i], size);
    std::string text;
    for (int row = 0; row < size; ++row) {
        for (uint32_t h : headrooms) text += static_cast<uint32_t>(row) < h ? '.' : '#';
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

TEST(StripMasks, AfterResetEveryIconIsTheBaselineBytes)
{
    // At 16 pixels: 15 transparent rows of 0xFF 0xFF, then the black bottom row 0x00 0x00.
    std::array<unsigned char, 32> baseline16;
    baseline16.fill(0xFF);
    baseline16[30] = baseline16[31] = 0x00;
    HistoryReset();
    const Masks masks = Render(16);
    for (int icon = 0; icon < STRIP_ICONS; ++icon)
        EXPECT_EQ(0, memcmp(masks.data() + 32 * icon, baseline16.data(), 32)) << "icon " << icon;

    unsigned char single[MAX_ICON_MASK_BYTES];
    for (int size : {16, 20, 24, 32, 48, 64}) {
        SCOPED_TRACE(size);
        HistoryReset();
        const Masks rendered = Render(size);
        BuildBaselineMask(single, size);
        for (int icon = 0; icon < STRIP_ICONS; ++icon)
            EXPECT_EQ(0, memcmp(rendered.data() + icon * IconMaskBytes(size), single, IconMaskBytes(size))) << "icon " << icon;
        EXPECT_EQ(Picture(rendered, size), Expected({}, size));
    }
}

TEST(StripMasks, RowsArePaddedToWholeWordsWithTransparentBits)
{
    // A black row and a transparent row of one icon as CreateIcon reads them, at each size.
    const struct {
        int size;
        int maskBytes;
        std::vector<unsigned char> blackRow, transparentRow;
    } cases[] = {
        {16, 32, {0x00, 0x00}, {0xFF, 0xFF}},
        {20, 80, {0x00, 0x00, 0x0F, 0xFF}, {0xFF, 0xFF, 0xFF, 0xFF}},
        {24, 96, {0x00, 0x00, 0x00, 0xFF}, {0xFF, 0xFF, 0xFF, 0xFF}},
        {32, 128, {0x00, 0x00, 0x00, 0x00}, {0xFF, 0xFF, 0xFF, 0xFF}},
        {40, 240, {0x00, 0x00, 0x00, 0x00, 0x00, 0xFF}, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        {64, 512, std::vector<unsigned char>(8, 0x00), std::vector<unsigned char>(8, 0xFF)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        ASSERT_EQ(IconMaskBytes(c.size), c.maskBytes);
        const size_t rowBytes = c.blackRow.size();
        ASSERT_EQ(static_cast<size_t>(IconRowBytes(c.size)), rowBytes);
        // A full graph: every icon solid black. Then an idle one: the baseline.
        ResetWith(std::vector<uint32_t>(STRIP_ICONS * c.size, 100));
        Masks masks = Render(c.size);
        for (int icon = 0; icon < STRIP_ICONS; ++icon) {
            const unsigned char* mask = masks.data() + icon * c.maskBytes;
            EXPECT_EQ(std::vector<unsigned char>(mask, mask + rowBytes), c.blackRow) << "icon " << icon << " top row";
            EXPECT_EQ(std::vector<unsigned char>(mask + c.maskBytes - rowBytes, mask + c.maskBytes), c.blackRow)
                << "icon " << icon << " bottom row";
        }
        HistoryReset();
        masks = Render(c.size);
        const unsigned char* last = masks.data() + 3 * c.maskBytes - rowBytes;
        EXPECT_EQ(std::vector<unsigned char>(masks.data(), masks.data() + rowBytes), c.transparentRow);
        EXPECT_EQ(std::vector<unsigned char>(last, last + rowBytes), c.blackRow);
        if (3 * c.maskBytes < MAX_STRIP_MASK_BYTES) {
            EXPECT_EQ(masks[3 * c.maskBytes], 0xA5) << "nothing is written past the third mask";
        }
    }
}

TEST(StripMasks, NewestFullLoadFillsOnlyTheLastColumnOfIconTwo)
{
    ResetWith({100});
    const Masks masks = Render(16);
    EXPECT_EQ(0, memcmp(masks.data(), masks.data() + 32, 32)) << "icons 0 and 1 alike";
    for (int row = 0; row < 16; ++row) {
        SCOPED_TRACE(row);
        EXPECT_EQ(masks[2 * row], row < 15 ? 0xFF : 0x00) << "icon 0 is the baseline";
        EXPECT_EQ(masks[64 + 2 * row], row < 15 ? 0xFF : 0x00);
        EXPECT_EQ(masks[64 + 2 * row + 1], row < 15 ? 0xFE : 0x00);
    }
}

TEST(StripMasks, MixedHistoryDrawsTheExpectedGraphAtSixteenPixels)
{
    // Oldest first: a ramp up to full load, a plateau, the empty column of a reading above 100,
    // idle samples, and a fall back to idle.
    std::vector<int> headrooms;
    for (int h = 15; h >= 0; --h) headrooms.push_back(h);  // icon 0: ramp
    for (int i = 0; i < 6; ++i) headrooms.push_back(4);    // icon 1
    headrooms.push_back(16);
    for (int i = 0; i < 5; ++i) headrooms.push_back(15);
    for (int h : {9, 8, 7, 6}) headrooms.push_back(h);
    for (int h : {0, 2, 4, 6, 8, 10, 12, 14, 15, 15, 15, 15, 15, 15, 1, 15}) headrooms.push_back(h);
    std::vector<uint32_t> readings;
    for (int h : headrooms) readings.push_back(ReadingFor(h));
    ResetWith(readings);

    EXPECT_EQ(Picture(Render(16), 16), Rows({
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

TEST(StripMasks, EverySizeDrawsOnePixelColumnPerReading)
{
    // A graph that crosses every headroom of the size, an empty column, and more readings than
    // it shows; and one that fills only part of it, the rest the baseline.
    for (int size : {16, 20, 24, 32, 40, 64}) {
        SCOPED_TRACE(size);
        std::vector<uint32_t> readings;
        for (uint32_t u = 0; u <= 100; u += 3) readings.push_back(u);
        readings.push_back(101);
        for (uint32_t i = 0; readings.size() < static_cast<size_t>(3 * size + 7); ++i) readings.push_back(100 - i * 2 % 101);
        ResetWith(readings);
        EXPECT_EQ(Picture(Render(size), size), Expected(readings, size));

        const std::vector<uint32_t> few = {100, 50, 0, 4294967295u, 75};
        ResetWith(few);
        EXPECT_EQ(Picture(Render(size), size), Expected(few, size));
    }
}

TEST(StripMasks, ASizeChangeRedrawsTheRecentHistoryAtTheNewScale)
{
    // 100 readings: 48 of them fit at 16 pixels, 72 at 24, all of them at 64.
    std::vector<uint32_t> readings;
    for (int i = 0; i < 100; ++i) readings.push_back(static_cast<uint32_t>(i * 7 % 101));
    ResetWith(readings);
    for (int size : {16, 24, 64, 20})
        EXPECT_EQ(Picture(Render(size), size), Expected(readings, size)) << "size " << size;
}

// The three icons as pixels of AND and XOR masks: '#' black (0/0), 'W' white (0/1), '.'
// transparent (1/0), '~' inverting the screen (1/1); any XOR padding bit that is set shows as '!'.
std::string Pixels(const Masks& andMasks, const Masks& xorMasks, int size)
{
    std::string text;
    const int rowBytes = IconRowBytes(size);
    for (int row = 0; row < size; ++row) {
        std::string padding;
        for (int icon = 0; icon < STRIP_ICONS; ++icon) {
            const int at = icon * IconMaskBytes(size) + row * rowBytes;
            for (int x = 0; x < size; ++x)
                text += "#W.~"[2 * Bit(&andMasks[at], x) + Bit(&xorMasks[at], x)];
            for (int x = size; x < rowBytes * 8; ++x)
                if (Bit(&xorMasks[at], x)) padding = "!";
        }
        text += padding + '\n';
    }
    return text;
}

TEST(StripMasks, WhiteBarsAreTheBlackPictureInWhiteAndNeverInvertTheScreen)
{
    std::vector<uint32_t> ramp;
    for (uint32_t u = 0; u <= 102; ++u) ramp.push_back(u);
    const std::vector<std::vector<uint32_t>> histories = {
        {}, {100}, ramp, std::vector<uint32_t>(192, 100), {101, 50, 0}};
    for (int size : {16, 20, 24, 32}) {
        for (const auto& history : histories) {
            SCOPED_TRACE(::testing::Message() << "size " << size << ", " << history.size() << " readings");
            ResetWith(history);
            const Masks andMasks = Render(size);
            Masks blackXor, whiteXor;
            whiteXor.fill(0xA5);
            for (int icon = 0; icon < STRIP_ICONS; ++icon) {
                const int at = icon * IconMaskBytes(size);
                memcpy(blackXor.data() + at, BLANK_XOR_MASK, IconMaskBytes(size));
                BuildWhiteXorMask(andMasks.data() + at, whiteXor.data() + at, size);
            }
            std::string black = Pixels(andMasks, blackXor, size);
            EXPECT_EQ(black, Picture(andMasks, size));
            for (char& c : black)
                if (c == '#') c = 'W';
            EXPECT_EQ(Pixels(andMasks, whiteXor, size), black);
        }
    }
}

TEST(StripMasks, IconSizesOutsideTheSupportedRangeAreClamped)
{
    const struct {
        int reported, drawn;
    } cases[] = {{0, 16}, {-5, 16}, {15, 16}, {16, 16}, {20, 20}, {28, 28}, {64, 64}, {65, 64}, {256, 64}};
    for (const auto& c : cases) EXPECT_EQ(ClampIconSize(c.reported), c.drawn) << c.reported;
}

}  // namespace
