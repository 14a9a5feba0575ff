#!/usr/bin/env python3
"""Writes the two 16x16 item pictures of the news dialog: direct_old.png (a
page) and direct_new.png (the same page with an orange burst). White is the
background, which the dialog draws transparent. Run from any folder; the files
are written beside this script."""
import os
import struct
import zlib

WHITE = (255, 255, 255)
EDGE = (96, 96, 112)
PAPER = (236, 240, 248)
LINE = (136, 152, 184)
BURST = (232, 88, 24)
SPARK = (255, 208, 64)


def page():
    px = [[WHITE] * 16 for _ in range(16)]
    # A sheet from (2,1) to (12,14) whose top-right corner is cut along the
    # diagonal from (8,1) to (11,4).
    for y in range(1, 15):
        for x in range(2, 13):
            if y < 5 and x > y + 7:
                continue  # the corner that is folded away
            edge = x in (2, 12) or y in (1, 14) or (y < 5 and x == y + 7)
            px[y][x] = EDGE if edge else PAPER
    for y in (7, 9, 11):
        for x in range(4, 11):
            px[y][x] = LINE
    return px


def burst(px):
    cx, cy = 11, 11
    for y in range(16):
        for x in range(16):
            d2 = (x - cx) ** 2 + (y - cy) ** 2
            if d2 <= 6:
                px[y][x] = SPARK if d2 <= 1 else BURST
    for dx, dy in ((0, -4), (0, 4), (-4, 0), (4, 0)):
        x, y = cx + dx, cy + dy
        if 0 <= x < 16 and 0 <= y < 16:
            px[y][x] = BURST
    return px


def write_png(path, px):
    raw = b"".join(b"\0" + bytes(c for p in row for c in p) for row in px)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    data = b"\x89PNG\r\n\x1a\n"
    data += chunk(b"IHDR", struct.pack(">IIBBBBB", 16, 16, 8, 2, 0, 0, 0))
    data += chunk(b"IDAT", zlib.compress(raw, 9))
    data += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(data)


here = os.path.dirname(os.path.abspath(__file__))
write_png(os.path.join(here, "direct_old.png"), page())
write_png(os.path.join(here, "direct_new.png"), burst(page()))
