#!/usr/bin/env python3
"""Draws the program's pictures: the eight 20 x 20 toolbar images, the
open-hand cursor "USER1" and the program icon in several sizes.

Plain Python (zlib only), so it runs wherever the build does:
    python3 resources/make_images.py        # rewrites the PNGs next to this file
The PNGs are committed; run this again only after changing a picture.
"""

import math
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


# ---------------------------------------------------------------- PNG output
def write_png(path, width, height, rgba_rows):
    """rgba_rows: list of rows, each a list of (r, g, b, a) tuples."""
    raw = bytearray()
    for row in rgba_rows:
        raw.append(0)  # filter type none
        for r, g, b, a in row:
            raw += bytes((r, g, b, a))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


# ---------------------------------------------------------------- pixel canvas
class Image:
    def __init__(self, width, height):
        self.w, self.h = width, height
        self.px = [[(0, 0, 0, 0)] * width for _ in range(height)]

    def put(self, x, y, colour):
        if 0 <= x < self.w and 0 <= y < self.h:
            if len(colour) == 3:
                colour = (*colour, 255)
            self.px[y][x] = colour

    def get(self, x, y):
        return self.px[y][x]

    def fill_rect(self, x0, y0, x1, y1, colour):
        """Inclusive corners."""
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.put(x, y, colour)

    def frame(self, x0, y0, x1, y1, colour):
        for x in range(x0, x1 + 1):
            self.put(x, y0, colour)
            self.put(x, y1, colour)
        for y in range(y0, y1 + 1):
            self.put(x0, y, colour)
            self.put(x1, y, colour)

    def line(self, x0, y0, x1, y1, colour):
        """Bresenham, both ends included."""
        dx, dy = abs(x1 - x0), -abs(y1 - y0)
        sx, sy = (1 if x0 < x1 else -1), (1 if y0 < y1 else -1)
        err = dx + dy
        while True:
            self.put(x0, y0, colour)
            if x0 == x1 and y0 == y1:
                return
            e2 = 2 * err
            if e2 >= dy:
                err += dy
                x0 += sx
            if e2 <= dx:
                err += dx
                y0 += sy

    def polygon(self, points, colour):
        """Fills the pixels whose centres lie inside (even-odd rule)."""
        for y in range(self.h):
            cy = y + 0.5
            xs = []
            for i in range(len(points)):
                (ax, ay), (bx, by) = points[i], points[(i + 1) % len(points)]
                if (ay <= cy < by) or (by <= cy < ay):
                    xs.append(ax + (cy - ay) * (bx - ax) / (by - ay))
            xs.sort()
            for a, b in zip(xs[0::2], xs[1::2]):
                for x in range(self.w):
                    if a <= x + 0.5 < b:
                        self.put(x, y, colour)

    def pattern(self, x0, y0, rows, palette):
        """Rows of characters; each character is a palette key, '.' transparent."""
        for j, row in enumerate(rows):
            for i, ch in enumerate(row):
                if ch != ".":
                    self.put(x0 + i, y0 + j, palette[ch])

    def rows(self):
        return self.px


# ---------------------------------------------------------------- glyphs
GLYPHS = {
    "A": ["..###..", ".##.##.", "##...##", "##...##", "##...##", "#######",
          "#######", "##...##", "##...##", "##...##", "##...##"],
    "4": ["....##.", "...###.", "..####.", ".##.##.", "##..##.", "##..##.",
          "#######", "#######", "....##.", "....##.", "....##."],
    "c": [".####.", "##..##", "##....", "##....", "##....", "##..##", ".####."],
    "m": ["###.##..", "##.####.", "##.##.##", "##.##.##", "##.##.##",
          "##.##.##", "##.##.##"],
    "d": ["....##", "....##", "....##", ".#####", "##..##", "##..##", "##..##",
          "##..##", "##..##", ".#####"],
    "p": ["#####.", "##..##", "##..##", "##..##", "##..##", "##..##", "#####.",
          "##....", "##....", "##...."],
    "i": ["##", "##", "..", "##", "##", "##", "##", "##", "##", "##"],
}


def text(img, x, y, glyph_tops, colour):
    """glyph_tops: list of (char, top offset)."""
    for ch, top in glyph_tops:
        rows = GLYPHS[ch]
        img.pattern(x, y + top, [r.replace("#", "k") for r in rows], {"k": colour})
        x += len(rows[0]) + 1


# ---------------------------------------------------------------- toolbar
INK = (0, 0, 0)
NAVY = (0, 0, 128)


