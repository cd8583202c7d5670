// Strip masks: the history's 48 headroom values as three 16x16 icon AND masks.
#include "core/strip.h"

#include "core/history.h"

void BuildStripMasks(StripMasks masks)
{
    HistoryRewind();
    for (int icon = 0; icon < STRIP_ICONS; ++icon) {
        // Sort the 16 columns by where their bar starts: firstBlackRow[r] holds the bits of the
        // columns whose top r rows are transparent (r = 16: the whole column).
        uint16_t firstBlackRow[ICON_SIZE + 1] = {};
        for (int column = 0; column < ICON_SIZE; ++column) {
            const uint32_t headroom = static_cast<uint32_t>(HistoryPeek());
            HistoryStep();
            firstBlackRow[headroom < ICON_SIZE ? headroom : ICON_SIZE] |=
                static_cast<uint16_t>(0x8000u >> column);
        }
        // Row k is transparent exactly in the columns whose bar starts below it (headroom > k),
        // so walking up from the bottom row accumulates them: 16 + 16 steps, not 256 pixels.
        unsigned char* mask = masks + icon * ICON_MASK_BYTES;
        uint16_t transparent = firstBlackRow[ICON_SIZE];
        for (int row = ICON_SIZE - 1; row >= 0; --row) {
            mask[2 * row] = static_cast<unsigned char>(transparent >> 8);
            mask[2 * row + 1] = static_cast<unsigned char>(transparent & 0xFF);
            transparent |= firstBlackRow[row];
        }
    }
}

void BuildWhiteXorMask(const unsigned char andMask[ICON_MASK_BYTES], unsigned char xorMask[ICON_MASK_BYTES])
{
    for (int i = 0; i < ICON_MASK_BYTES; ++i) xorMask[i] = static_cast<unsigned char>(~andMask[i]);
}
