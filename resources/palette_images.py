#!/usr/bin/env python3
"""Writes the 24x24 palette images of the components, one PNG per class named
after the class in upper case (TKWWHOIS.png ...). Every image is indexed with
16 colours (4 bits per pixel) except TKWMSTRANSLATOR.png, which has 256 colours
(8 bits per pixel). Colour 0 is the background and is transparent. Run from
any folder; the files are written beside this script."""
import math
import os
import struct
import zlib

SIZE = 24

# The 16-colour palette of the 4-bit images.
KEY, BLACK, WHITE, SILVER, GRAY, RED, ORANGE, YELLOW = range(8)
GREEN, DARKGREEN, BLUE, SKY, NAVY, BROWN, TAN, PURPLE = range(8, 16)
PALETTE16 = [
    (255, 0, 255),  # background, transparent
    (0, 0, 0),
    (255, 255, 255),
    (200, 204, 212),
    (112, 116, 128),
    (208, 32, 32),
    (240, 136, 24),
    (248, 208, 48),
    (56, 176, 72),
    (24, 104, 48),
    (40, 96, 216),
    (120, 184, 240),
    (24, 40, 112),
    (112, 72, 32),
    (200, 152, 96),
    (104, 48, 160),
]


class Canvas:
    def __init__(self):
        self.px = [[KEY] * SIZE for _ in range(SIZE)]

    def put(self, x, y, c):
        if 0 <= x < SIZE and 0 <= y < SIZE:
            self.px[y][x] = c

    def rect(self, x0, y0, x1, y1, fill=None, edge=None):
        """Fills and outlines the rectangle with corners (x0,y0) and (x1,y1),
        both included."""
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                on_edge = x in (x0, x1) or y in (y0, y1)
                if on_edge and edge is not None:
                    self.put(x, y, edge)
                elif fill is not None:
                    self.put(x, y, fill)

    def disc(self, cx, cy, r, fill=None, edge=None):
        """A disc of radius r around (cx, cy) (half-pixel centres allowed)."""
        for y in range(SIZE):
            for x in range(SIZE):
                d = math.hypot(x - cx, y - cy)
                if d <= r - 1 and fill is not None:
                    self.put(x, y, fill)
                elif d <= r + 0.01 and (edge is not None or fill is not None):
                    self.put(x, y, edge if edge is not None else fill)

    def line(self, x0, y0, x1, y1, c):
        dx, dy = abs(x1 - x0), -abs(y1 - y0)
        sx, sy = (1 if x0 < x1 else -1), (1 if y0 < y1 else -1)
        err = dx + dy
        while True:
            self.put(x0, y0, c)
            if x0 == x1 and y0 == y1:
                return
            e2 = 2 * err
            if e2 >= dy:
                err += dy
                x0 += sx
            if e2 <= dx:
                err += dx
                y0 += sy

    def polygon(self, points, c):
        """Fills a polygon by the even-odd rule, sampling pixel centres."""
        for y in range(SIZE):
            yc = y + 0.5
            xs = []
            for (xa, ya), (xb, yb) in zip(points, points[1:] + points[:1]):
                if (ya <= yc < yb) or (yb <= yc < ya):
                    xs.append(xa + (yc - ya) * (xb - xa) / (yb - ya))
            xs.sort()
            for xa, xb in zip(xs[::2], xs[1::2]):
                for x in range(SIZE):
                    if xa <= x + 0.5 < xb:
                        self.put(x, y, c)

    def glyphs(self, x, y, text, c):
        """Writes text in a 3x5 font."""
        for ch in text:
            for row, bits in enumerate(FONT[ch]):
                for col in range(3):
                    if bits & (4 >> col):
                        self.put(x + col, y + row, c)
            x += 4


FONT = {
    "A": (2, 5, 7, 5, 5),
    "S": (7, 4, 7, 1, 7),
    "@": (7, 5, 7, 4, 7),
    "?": (6, 1, 2, 0, 2),
}


def clock(cv, face, rim):
    cv.disc(11.5, 12.5, 10, fill=face, edge=rim)
    for angle in range(0, 360, 30):
        a = math.radians(angle)
        cv.put(round(11.5 + 8 * math.sin(a)), round(12.5 - 8 * math.cos(a)), GRAY)
    cv.line(11, 12, 11, 6, BLACK)
    cv.line(12, 13, 16, 15, BLACK)
    cv.put(11, 12, RED)
    cv.put(12, 12, RED)


