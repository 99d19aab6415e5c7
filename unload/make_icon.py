#!/usr/bin/env python3
"""Writes the launcher's icon: eight 32-bit images (16, 24, 32, 48, 64, 72,
96 and 128 pixels square) of a four-bladed pinwheel on a transparent ground.

Usage: make_icon.py OUTPUT.ico
"""
import math
import struct
import sys

SIZES = (16, 24, 32, 48, 64, 72, 96, 128)
BLADES = ((0x2E, 0x86, 0xDE), (0xF2, 0xA9, 0x00), (0xD6, 0x3E, 0x3E), (0x3C, 0xA5, 0x5C))


def pixel(size, x, y):
    """BGRA of one pixel; rows counted from the top."""
    cx = cy = (size - 1) / 2.0
    dx, dy = x - cx, cy - y
    radius = math.hypot(dx, dy) / (size / 2.0)
    if radius > 0.95:
        return (0, 0, 0, 0)
    angle = math.atan2(dy, dx) % (2 * math.pi)
    blade = int(angle / (math.pi / 2)) % 4
    # Each blade is a curved wedge: its far edge sweeps with the radius.
    within = (angle % (math.pi / 2)) / (math.pi / 2)
    if within > 0.35 + 0.6 * radius:
        return (0xF8, 0xF8, 0xF8, 0xFF) if radius < 0.12 else (0, 0, 0, 0)
    r, g, b = BLADES[blade]
    return (b, g, r, 0xFF)


def image(size):
    """One icon image: BITMAPINFOHEADER, 32-bit XOR bitmap, 1-bit AND mask."""
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = []
    mask_rows = []
    mask_stride = ((size + 31) // 32) * 4
    for y in range(size - 1, -1, -1):  # bottom-up
        row = bytearray()
        mask = bytearray(mask_stride)
        for x in range(size):
            b, g, r, a = pixel(size, x, y)
            row += bytes((b, g, r, a))
            if a == 0:
                mask[x // 8] |= 0x80 >> (x % 8)
        rows.append(bytes(row))
        mask_rows.append(bytes(mask))
    return header + b"".join(rows) + b"".join(mask_rows)


def main():
    images = [image(size) for size in SIZES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(SIZES, images):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    with open(sys.argv[1], "wb") as handle:
        handle.write(out)


if __name__ == "__main__":
    main()
