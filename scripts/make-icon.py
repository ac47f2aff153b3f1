#!/usr/bin/env python3
"""Draws the installer's icon and writes it as resources/installer.ico.

The icon is a blue rounded tile with a white arrow pointing down into a tray:
"put something into place". Each of the four sizes (16, 24, 32 and 48 pixels)
is drawn from the same shapes, with 4 x 4 samples per pixel for smooth edges,
and stored the classic way: an uncompressed 32-bit BGRA bitmap followed by a
1-bit AND mask, which older renderers use for transparency.

Run it again only to change the drawing; the .ico is committed.
"""

import os
import struct
import sys

SIZES = (16, 24, 32, 48)
SAMPLES = 4


def inside_rounded_square(x, y, radius):
    """Whether (x, y) in the unit square lies inside the rounded tile."""
    margin = 0.03
    lo, hi = margin + radius, 1 - margin - radius
    cx = min(max(x, lo), hi)
    cy = min(max(y, lo), hi)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius**2 and margin <= x <= 1 - margin and (
        margin <= y <= 1 - margin
    )


def inside_arrow(x, y):
    """The arrow: a shaft and a triangular head pointing down."""
    if 0.42 <= x <= 0.58 and 0.16 <= y <= 0.46:
        return True
    # Head: apex at (0.5, 0.66), base from x 0.24 to 0.76 at y 0.42.
    if 0.42 <= y <= 0.66:
        half_width = 0.26 * (0.66 - y) / 0.24
        return abs(x - 0.5) <= half_width
    return False


def inside_tray(x, y):
    """A U-shaped tray below the arrow."""
    bottom = 0.70 <= y <= 0.80 and 0.20 <= x <= 0.80
    sides = 0.58 <= y <= 0.80 and (0.20 <= x <= 0.29 or 0.71 <= x <= 0.80)
    return bottom or sides


def pixel(size, px, py):
    """BGRA of one pixel, from the average of its samples."""
    tile = white = 0
    for sy in range(SAMPLES):
        for sx in range(SAMPLES):
            x = (px + (sx + 0.5) / SAMPLES) / size
            y = (py + (sy + 0.5) / SAMPLES) / size
            if inside_rounded_square(x, y, 0.2):
                tile += 1
                if inside_arrow(x, y) or inside_tray(x, y):
                    white += 1
    count = SAMPLES * SAMPLES
    if tile == 0:
        return (0, 0, 0, 0)
    # Blue gradient from top to bottom, blended with white by coverage.
    t = py / max(size - 1, 1)
    blue = (int(214 - 70 * t), int(111 - 48 * t), int(47 - 20 * t))  # B, G, R
    w = white / tile
    b, g, r = (round(c + (255 - c) * w) for c in blue)
    return (b, g, r, round(255 * tile / count))


def icon_image(size):
    """BITMAPINFOHEADER, bottom-up BGRA rows, then the AND mask rows."""
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = [[pixel(size, px, py) for px in range(size)] for py in range(size)]
    colour = b"".join(bytes(p) for row in reversed(rows) for p in row)
    mask_stride = (size + 31) // 32 * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for px, p in enumerate(row):
            if p[3] == 0:
                bits[px // 8] |= 0x80 >> (px % 8)
        mask += bits
    return header + colour + bytes(mask)


def icon_file():
    images = [icon_image(size) for size in SIZES]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    entries = b""
    for size, image in zip(SIZES, images):
        entries += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return directory + entries + b"".join(images)


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "resources", "installer.ico")
    with open(path, "wb") as out:
        out.write(icon_file())
    print(path)


if __name__ == "__main__":
    main()
