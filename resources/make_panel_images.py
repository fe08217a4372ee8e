#!/usr/bin/env python3
"""Draws the pictures of the quick panel and the version dialog:

  panel/imagelist2.png  ImageList2: 32 glyphs of 14 x 16 side by side, black on
                        white. Glyph 2i is the hexadecimal digit i in a rounded
                        frame (shown), glyph 2i+1 the same digit without it (hidden).
  panel/all.png         the 14 x 31 ALL button: a black frame, the word ALL
                        turned a quarter round, reading upwards.
  version/logo.png      the 84 x 32 logo of the version dialog, see-through
                        background.

Plain Python (zlib only):
    python3 resources/make_panel_images.py   # rewrites the PNGs next to this file
The PNGs are committed; run this again only after changing a picture.
"""

import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

BLACK = (0, 0, 0, 255)
WHITE = (255, 255, 255, 255)
CLEAR = (0, 0, 0, 0)


def write_png(path, rows):
    """rows: list of rows of (r, g, b, a)."""
    height, width = len(rows), len(rows[0])
    raw = bytearray()
    for row in rows:
        raw.append(0)  # filter type none
        for px in row:
            raw += bytes(px)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(png)


# 5 x 7 digits and the letters the pictures need.
FONT = {
    "0": [".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    "1": ["..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."],
    "2": [".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"],
    "3": ["####.", "....#", "....#", ".###.", "....#", "....#", "####."],
    "4": ["...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#."],
    "5": ["#####", "#....", "####.", "....#", "....#", "#...#", ".###."],
    "6": ["..##.", ".#...", "#....", "####.", "#...#", "#...#", ".###."],
    "7": ["#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#..."],
    "8": [".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###."],
    "9": [".###.", "#...#", "#...#", ".####", "....#", "...#.", ".##.."],
    "A": [".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
    "B": ["####.", "#...#", "#...#", "####.", "#...#", "#...#", "####."],
    "C": [".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."],
    "D": ["###..", "#..#.", "#...#", "#...#", "#...#", "#..#.", "###.."],
    "E": ["#####", "#....", "#....", "####.", "#....", "#....", "#####"],
    "F": ["#####", "#....", "#....", "####.", "#....", "#....", "#...."],
    "L": ["#....", "#....", "#....", "#....", "#....", "#....", "#####"],
}

GLYPH_W, GLYPH_H = 14, 16


def glyph(ch, framed):
    g = [[WHITE] * GLYPH_W for _ in range(GLYPH_H)]
    if framed:
        # Rounded frame over columns 1..12 and rows 1..15: the block that the
        # panel's exclusive-or mark covers.
        for x in range(3, 11):
            g[1][x] = g[15][x] = BLACK
        for y, x in ((2, 2), (2, 11), (14, 2), (14, 11)):
            g[y][x] = BLACK
        for y in range(3, 14):
            g[y][1] = g[y][12] = BLACK
    for r, row in enumerate(FONT[ch]):
        for c, v in enumerate(row):
            if v == "#":
                g[5 + r][4 + c] = BLACK
    return g


def image_list2():
    strip = [[] for _ in range(GLYPH_H)]
    for ch in "0123456789ABCDEF":
        for framed in (True, False):
            g = glyph(ch, framed)
            for y in range(GLYPH_H):
                strip[y] += g[y]
    return strip


def all_button():
    w, h = 14, 31
    a = [[WHITE] * w for _ in range(h)]
    for x in range(w):
        a[0][x] = a[h - 1][x] = BLACK
    for y in range(h):
        a[y][0] = a[y][w - 1] = BLACK
    # A quarter turn counter-clockwise: a letter's top faces left, its left
    # side faces down, so the word reads from the bottom up.
    for i, ch in enumerate("ALL"):
        bottom = 23 - 6 * i
        for r, row in enumerate(FONT[ch]):
            for c, v in enumerate(row):
                if v == "#":
                    a[bottom - c][4 + r] = BLACK
    return a


# The logo's lettering on a 2 x 2 pixel grid.
LOGO_FONT = {
    "P": ["####", "#..#", "#..#", "####", "#...", "#...", "#..."],
    "e": [".##.", "#..#", "####", "#...", ".###"],
    "l": ["#", "#", "#", "#", "#", "#", "#"],
    "m": ["####.", "#.#.#", "#.#.#", "#.#.#", "#.#.#"],
    "o": [".##.", "#..#", "#..#", "#..#", ".##."],
    "r": ["#.##", "##..", "#...", "#...", "#..."],
    "a": [".##.", "...#", ".###", "#..#", ".###"],
}
# Eight pens of a drawing, as squares of a colour table under the name.
LOGO_PENS = [(0, 0, 0), (255, 0, 0), (0, 160, 0), (0, 0, 255), (200, 160, 0), (255, 0, 255),
             (0, 170, 170), (128, 128, 128)]
NAVY = (24, 40, 120, 255)


def logo():
    w, h = 84, 32
    img = [[CLEAR] * w for _ in range(h)]
    cells = sum(len(LOGO_FONT[ch][0]) for ch in "Pelmora") + 6  # one cell between letters
    x0 = (w - 2 * cells) // 2
    top = 3
    x = x0
    for ch in "Pelmora":
        rows = LOGO_FONT[ch]
        dy = 7 - len(rows)  # lower-case letters sit on the baseline
        for r, row in enumerate(rows):
            for c, v in enumerate(row):
                if v == "#":
                    for py in range(2):
                        for px in range(2):
                            img[top + 2 * (r + dy) + py][x + 2 * c + px] = NAVY
        x += 2 * (len(rows[0]) + 1)
    # The pen squares: 6 x 5 each, 2 pixels apart, under the word.
    sx = (w - (8 * 6 + 7 * 2)) // 2
    for i, (r, g, b) in enumerate(LOGO_PENS):
        for y in range(22, 27):
            for xx in range(sx + 8 * i, sx + 8 * i + 6):
                img[y][xx] = (r, g, b, 255)
    return img


def main():
    write_png(os.path.join(HERE, "panel", "imagelist2.png"), image_list2())
    write_png(os.path.join(HERE, "panel", "all.png"), all_button())
    write_png(os.path.join(HERE, "version", "logo.png"), logo())


if __name__ == "__main__":
    main()
