#!/usr/bin/env python3
"""Draws the host's application icon, host/Resources/DLAppIcon.png: a 64x64 RGBA picture of a
rounded tile shading from light to dark blue with a white Z, written with zlib alone so no image
tool is needed.

    python3 scripts/make-host-icon.py [OUTPUT]
"""
import struct
import sys
import zlib

SIZE = 64
RADIUS = 12
TOP_BLUE = (66, 135, 222)
BOTTOM_BLUE = (24, 72, 150)
WHITE = (255, 255, 255, 255)
CLEAR = (0, 0, 0, 0)


def inside_tile(x, y):
    # A square with rounded corners: outside the corner circles counts as outside.
    cx = min(max(x, RADIUS), SIZE - 1 - RADIUS)
    cy = min(max(y, RADIUS), SIZE - 1 - RADIUS)
    return (x - cx) ** 2 + (y - cy) ** 2 <= RADIUS ** 2


def on_z(x, y):
    top, bottom, left, right, bar = 16, 47, 16, 47, 6
    if left <= x <= right and (top <= y < top + bar or bottom - bar < y <= bottom):
        return True
    # The diagonal from the top bar's right end to the bottom bar's left end.
    if top + bar <= y <= bottom - bar:
        t = (y - top) / (bottom - top)
        centre = right - t * (right - left)
        return abs(x - centre) <= bar * 0.75
    return False


def pixel(x, y):
    if not inside_tile(x, y):
        return CLEAR
    if on_z(x, y):
        return WHITE
    t = y / (SIZE - 1)
    return tuple(round(a + t * (b - a)) for a, b in zip(TOP_BLUE, BOTTOM_BLUE)) + (255,)


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def png():
    rows = b"".join(b"\0" + b"".join(bytes(pixel(x, y)) for x in range(SIZE)) for y in range(SIZE))
    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows, 9)) +
            chunk(b"IEND", b""))


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else "host/Resources/DLAppIcon.png"
    with open(out, "wb") as f:
        f.write(png())
