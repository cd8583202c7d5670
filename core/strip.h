// Renders the usage history into the AND masks of three square monochrome icons of any size
// from 16 to 64 pixels, one column per sample.
#pragma once

#include <cstdint>

#include "core/history.h"

// The icon size to draw for a small-icon size the system reports: within 16..64, the sizes the
// history and the mask buffers are made for.
inline int ClampIconSize(int size)
{
    return size < MIN_ICON_SIZE ? MIN_ICON_SIZE : size > MAX_ICON_SIZE ? MAX_ICON_SIZE : size;
}

// One icon mask in the layout CreateIcon takes: `size` rows, top row first, each row padded to a
// whole number of 16-bit words, bytes in order, pixel 0 (leftmost) in the most significant bit
// of the row's first byte. 16 pixels: 2 bytes a row; 20, 24 or 32: 4 bytes; 64: 8 bytes.
constexpr int IconRowBytes(int size)
{
    return (size + 15) / 16 * 2;
}
constexpr int IconMaskBytes(int size)
{
    return size * IconRowBytes(size);
}
constexpr int MAX_ICON_MASK_BYTES = IconMaskBytes(MAX_ICON_SIZE);           // 512
constexpr int MAX_STRIP_MASK_BYTES = STRIP_ICONS * MAX_ICON_MASK_BYTES;     // 1536

// Three AND masks of one size, icon i at bytes i * IconMaskBytes(size) (at 16 pixels: 32 * i to
// 32 * i + 31). Over a zero XOR mask an AND bit of 1 is transparent and 0 is black. The padding
// bits at the end of a row are 1, transparent like the rest of the picture's margin.
using StripMasks = unsigned char[MAX_STRIP_MASK_BYTES];

// A zero XOR mask of the largest size: black bars; no pixel is inverted or white.
inline constexpr unsigned char BLANK_XOR_MASK[MAX_ICON_MASK_BYTES] = {};

// Fills masks from the newest 3 x size readings of the history, oldest in column 0 of icon 0,
// newest in the last column of icon 2. A column of headroom h shows its top h rows transparent
// and the rest black (h >= size: an empty column); columns before the first sample show the
// bottom row only. Moves the history's scan and changes nothing else. size is clamped to 16..64.
void BuildStripMasks(StripMasks masks, int size);

// The picture of an idle graph in one icon: transparent but for a black line along the bottom row.
void BuildBaselineMask(unsigned char mask[MAX_ICON_MASK_BYTES], int size);

// The XOR mask that draws one icon's bars in white instead of black, for a dark notification
// area: a 1 over every black pixel of the AND mask (AND 0, XOR 1 is white) and a 0 over every
// transparent one and every padding bit, so no pixel ever inverts the screen (AND 1, XOR 1).
// Black bars use BLANK_XOR_MASK.
void BuildWhiteXorMask(const unsigned char andMask[MAX_ICON_MASK_BYTES], unsigned char xorMask[MAX_ICON_MASK_BYTES],
                       int size);