def whois():
    cv = Canvas()
    # A card with a person, and a magnifying glass over it.
    cv.rect(1, 3, 17, 17, fill=WHITE, edge=GRAY)
    cv.disc(6, 8, 2.5, fill=TAN, edge=BROWN)
    cv.rect(3, 12, 9, 15, fill=BLUE)
    for y in (7, 10, 13):
        cv.line(11, y, 15, y, GRAY)
    cv.disc(15, 14, 5.5, fill=SKY, edge=NAVY)
    cv.line(19, 18, 22, 21, BLACK)
    cv.line(19, 19, 21, 21, BLACK)
    cv.line(20, 18, 22, 20, BLACK)
    cv.glyphs(14, 12, "?", NAVY)
    return cv


def inet_date_time():
    cv = Canvas()
    clock(cv, WHITE, NAVY)
    return cv


def inet_sntp():
    cv = Canvas()
    # A stopwatch: a clock with a crown and a green face.
    cv.rect(10, 0, 13, 1, fill=GRAY)
    cv.rect(11, 2, 12, 3, fill=GRAY)
    clock(cv, YELLOW, DARKGREEN)
    cv.glyphs(17, 18, "S", DARKGREEN)
    return cv


def dns_resolver():
    cv = Canvas()
    # A tree of names: a root and three leaves.
    cv.line(11, 6, 4, 15, GRAY)
    cv.line(12, 6, 12, 15, GRAY)
    cv.line(12, 6, 19, 15, GRAY)
    cv.rect(8, 2, 15, 7, fill=ORANGE, edge=BROWN)
    for x in (1, 9, 17):
        cv.rect(x, 15, x + 5, 20, fill=SKY, edge=NAVY)
    return cv


def globe(cv, sea, land, rim):
    cv.disc(11.5, 11.5, 10.5, fill=sea, edge=rim)
    cv.polygon([(6, 5), (11, 4), (12, 9), (8, 12), (5, 10)], land)
    cv.polygon([(13, 13), (18, 12), (19, 16), (15, 20), (13, 17)], land)
    for x in range(2, 22):
        if cv.px[11][x] != KEY:
            cv.put(x, 11, rim)


def http_client():
    cv = Canvas()
    globe(cv, SKY, GREEN, NAVY)
    return cv


def envelope(cv, paper, edge, flap):
    cv.rect(1, 5, 22, 19, fill=paper, edge=edge)
    cv.line(1, 5, 11, 13, flap)
    cv.line(22, 5, 12, 13, flap)
    cv.line(1, 19, 8, 12, edge)
    cv.line(22, 19, 15, 12, edge)


def smtp():
    cv = Canvas()
    envelope(cv, WHITE, GRAY, NAVY)
    cv.disc(18.5, 17.5, 4.5, fill=RED, edge=RED)
    cv.line(16, 17, 21, 17, WHITE)
    cv.line(19, 15, 21, 17, WHITE)
    cv.line(19, 19, 21, 17, WHITE)
    return cv


def weather_info():
    cv = Canvas()
    cv.disc(8, 8, 5, fill=YELLOW, edge=ORANGE)
    for dx, dy in ((0, -7), (0, 7), (-7, 0), (7, 0), (-5, -5), (5, -5), (-5, 5)):
        cv.put(8 + dx, 8 + dy, ORANGE)
    cv.disc(12, 16, 4, fill=WHITE, edge=GRAY)
    cv.disc(17, 14, 5, fill=WHITE, edge=GRAY)
    cv.rect(9, 17, 21, 20, fill=WHITE)
    cv.line(9, 20, 21, 20, GRAY)
    cv.put(22, 18, GRAY)
    cv.put(22, 19, GRAY)
    return cv


def web_updater():
    cv = Canvas()
    # An arrow down into a tray.
    cv.rect(8, 1, 15, 10, fill=GREEN, edge=DARKGREEN)
    cv.polygon([(3, 10), (21, 10), (12, 19)], GREEN)
    cv.line(3, 10, 11, 18, DARKGREEN)
    cv.line(20, 10, 12, 18, DARKGREEN)
    cv.rect(1, 18, 22, 22, fill=SILVER, edge=GRAY)
    cv.rect(5, 18, 18, 19, fill=GRAY)
    return cv


def page(cv, paper, edge, line):
    cv.polygon([(3, 1), (15, 1), (20, 6), (20, 23), (3, 23)], paper)
    cv.line(3, 1, 15, 1, edge)
    cv.line(3, 1, 3, 22, edge)
    cv.line(3, 22, 20, 22, edge)
    cv.line(20, 6, 20, 22, edge)
    cv.line(15, 1, 20, 6, edge)
    cv.line(15, 1, 15, 6, edge)
    cv.line(15, 6, 20, 6, edge)
    for y in (9, 12, 15, 18):
        cv.line(6, y, 17, y, line)


