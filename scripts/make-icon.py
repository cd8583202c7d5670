#!/usr/bin/env python3
"""Writes a 16-colour .ico from text art: usage make-icon.py ART ICO.

ART holds one or more images, each a line "icon N" followed by N rows of N characters, top row
first, at most one image of each size. Lines starting with "#" are comments. Every image is stored
as 4 bits per pixel with the standard 16-colour palette and an AND mask, in the order the art
lists them.
"""
import struct
import sys

# The standard 16-colour palette, as (red, green, blue).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]

# Character -> palette index; None is transparent (AND bit set, colour index 0).
PIXELS = {".": None, "K": 0, "-": 7, "g": 8, "W": 15}

# The icon sizes Windows asks for: small and large icons at 100 % (16, 32), the small icon at
# 125 % and 150 % (20, 24), the large one at 125 %, 150 % and 200 % (40, 48, 64).
SIZES = (16, 20, 24, 32, 40, 48, 64)


def fail(message):
    sys.exit("make-icon: " + message)


def read_art(path):
    images = []
    with open(path, encoding="ascii") as f:
        lines = [(n, line.rstrip("\n")) for n, line in enumerate(f, 1)]
    lines = [(n, line) for n, line in lines if line and not line.startswith("#")]
    i = 0
    while i < len(lines):
        n, header = lines[i]
        words = header.split()
        if len(words) != 2 or words[0] != "icon" or not words[1].isdigit():
            fail(f"{path}:{n}: expected 'icon N', got {header!r}")
        size = int(words[1])
        if size not in SIZES:
            fail(f"{path}:{n}: unsupported icon size {size}, expected one of {SIZES}")
        if any(size == done for done, _ in images):
            fail(f"{path}:{n}: a second icon {size}")
        rows = lines[i + 1:i + 1 + size]
        if len(rows) != size:
            fail(f"{path}:{n}: icon {size} has only {len(rows)} rows")
        for rn, row in rows:
            if len(row) != size:
                fail(f"{path}:{rn}: row of {len(row)} characters in icon {size}")
            bad = set(row) - PIXELS.keys()
            if bad:
                fail(f"{path}:{rn}: unknown pixel characters {''.join(sorted(bad))!r}")
        images.append((size, [row for _, row in rows]))
        i += 1 + size
    if not images:
        fail(f"{path}: no icon in the art")
    return images


def padded(row_bytes):
    """A bitmap row is padded to a multiple of 4 bytes."""
    return row_bytes + b"\0" * (-len(row_bytes) % 4)


def packed(values, per_byte):
    """Values of 8 / per_byte bits each, leftmost in the high bits; zeros fill the last byte
    where the row does not (the AND mask of a 20-pixel row: 2.5 bytes)."""
    bits = 8 // per_byte
    values = values + [0] * (-len(values) % per_byte)
    return bytes(sum(v << (8 - bits * (k + 1)) for k, v in enumerate(values[i:i + per_byte]))
                 for i in range(0, len(values), per_byte))


def image_data(size, rows):
    """BITMAPINFOHEADER, palette, colour bits and AND mask; bitmap rows run bottom-up."""
    colour = b""
    mask = b""
    for row in reversed(rows):
        colour += padded(packed([PIXELS[ch] or 0 for ch in row], 2))
        mask += padded(packed([1 if PIXELS[ch] is None else 0 for ch in row], 8))
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 4, 0, len(colour) + len(mask),
                         0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    return header + palette + colour + mask


def main():
    if len(sys.argv) != 3:
        fail("usage: make-icon.py ART ICO")
    images = read_art(sys.argv[1])
    blobs = [image_data(size, rows) for size, rows in images]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for (size, _), blob in zip(images, blobs):
        out += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(blob), offset)
        offset += len(blob)
    out += b"".join(blobs)
    with open(sys.argv[2], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