def tool_open_folder():
    img = Image(20, 20)
    dark, back, front = (128, 96, 0), (224, 176, 32), (255, 224, 96)
    # back of the folder with its tab
    img.fill_rect(2, 5, 7, 6, back)
    img.frame(2, 4, 7, 6, dark)
    img.fill_rect(2, 6, 15, 16, back)
    img.frame(2, 6, 15, 16, dark)
    # a sheet of paper sticking out
    img.fill_rect(5, 3, 13, 9, (255, 255, 255))
    img.frame(5, 3, 13, 9, (128, 128, 128))
    # the front flap, open towards the viewer
    flap = [(5.5, 9.5), (18.5, 9.5), (15.5, 16.5), (2.5, 16.5)]
    img.polygon(flap, front)
    img.line(5, 9, 18, 9, dark)
    img.line(18, 9, 15, 16, dark)
    img.line(5, 9, 2, 16, dark)
    img.line(2, 16, 15, 16, dark)
    return img


def tool_painting():
    img = Image(20, 20)
    frame_c = (128, 64, 0)
    img.fill_rect(1, 3, 13, 14, (128, 192, 255))  # sky
    img.polygon([(1.5, 14.5), (1.5, 10.5), (5.5, 7.5), (9.5, 10.5), (13.5, 9.5), (13.5, 14.5)],
                (0, 160, 0))  # hills
    img.fill_rect(9, 5, 11, 6, (255, 224, 0))  # sun
    img.put(10, 4, (255, 224, 0))
    img.put(10, 7, (255, 224, 0))
    img.frame(0, 2, 14, 15, frame_c)
    img.frame(1, 3, 13, 14, (192, 128, 64))
    # the brush, leaning over the picture's corner
    for i in range(6):
        img.put(18 - i, 1 + i, (160, 96, 32))
        img.put(19 - i, 1 + i, (128, 64, 0))
    img.fill_rect(12, 7, 13, 8, (192, 192, 192))
    img.put(14, 7, (128, 128, 128))
    img.put(11, 9, (128, 128, 128))
    img.pattern(8, 9, ["..rr", ".rrr", "rrr.", "rr..", "r..."], {"r": (224, 0, 0)})
    return img


def tool_clipboard():
    img = Image(20, 20)
    board, board_dark = (176, 120, 56), (112, 72, 24)
    img.fill_rect(3, 3, 16, 19, board)
    img.frame(3, 3, 16, 19, board_dark)
    img.fill_rect(5, 5, 14, 17, (255, 255, 255))
    img.frame(5, 5, 14, 17, (128, 128, 128))
    for y in (8, 10, 12, 14):
        img.line(7, y, 12, y, (96, 96, 160))
    # the metal clip
    img.fill_rect(7, 1, 12, 5, (208, 208, 208))
    img.frame(7, 1, 12, 5, (96, 96, 96))
    img.fill_rect(9, 0, 10, 1, (96, 96, 96))
    return img


def tool_select_all():
    img = Image(20, 20)
    # dotted frame of the paper
    for x in range(0, 20, 2):
        img.put(x, 0, (128, 128, 128))
        img.put(x, 19, (128, 128, 128))
    for y in range(0, 20, 2):
        img.put(0, y, (128, 128, 128))
        img.put(19, y, (128, 128, 128))
    # four arrows from the middle into the corners, two pixels thick
    for sx, sy in ((-1, -1), (1, -1), (-1, 1), (1, 1)):
        tip_x = 2 if sx < 0 else 17
        tip_y = 2 if sy < 0 else 17
        start_x, start_y = tip_x - sx * 5, tip_y - sy * 5
        img.line(start_x, start_y, tip_x, tip_y, NAVY)
        img.line(start_x - sx, start_y, tip_x, tip_y + sy * 0, NAVY)
        img.line(start_x, start_y - sy, tip_x, tip_y, NAVY)
        for k in range(5):  # the head: a right angle in the corner
            img.put(tip_x - sx * k, tip_y, NAVY)
            img.put(tip_x, tip_y - sy * k, NAVY)
    return img


def tool_letters(glyphs, x, y, colour=NAVY):
    img = Image(20, 20)
    text(img, x, y, glyphs, colour)
    return img