def web_direct():
    cv = Canvas()
    page(cv, WHITE, GRAY, SKY)
    cv.disc(16, 17, 4, fill=RED, edge=ORANGE)
    cv.put(16, 17, YELLOW)
    cv.put(16, 16, YELLOW)
    return cv


def remote_image():
    cv = Canvas()
    cv.rect(0, 3, 23, 20, fill=SKY, edge=BROWN)
    cv.rect(1, 4, 22, 19, edge=TAN)
    cv.disc(17, 8, 2.5, fill=YELLOW, edge=ORANGE)
    cv.polygon([(2, 19), (9, 9), (15, 19)], DARKGREEN)
    cv.polygon([(10, 19), (15, 13), (22, 19)], GREEN)
    return cv


def info_extractor():
    cv = Canvas()
    page(cv, WHITE, GRAY, SILVER)
    # Links pulled out of the page: an at sign and a chain.
    cv.rect(7, 8, 17, 15, fill=WHITE)
    cv.glyphs(6, 9, "@", BLUE)
    cv.rect(11, 10, 16, 13, edge=PURPLE)
    cv.rect(14, 12, 19, 15, edge=PURPLE)
    return cv


def remote_files():
    cv = Canvas()
    # A folder with a globe badge.
    cv.polygon([(1, 5), (8, 5), (10, 7), (21, 7), (21, 20), (1, 20)], YELLOW)
    cv.line(1, 5, 8, 5, BROWN)
    cv.line(8, 5, 10, 7, BROWN)
    cv.line(10, 7, 21, 7, BROWN)
    cv.line(1, 5, 1, 20, BROWN)
    cv.line(21, 7, 21, 20, BROWN)
    cv.line(1, 20, 21, 20, BROWN)
    cv.line(2, 10, 20, 10, ORANGE)
    cv.disc(17.5, 17.5, 5, fill=SKY, edge=NAVY)
    cv.line(13, 17, 22, 17, NAVY)
    cv.line(17, 13, 17, 22, NAVY)
    return cv


def rss_parser():
    cv = Canvas()
    cv.rect(1, 1, 22, 22, fill=ORANGE, edge=BROWN)
    cv.disc(6, 18, 2, fill=WHITE, edge=WHITE)
    for r in (8, 13):
        for a in range(0, 91, 3):
            t = math.radians(a)
            for w in (0, 1, 1.5):
                cv.put(round(5 + (r + w) * math.sin(t)), round(19 - (r + w) * math.cos(t)), WHITE)
    return cv


def parcel(cv, side, top, edge, tape):
    cv.polygon([(2, 8), (12, 4), (22, 8), (12, 12)], top)
    cv.polygon([(2, 8), (12, 12), (12, 22), (2, 18)], side)
    cv.polygon([(12, 12), (22, 8), (22, 18), (12, 22)], edge)
    cv.line(7, 6, 17, 10, tape)
    cv.line(17, 10, 17, 20, tape)


def ups_tracker():
    cv = Canvas()
    parcel(cv, BROWN, TAN, BROWN, YELLOW)
    cv.line(12, 12, 12, 22, BLACK)
    # A shield on the side.
    cv.polygon([(4, 11), (10, 13), (10, 17), (7, 20), (4, 17)], YELLOW)
    cv.polygon([(5, 12.5), (9, 14), (9, 17), (7, 19), (5, 17)], BROWN)
    return cv


def fedex_tracker():
    cv = Canvas()
    parcel(cv, WHITE, SILVER, GRAY, PURPLE)
    cv.line(12, 12, 12, 22, GRAY)
    # An arrow across the box.
    cv.polygon([(2, 15), (14, 15), (14, 12), (20, 17), (14, 22), (14, 19), (2, 19)], ORANGE)
    cv.line(2, 15, 14, 15, PURPLE)
    cv.line(2, 19, 14, 19, PURPLE)
    return cv


def bubble(cv, x0, y0, x1, y1, tail_x, fill, edge, tail_down=True):
    cv.rect(x0, y0, x1, y1, fill=fill, edge=edge)
    if tail_down:
        cv.polygon([(tail_x, y1), (tail_x + 4, y1), (tail_x, y1 + 4)], fill)
        cv.line(tail_x, y1, tail_x, y1 + 4, edge)
        cv.line(tail_x, y1 + 4, tail_x + 4, y1, edge)
    else:
        cv.polygon([(tail_x, y0 + 1), (tail_x - 4, y0 + 1), (tail_x, y0 - 3)], fill)
        cv.line(tail_x, y0, tail_x, y0 - 3, edge)
        cv.line(tail_x, y0 - 3, tail_x - 4, y0 + 1, edge)


