#!/usr/bin/env python3
"""Writes the program's icon: a red recording dot on a dark rounded square, 32x32 BGRA.

Usage: make_icon.py OUTPUT.ico
"""
import struct
import sys

SIZE = 32


def pixel(x, y):
    cx = cy = (SIZE - 1) / 2
    # Rounded square: transparent outside a 4-pixel corner radius.
    r = 4
    dx = max(abs(x - cx) - (cx - r), 0)
    dy = max(abs(y - cy) - (cy - r), 0)
    if dx * dx + dy * dy > r * r:
        return (0, 0, 0, 0)
    d = ((x - cx) ** 2 + (y - cy) ** 2) ** 0.5
    if d <= 9:
        return (0x30, 0x30, 0xE0, 0xFF)  # B, G, R, A
    return (0x2A, 0x22, 0x1E, 0xFF)


def main():
    rows = []
    for y in range(SIZE - 1, -1, -1):  # bitmaps run bottom-up
        rows.append(b"".join(bytes(pixel(x, y)) for x in range(SIZE)))
    xor = b"".join(rows)
    mask = bytes(SIZE * 4)  # 1 bit per pixel, rows padded to 32 bits; alpha decides instead
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0, len(xor) + len(mask),
                         0, 0, 0, 0)
    image = header + xor + mask
    icondir = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 32, len(image), 6 + 16)
    with open(sys.argv[1], "wb") as f:
        f.write(icondir + entry + image)


if __name__ == "__main__":
    main()
