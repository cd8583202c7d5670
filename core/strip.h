// Renders the usage history into the AND masks of three 16x16 monochrome icons.
#pragma once

#include <cstdint>

constexpr int STRIP_ICONS = 3;
constexpr int ICON_SIZE = 16;
constexpr int ICON_MASK_BYTES = ICON_SIZE * ICON_SIZE / 8;        // 32: 16 rows of 2 bytes
constexpr int STRIP_MASK_BYTES = STRIP_ICONS * ICON_MASK_BYTES;  // 96

// Three AND masks, icon i at bytes 32*i .. 32*i+31. Row 0 is the top row; each row is a
// big-endian 16-bit word with pixel 0 (leftmost) in its most significant bit. Over a zero XOR
// mask an AND bit of 1 is transparent and 0 is black.
using StripMasks = unsigned char[STRIP_MASK_BYTES];

// The picture of an idle history: rows 0-14 transparent, a black line along the bottom row.
inline constexpr unsigned char BASELINE_AND_MASK[ICON_MASK_BYTES] = {
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00};

// The XOR mask of black bars: no pixel is inverted or white.
inline constexpr unsigned char BLANK_XOR_MASK[ICON_MASK_BYTES] = {};

// Fills masks from the history, oldest sample in column 0 of icon 0, newest in column 15 of
// icon 2. Column j shows its top h rows transparent and the rest black, for headroom h taken as
// unsigned (16 or more, negatives included, leaves the column empty). Moves the history's scan
// cursor through one whole scan and changes nothing else.
void BuildStripMasks(StripMasks masks);

// The XOR mask that draws one icon's bars in white instead of black, for a dark notification
// area: a 1 over every black pixel of the AND mask (AND 0, XOR 1 is white) and a 0 over every
// transparent one, so no pixel ever inverts the screen (AND 1, XOR 1). Black bars use
// BLANK_XOR_MASK.
void BuildWhiteXorMask(const unsigned char andMask[ICON_MASK_BYTES], unsigned char xorMask[ICON_MASK_BYTES]);