def google_translator():
    cv = Canvas()
    bubble(cv, 0, 1, 13, 11, 3, BLUE, NAVY)
    cv.glyphs(5, 4, "A", WHITE)
    bubble(cv, 9, 11, 23, 20, 20, WHITE, GRAY, tail_down=False)
    # A few strokes of another script.
    cv.line(12, 14, 19, 14, RED)
    cv.line(15, 13, 15, 18, RED)
    cv.line(12, 18, 20, 18, RED)
    cv.line(13, 16, 18, 16, RED)
    return cv


def ms_translator():
    """The one 256-colour image: two shaded speech bubbles. Returns the pixels
    as colours and the 256-entry palette they index."""
    palette = [(255, 0, 255)]
    # Ramps of blue, orange and grey shades for the bubbles and their text.
    for i in range(100):
        t = i / 99
        palette.append((round(16 + 40 * t), round(80 + 110 * t), round(170 + 80 * t)))
    for i in range(100):
        t = i / 99
        palette.append((round(200 + 55 * t), round(90 + 110 * t), round(10 + 60 * t)))
    for i in range(255 - len(palette) + 1):
        v = round(255 * i / 54)
        palette.append((v, v, v))
    assert len(palette) == 256
    blue = lambda t: 1 + round(99 * min(max(t, 0), 1))
    orange = lambda t: 101 + round(99 * min(max(t, 0), 1))
    grey = lambda t: 201 + round(54 * min(max(t, 0), 1))

    shape = Canvas()
    bubble(shape, 0, 1, 14, 12, 3, 1, 2)
    bubble(shape, 8, 11, 23, 21, 20, 3, 4, tail_down=False)
    px = [[0] * SIZE for _ in range(SIZE)]
    for y in range(SIZE):
        for x in range(SIZE):
            s = shape.px[y][x]
            if s == 1:
                px[y][x] = blue(0.35 + 0.65 * (1 - (x + y) / 26))
            elif s == 2:
                px[y][x] = blue(0.0)
            elif s == 3:
                px[y][x] = orange(0.2 + 0.8 * (1 - (x - 8 + y - 11) / 25))
            elif s == 4:
                px[y][x] = orange(0.0)
    text = Canvas()
    text.glyphs(4, 4, "A", 1)
    text.line(12, 14, 19, 14, 2)
    text.line(15, 13, 15, 18, 2)
    text.line(12, 18, 19, 18, 2)
    for y in range(SIZE):
        for x in range(SIZE):
            if text.px[y][x] == 1:
                px[y][x] = grey(1.0)
            elif text.px[y][x] == 2:
                px[y][x] = grey(0.92 - 0.02 * x)
    return px, palette


def write_png(path, px, palette, depth):
    if depth == 4:
        rows = []
        for row in px:
            packed = bytes((row[i] << 4) | row[i + 1] for i in range(0, SIZE, 2))
            rows.append(b"\0" + packed)
    else:
        rows = [b"\0" + bytes(row) for row in px]
    raw = b"".join(rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    data = b"\x89PNG\r\n\x1a\n"
    data += chunk(b"IHDR", struct.pack(">IIBBBBB", SIZE, SIZE, depth, 3, 0, 0, 0))
    data += chunk(b"PLTE", b"".join(bytes(c) for c in palette))
    data += chunk(b"tRNS", b"\0")  # colour 0, the background, is transparent
    data += chunk(b"IDAT", zlib.compress(raw, 9))
    data += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(data)


IMAGES16 = {
    "TKWWHOIS": whois,
    "TKWINETDATETIME": inet_date_time,
    "TKWUPSTRACKER": ups_tracker,
    "TKWFEDEXTRACKER": fedex_tracker,
    "TKWIHTTPCLIENT": http_client,
    "TKWWEBUPDATER": web_updater,
    "TKWWEBDIRECT": web_direct,
    "TKWREMOTEIMAGE": remote_image,
    "TKWINFOEXTRACTOR": info_extractor,
    "TKWWEATHERINFO": weather_info,
    "TKWREMOTEFILES": remote_files,
    "TKWISMTP": smtp,
    "TKWIRSSPARSER": rss_parser,
    "TKWINETSNTP": inet_sntp,
    "TKWIGOOGLETRANSLATOR": google_translator,
    "TKWIDNSRESOLVER": dns_resolver,
}

here = os.path.dirname(os.path.abspath(__file__))
for name, draw in IMAGES16.items():
    write_png(os.path.join(here, name + ".png"), draw().px, PALETTE16, 4)
pixels, palette256 = ms_translator()
write_png(os.path.join(here, "TKWMSTRANSLATOR.png"), pixels, palette256, 8)