def tool_discs():
    img = Image(20, 20)
    centres = [((7.0, 7.0), (255, 0, 0)), ((13.0, 7.0), (0, 255, 0)), ((10.0, 12.5), (0, 0, 255))]
    radius = 5.6
    for y in range(20):
        for x in range(20):
            r = g = b = 0
            inside = False
            for (cx, cy), (cr, cg, cb) in centres:
                if (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= radius * radius:
                    r, g, b = r | cr, g | cg, b | cb  # light adds up where they overlap
                    inside = True
            if inside:
                img.put(x, y, (r, g, b))
    # thin dark rims so the discs read on a light toolbar
    for (cx, cy), _ in centres:
        for step in range(120):
            a = 2 * math.pi * step / 120
            x, y = int(cx + (radius + 0.2) * math.cos(a)), int(cy + (radius + 0.2) * math.sin(a))
            if img.get(x, y)[3] == 0:
                img.put(x, y, (64, 64, 64))
    return img


TOOLBAR = [
    ("tool0_open.png", tool_open_folder),
    ("tool1_bmp.png", tool_painting),
    ("tool2_clipboard.png", tool_clipboard),
    ("tool3_select_all.png", tool_select_all),
    ("tool4_a4.png", lambda: tool_letters([("A", 0), ("4", 0)], 2, 4)),
    ("tool5_cm.png", lambda: tool_letters([("c", 0), ("m", 0)], 2, 8)),
    ("tool6_colour.png", tool_discs),
    ("tool7_dpi.png", lambda: tool_letters([("d", 0), ("p", 3), ("i", 0)], 2, 3)),
]


# ---------------------------------------------------------------- cursor
HAND = [
    ".......##.......",
    "...##.#oo###....",
    "..#oo##oo#oo#...",
    "..#oo##oo#oo#.#.",
    "...#oo#oo#oo##o#",
    "...#oo#oo#oo#oo#",
    ".##.#ooooooo#oo#",
    "#oo##oooooooooo#",
    "#ooo#ooooooooo#.",
    ".#oooooooooooo#.",
    "..#ooooooooooo#.",
    "..#oooooooooo#..",
    "...#ooooooooo#..",
    "....#ooooooo#...",
    ".....#oooooo#...",
    ".....#oooooo#...",
]


def cursor_open_hand():
    img = Image(32, 32)
    img.pattern(0, 0, HAND, {"#": (0, 0, 0), "o": (255, 255, 255)})
    return img


# ---------------------------------------------------------------- icon
def icon(size):
    """A sheet of paper with a floor plan and the red selection box, drawn at
    4 x 4 samples per pixel."""
    ss = 4
    n = size * ss
    u = n / 32.0  # design units: the icon is designed on a 32 x 32 grid

    def inside_sheet(x, y):
        fold = 7 * u
        if not (4 * u <= x < 28 * u and 2 * u <= y < 30 * u):
            return None
        if x - (28 * u - fold) > y - 2 * u:  # the folded corner is cut away
            return None
        edge = min(x - 4 * u, 28 * u - x, y - 2 * u, 30 * u - y)
        if edge < 0.9 * u:
            return (96, 96, 112)
        if abs((x - (28 * u - fold)) - (y - 2 * u)) < 0.9 * u:
            return (96, 96, 112)
        return (255, 255, 255)

    def fold_part(x, y):
        fold = 7 * u
        fx, fy = x - (28 * u - fold), y - 2 * u
        if 0 <= fx < fold and 0 <= fy < fold and fx > fy:
            return None
        if 0 <= fx <= fold and 0 <= fy <= fold and fx <= fy + 0.01:
            return (210, 210, 225) if fx < fy - 0.9 * u and fy < fold - 0.9 * u else (96, 96, 112)
        return None

    walls = [  # floor plan in design units (x0, y0, x1, y1)
        (7, 9, 22, 9), (7, 9, 7, 26), (7, 26, 24, 26), (24, 14, 24, 26),
        (15, 9, 15, 18), (7, 18, 19, 18), (22, 9, 24, 14),
    ]

    def on_wall(x, y):
        for x0, y0, x1, y1 in walls:
            ax, ay, bx, by = x0 * u, y0 * u, x1 * u, y1 * u
            dx, dy = bx - ax, by - ay
            t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
            if math.hypot(x - (ax + t * dx), y - (ay + t * dy)) < 0.75 * u:
                return True
        return False

    def on_box(x, y):
        x0, y0, x1, y1 = 11 * u, 13 * u, 27 * u, 28 * u
        w = 0.8 * u
        near_v = (abs(x - x0) < w or abs(x - x1) < w) and y0 - w < y < y1 + w
        near_h = (abs(y - y0) < w or abs(y - y1) < w) and x0 - w < x < x1 + w
        return near_v or near_h

    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(ss):
                for sx in range(ss):
                    x, y = px * ss + sx + 0.5, py * ss + sy + 0.5
                    c = None
                    if on_box(x, y):
                        c = (224, 0, 0)
                    else:
                        c = fold_part(x, y) or inside_sheet(x, y)
                        if c == (255, 255, 255) and on_wall(x, y):
                            c = (0, 64, 192)
                    if c is not None:
                        acc[0] += c[0]
                        acc[1] += c[1]
                        acc[2] += c[2]
                        acc[3] += 255
            count = acc[3] // 255
            if count == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append((acc[0] // count, acc[1] // count, acc[2] // count,
                            acc[3] // (ss * ss)))
        rows.append(row)
    return rows


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else HERE
    os.makedirs(os.path.join(out, "toolbar"), exist_ok=True)
    os.makedirs(os.path.join(out, "cursors"), exist_ok=True)
    os.makedirs(os.path.join(out, "icons"), exist_ok=True)
    for name, draw in TOOLBAR:
        img = draw()
        write_png(os.path.join(out, "toolbar", name), 20, 20, img.rows())
    hand = cursor_open_hand()
    write_png(os.path.join(out, "cursors", "user1_open_hand.png"), 32, 32, hand.rows())
    for size in (16, 32, 48, 64, 128, 256):
        write_png(os.path.join(out, "icons", "pelmora-%d.png" % size), size, size, icon(size))


if __name__ == "__main__":
    main()
