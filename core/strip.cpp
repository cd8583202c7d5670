// Strip masks: the newest 3 x size readings of the history as three icon AND masks.
#include "core/strip.h"

namespace {

// A row of up to 64 pixels as a 64-bit word, pixel 0 in the top bit: the bits of the row's
// padded width that lie beyond the icon's own width.
uint64_t PaddingBits(int size)
{
    const int width = IconRowBytes(size) * 8;
    const uint64_t picture = size >= 64 ? ~uint64_t{0} : ~(~uint64_t{0} >> size);
    const uint64_t row = width >= 64 ? ~uint64_t{0} : ~(~uint64_t{0} >> width);
    return row & ~picture;
}

// Writes the top rowBytes bytes of a row word, most significant first.
void PutRow(unsigned char* out, uint64_t row, int rowBytes)
{
    for (int b = 0; b < rowBytes; ++b) out[b] = static_cast<unsigned char>(row >> (56 - 8 * b));
}

// The columns of one icon sorted by where their bar starts, then its rows written bottom-up.
// Takes the number of baseline columns still to draw and returns what is left of it for the
// next icon.
int BuildIconMask(unsigned char* mask, int size, const uint8_t headroomOf[101], int baseline)
{
    // firstBlackRow[r] holds the bits of the columns whose top r rows are transparent (r = size:
    // the whole column).
    uint64_t firstBlackRow[MAX_ICON_SIZE + 1];
    for (int r = 0; r <= size; ++r) firstBlackRow[r] = 0;
    const uint32_t empty = static_cast<uint32_t>(size);
    for (int column = 0; column < size; ++column) {
        uint32_t headroom = empty - 1;
        if (baseline > 0) {
            --baseline;
        } else {
            const uint32_t usage = HistoryPeek();
            headroom = usage <= 100 ? headroomOf[usage] : HeadroomFromUsage(usage, size);
        }
        HistoryStep();
        firstBlackRow[headroom < empty ? headroom : empty] |= uint64_t{1} << (63 - column);
    }
    // Row k is transparent exactly in the columns whose bar starts below it (headroom > k), so
    // walking up from the bottom row accumulates them: 2 x size steps, not size^2 pixels.
    const int rowBytes = IconRowBytes(size);
    uint64_t transparent = firstBlackRow[size] | PaddingBits(size);
    for (int row = size - 1; row >= 0; --row) {
        PutRow(mask + row * rowBytes, transparent, rowBytes);
        transparent |= firstBlackRow[row];
    }
    return baseline;
}

}  // namespace

void BuildStripMasks(StripMasks masks, int size)
{
    size = ClampIconSize(size);
    // The headrooms of the readings 0..100 at this size, made again only when the size changes:
    // a column costs a load instead of a division.
    static int tableSize;
    static uint8_t headroomOf[101];
    if (tableSize != size) {
        for (uint32_t usage = 0; usage <= 100; ++usage)
            headroomOf[usage] = static_cast<uint8_t>(HeadroomFromUsage(usage, size));
        tableSize = size;
    }

    int baseline = HistoryRewind(STRIP_ICONS * size);
    for (int icon = 0; icon < STRIP_ICONS; ++icon)
        baseline = BuildIconMask(masks + icon * IconMaskBytes(size), size, headroomOf, baseline);
}

void BuildBaselineMask(unsigned char mask[MAX_ICON_MASK_BYTES], int size)
{
    size = ClampIconSize(size);
    const int rowBytes = IconRowBytes(size);
    for (int row = 0; row < size - 1; ++row) PutRow(mask + row * rowBytes, ~uint64_t{0}, rowBytes);
    PutRow(mask + (size - 1) * rowBytes, PaddingBits(size), rowBytes);
}

void BuildWhiteXorMask(const unsigned char andMask[MAX_ICON_MASK_BYTES], unsigned char xorMask[MAX_ICON_MASK_BYTES],
                       int size)
{
    // The AND mask's padding bits are 1, so their XOR bits come out 0.
    const int bytes = IconMaskBytes(ClampIconSize(size));
    for (int i = 0; i < bytes; ++i) xorMask[i] = static_cast<unsigned char>(~andMask[i]);
}
