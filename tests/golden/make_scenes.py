#!/usr/bin/env python3
"""Writes the canvas golden scenes, tests/golden/scenes/*.gdi.

The scenes are scripts for the GDI oracle (../shared/tools/gdi-oracle); the
reference bitmaps are what GDI paints for them (regenerate.sh), and
tests/unit/canvas_golden_test.cpp draws the same scripts on our Canvas.

A line "#= exact" in a scene asks for identical pixels; "#= share F" for at
least the share F of identical pixels among those either side painted. A line
"#! one figure per run" makes regenerate.sh draw each figure in its own oracle
process (one_figure_per_run.py).

The random scenes keep clear of a few places where Wine's GDI is known to go
wrong (pixels far outside the figure), none of which the program draws:
coordinates beyond about 2^27, exclusive-or ellipses with a hatch brush,
and ellipses drawn after the brush changed or after a very different ellipse
(their top and bottom rows come out too long at times; the grid scenes draw
each box just after a similar one). Colour
tables are always full (a short table is matched differently by Wine's hatch
brushes and pens).

Run from anywhere; the output is deterministic.
"""

import os
import random

HERE = os.path.dirname(os.path.abspath(__file__))
SCENES = os.path.join(HERE, "scenes")


# White, black, then colours: index 1 is the outline and 2 the inside in the
# shape scenes.
PALETTE16 = ("palette 255,255,255 0,0,0 0,0,255 255,0,0 0,160,0 255,255,0 0,255,255 255,0,255 "
             "128,128,128 64,64,64 128,0,0 0,128,0 0,0,128 128,128,0 0,128,128 128,0,128")


def rgb(r):
    return f"{r.randrange(256)},{r.randrange(256)},{r.randrange(256)}"


def write(name, lines, expect="exact", comment="", one_figure_per_run=False):
    text = []
    if comment:
        text += ["# " + c for c in comment.strip().splitlines()]
    text.append(f"#= {expect}")
    if one_figure_per_run:
        text.append("#! one figure per run")
    text += lines
    with open(os.path.join(SCENES, name + ".gdi"), "w") as f:
        f.write("\n".join(text) + "\n")


def lines_octants():
    out = ["image 320 240 24", "fill 0xFFFFFF"]
    # From the centre of each cell, one line in each of 24 directions
    # (every octant, exact half and unit slopes, both ways along each).
    dirs = [(12, 0), (12, 3), (12, 6), (12, 12), (6, 12), (3, 12), (0, 12), (-3, 12),
            (-6, 12), (-12, 12), (-12, 6), (-12, 3), (-12, 0), (-12, -3), (-12, -6),
            (-12, -12), (-6, -12), (-3, -12), (0, -12), (3, -12), (6, -12), (12, -12),
            (12, -6), (12, -3), (8, 4), (4, 8), (-8, 4), (-4, -8), (10, 3), (3, 10),
            (0, 0), (1, 0), (0, 1), (1, 1), (-1, 0), (2, 1)]
    for i, (dx, dy) in enumerate(dirs):
        cx, cy = 20 + (i % 9) * 34, 20 + (i // 9) * 34
        out += [f"pen {0x101010 * (i % 8) + 0x0000C0:#08x} 1", f"moveto {cx} {cy}",
                f"lineto {cx + dx} {cy + dy}"]
    # The same directions drawn there and back under exclusive-or: only the
    # two ends change, whatever the slope.
    out.append("rop xor")
    for i, (dx, dy) in enumerate(dirs[:24]):
        cx, cy = 20 + (i % 9) * 34, 160 + (i // 9) * 30
        out += ["pen 0xFFFFFF 1", f"moveto {cx} {cy}", f"lineto {cx + dx} {cy + dy}",
                f"lineto {cx} {cy}"]
    write("lines_octants", out, comment="One-pixel lines in every octant and both directions, "
          "exact half slopes,\nlines from a point to itself, there-and-back strokes under XOR.")


def lines_random(seed, name, xor):
    r = random.Random(seed)
    w, h = 300, 200
    out = [f"image {w} {h} 24", "fill 0xFFFFFF"] + (["rop xor"] if xor else [])
    for _ in range(400):
        out.append(f"pen {r.randrange(1 << 24):#08x} 1")
        k = r.random()
        if k < 0.25:
            # From far away, through the bitmap (clipping keeps the exact path).
            far = r.choice([1000, 100000, 3000000, 30000000])
            x, y = r.randint(-far, far), r.randint(-far, far)
            tx, ty = r.randrange(w), r.randrange(h)
            m = r.randint(1, 3)
            x2, y2 = tx + (tx - x) * m, ty + (ty - y) * m
        else:
            length = r.choice([1, 2, 3, 10, 40, 200, 2000])
            x, y = r.randrange(-20, w + 20), r.randrange(-20, h + 20)
            x2, y2 = x + r.randint(-length, length), y + r.randint(-length, length)
        out += [f"moveto {x} {y}", f"lineto {x2} {y2}"]
        if xor and r.random() < 0.2:
            out.append(f"lineto {x} {y}")
    write(name, out, comment="Random one-pixel lines, many starting or ending far outside the "
          "bitmap." + ("\nExclusive-or shows every pixel painted an odd number of times." if xor else ""))


def there_and_back_stroke(out, ax, ay, bx, by):
    # How the line types paint a stroke with both ends: LineTo B, LineTo A,
    # MoveTo B (the canvas test also draws it in one pass).
    out += [f"lineto {bx} {by}", f"lineto {ax} {ay}", f"moveto {bx} {by}"]


def dashed(out, x0, y0, x1, y1, pattern):
    """A dashed segment cut as the line types cut it, from the start of the
    pattern: dashes are LineTo, gaps MoveTo, and the dash the end cuts is
    painted there and back."""
    dx, dy = x1 - x0, y1 - y0
    remaining = (dx * dx + dy * dy) ** 0.5
    ux, uy = dx / remaining, dy / remaining
    x, y = float(x0), float(y0)
    out.append(f"moveto {x0} {y0}")
    pos = (x0, y0)
    while True:
        for k, element in enumerate(pattern):
            dash = k % 2 == 0
            if element > remaining:
                if dash:
                    there_and_back_stroke(out, pos[0], pos[1], x1, y1)
                else:
                    out.append(f"moveto {x1} {y1}")
                return
            x, y = x + element * ux, y + element * uy
            pos = (round(x), round(y))
            out.append(f"{'lineto' if dash else 'moveto'} {pos[0]} {pos[1]}")
            remaining -= element


def there_and_back():
    r = random.Random(11)
    w, h = 240, 160
    out = [f"image {w} {h} 24", "fill 0xFFFFFF"]
    # Short strokes from the centre of each cell, zero length among them, with
    # one-pixel and wide pens.
    dirs = [(0, 0), (1, 0), (0, 1), (-1, 0), (0, -1), (1, 1), (-1, 1), (2, 1), (1, 2), (12, 0),
            (0, 12), (12, 5), (-12, 5), (5, -12), (0, 0)]
    for row, width in enumerate((1, 1, 2, 3, 5)):
        for i, (dx, dy) in enumerate(dirs):
            ax, ay = 8 + i * 15, 8 + row * 18
            out += [f"pen {0x0000C0 + 0x100800 * (i % 4):#08x} {width}", f"moveto {ax} {ay}"]
            there_and_back_stroke(out, ax, ay, ax + dx, ay + dy)
    # Points on and just beyond every edge.
    out.append("pen 0x000000 1")
    for ax, ay in [(0, 0), (w - 1, 0), (0, h - 1), (w - 1, h - 1), (-1, 40), (w, 40), (60, -1),
                   (60, h), (120, 0), (0, 100)]:
        out.append(f"moveto {ax} {ay}")
        there_and_back_stroke(out, ax, ay, ax, ay)
    # Dashed lines whose length is an exact multiple of the pattern (the dash
    # after the last gap has no length left), and one pixel shorter or longer:
    # type 2's pattern (3 on, 3 off) and type 5's (33, 5, 3, 5).
    out.append("pen 0x802000 1")
    for i, (dx, dy) in enumerate([(12, 0), (11, 0), (13, 0), (-12, 0), (0, 12), (0, -12),
                                  (18, 24), (-24, 18), (6, 0), (0, 6)]):
        x = 6 + i * 22 + (24 if dx < 0 else 0)
        y = 96 + (12 if dy < 0 else 0)
        dashed(out, x, y, x + dx, y + dy, (3, 3))
    out.append("pen 0x008020 1")
    for i, (dx, dy) in enumerate([(46, 0), (92, 0), (45, 0), (47, 0), (-46, 0)]):
        x = 6 + (i % 2) * 110 + (46 if dx < 0 else 0)
        y = 126 + (i // 2) * 6
        dashed(out, x, y, x + dx, y + dy, (33, 5, 3, 5))
    # Random strokes, a fifth of them from a point to itself.
    for _ in range(150):
        out.append(f"pen {r.randrange(1 << 24):#08x} {r.choice([1, 1, 1, 2, 3])}")
        ax, ay = r.randrange(-5, w + 5), r.randrange(-5, h + 5)
        bx, by = (ax, ay) if r.random() < 0.2 else (ax + r.randint(-30, 30), ay + r.randint(-30, 30))
        out.append(f"moveto {ax} {ay}")
        there_and_back_stroke(out, ax, ay, bx, by)
    write("there_and_back", out, comment="Strokes there and back as the line types paint them "
          "(LineTo B, LineTo A, MoveTo B):\nzero length, one pixel, dashed lines ending on a "
          "whole pattern, points on the edges.")


def wide_pens():
    out = ["image 400 300 24", "fill 0xFFFFFF"]
    dirs = [(14, 0), (14, 5), (10, 10), (5, 14), (0, 14), (-5, 14), (-14, 5), (-14, -5), (5, -14),
            (0, 0)]
    y = 20
    for width in (2, 3, 5, 8, 15):
        step = 36 if width < 15 else 40
        for i, (dx, dy) in enumerate(dirs):
            cx = 22 + i * step
            out += [f"pen {0x203040 * (i % 4) + 0x000080:#08x} {width}", f"moveto {cx} {y}",
                    f"lineto {cx + dx} {y + dy}"]
        y += 26 if width < 8 else 34 if width < 15 else 44
    # The solid line type's there-and-back stroke: LineTo B, LineTo A, MoveTo B.
    for i, width in enumerate((2, 3, 5, 8, 15)):
        ax, ay = 30 + i * 75, 210
        bx, by = ax + 40, ay + 17 - i * 7
        out += [f"pen 0x{0x30 * i:02x}4080 {width}", f"moveto {ax} {ay}", f"lineto {bx} {by}",
                f"lineto {ax} {ay}", f"moveto {bx} {by}", f"lineto {bx + 10} {by + 25}",
                f"lineto {bx} {by}", f"moveto {bx + 10} {by + 25}"]
    # Under exclusive-or each LineTo is painted on its own: overlaps cancel.
    out.append("rop xor")
    for i, width in enumerate((2, 3, 5, 8, 15)):
        ax, ay = 30 + i * 75, 270
        out += [f"pen 0xFFFFFF {width}", f"moveto {ax} {ay}", f"lineto {ax + 40} {ay + 9}",
                f"lineto {ax} {ay}", f"moveto {ax + 40} {ay + 9}", f"lineto {ax + 40} {ay - 12}"]
    write("wide_pens", out, comment="Pens of 2, 3, 5, 8 and 15 pixels: directions, dots, "
          "the solid line type's\nthere-and-back strokes, joins, exclusive-or overlaps.")


def wide_random():
    r = random.Random(7)
    out = ["image 400 300 24", "fill 0xFFFFFF"]
    for _ in range(250):
        width = r.choice([2, 3, 4, 5, 6, 7, 8, 9, 10, 12, 15, 20, 25, 33])
        out.append("rop xor" if r.random() < 0.3 else "rop copy")
        out.append(f"pen {r.randrange(1 << 24):#08x} {width}")
        x, y = r.randint(-60, 460), r.randint(-60, 360)
        out.append(f"moveto {x} {y}")
        for _ in range(r.randint(1, 3)):
            x, y = r.randint(-200, 600), r.randint(-200, 500)
            if r.random() < 0.5:
                x, y = x // 8 + 150, y // 8 + 120  # short segments as well
            out.append(f"lineto {x} {y}")
    write("wide_random", out, comment="Random wide-pen polylines, copy and exclusive-or, "
          "partly outside the bitmap.")


def rects():
    # 4 bits: index 1 outline, index 2 inside, on white.
    out = [PALETTE16,
           "image 640 400 4", "fill 0xFFFFFF"]
    groups = [(1, "solid 0x0000FF"), (1, "clear"), (1, "cross 0x00A000"), (2, "solid 0x0000FF"),
              (3, "solid 0x0000FF"), (5, "clear")]
    for g, (width, brush) in enumerate(groups):
        out += [f"pen 0x000000 {width}", f"brush {brush}"]
        ox, oy = 10 + (g % 3) * 210, 10 + (g // 3) * 200
        for w in range(0, 10):
            for h in range(0, 10):
                x, y = ox + 6 + w * 20, oy + 6 + h * 19
                if (w + h) % 3 == 0:  # corners given in every order
                    out.append(f"rect {x + w} {y + h} {x} {y}")
                else:
                    out.append(f"rect {x} {y} {x + w} {y + h}")
    write("rects", out, comment="Rectangle 0x0 to 9x9 with solid, clear and hatched brushes, "
          "one-pixel and wide pens,\ncorners in any order.")


def rects_large():
    r = random.Random(3)
    out = ["image 320 240 24", "fill 0xFFFFFF"]
    for _ in range(60):
        w, h = r.choice([r.randint(1, 30), r.randint(30, 400)]), r.choice([r.randint(1, 30), r.randint(30, 400)])
        x, y = r.randint(-w, 320), r.randint(-h, 240)
        out.append("rop xor" if r.random() < 0.3 else "rop copy")
        out += [f"pen {r.randrange(1 << 24):#08x} {r.choice([1, 1, 1, 2, 3, 6])}",
                r.choice(["brush clear", f"brush solid {rgb(r)}", f"brush cross {rgb(r)}"]),
                f"rect {x} {y} {x + w} {y + h}"]
    write("rects_large", out, comment="Large and small rectangles, partly outside, in copy "
          "and exclusive-or modes.")


def ellipses_small():
    # In this order (each box one pixel taller than the one before) Wine's
    # ellipses come out clean.
    out = ["image 486 486 24", "fill 0xFFFFFF", "pen 0x000000 1", "brush solid 0x0000FF"]
    for w in range(1, 21):
        for h in range(1, 21):
            x, y = 4 + (w - 1) * 24, 4 + (h - 1) * 24
            out.append(f"ellipse {x} {y} {x + w} {y + h}")
    write("ellipses_small", out, comment="Ellipse in every box from 1x1 to 20x20: outline "
          "pixels (black) and inside (red).")


def ellipses_thin():
    # Boxes under 3 pixels wide or high are only outlined (as a closed path,
    # so under exclusive-or a one-pixel-high box keeps just its two ends).
    # With a brush Wine paints stray rows around them, so the brush is clear.
    out = ["image 300 160 24", "fill 0xFFFFFF", "brush clear"]
    y = 4
    for mode in ("copy", "xor"):
        out.append(f"rop {mode}")
        for width in (1, 2, 3):
            out.append(f"pen {0x0000C0 if mode == 'copy' else 0xFFFF00:#08x} {width}")
            x = 6
            for w, h in [(1, 1), (1, 2), (2, 1), (2, 2), (1, 7), (7, 1), (2, 7), (7, 2), (0, 5),
                         (5, 0), (2, 12), (12, 2)]:
                out.append(f"ellipse {x} {y} {x + w} {y + h}")
                x += w + 10
            y += 24
    write("ellipses_thin", out, comment="Ellipses in boxes under three pixels wide or high, "
          "one-pixel and wide pens,\ncopy and exclusive-or.")


def ellipses_large():
    r = random.Random(5)
    out = ["image 400 300 24", "fill 0xFFFFFF"]
    for _ in range(70):
        w = r.choice([r.randint(5, 40), r.randint(40, 400), r.randint(400, 3000)])
        h = r.choice([r.randint(5, 40), r.randint(40, 400), r.randint(400, 3000)])
        x, y = r.randint(-w, 400), r.randint(-h, 300)
        out += [f"pen {r.randrange(1 << 24):#08x} 1",
                r.choice(["brush clear", f"brush solid {rgb(r)}"]),
                f"ellipse {x} {y} {x + w} {y + h}"]
    write("ellipses_large", out, comment="Large ellipses, many partly outside the bitmap.")


def ellipses_wide():
    out = ["image 500 380 24", "fill 0xFFFFFF", "brush solid 0x0000FF"]
    for k, width in enumerate((2, 3, 5, 8)):
        out.append(f"pen 0x000000 {width}")
        for i, w in enumerate(range(3, 25, 3)):
            for j, h in enumerate(range(3, 24, 4)):
                x = 8 + i * 31 + (k % 2) * 250
                y = 8 + j * 31 + (k // 2) * 190
                out.append(f"ellipse {x} {y} {x + w} {y + h}")
    write("ellipses_wide", out, comment="Ellipses with wide pens. Wine paints stray pixels "
          "around an ellipse after others\nin one process, so regenerate.sh draws each in "
          "its own.", one_figure_per_run=True)


def xor_boxes():
    out = ["image 320 200 24", "fill 0xFFFFFF"]
    for i, c in enumerate(["0x0000FF", "0x00FF00", "0xFF0000", "0x808080", "0x000000"]):
        out += [f"pen {c} 1", f"brush solid {c}", f"rect {160 + i * 32} 0 {192 + i * 32} 200"]
    once = ["rop xor"]
    # The selection box: four lines and eight handle rectangles, clear brush.
    x1, y1, x2, y2 = 40, 30, 280, 170
    once += ["pen 0xFFFF00 1", "brush clear", f"moveto {x1} {y1}", f"lineto {x1} {y2}",
             f"lineto {x2} {y2}", f"lineto {x2} {y1}", f"lineto {x1} {y1}"]
    mx, my = (x1 + x2) // 2, (y1 + y2) // 2
    for cx, cy in [(x1, y1), (x1, y2), (x2, y1), (x2, y2), (mx, y1), (x1, my), (x2, my), (mx, y2)]:
        once.append(f"rect {cx - 4} {cy - 4} {cx + 4} {cy + 4}")
    # Filled figures, thin figures and wide strokes.
    once += ["pen 0xFFFFFF 1", "brush solid 0x808080", "rect 60 50 100 80", "ellipse 110 50 150 90",
             "rect 60 100 61 140", "rect 70 100 90 101", "ellipse 100 100 102 130",
             "ellipse 110 100 140 101", "ellipse 170 40 250 71", "ellipse 170 80 251 120",
             "pen 0x00FFFF 3", "brush clear", "rect 190 130 230 160", "pen 0xFF00FF 4",
             "moveto 20 190", "lineto 300 10", "lineto 150 195"]
    # A zero box: four zero-length lines and eight coinciding handles.
    once += ["pen 0xFFFF00 1", "brush clear", "moveto 0 0", "lineto 0 0", "lineto 0 0",
             "lineto 0 0", "lineto 0 0"] + ["rect -4 -4 4 4"] * 8
    write("xor_once", out + once, comment="Exclusive-or figures drawn once over white and "
          "coloured stripes: which\npixels each figure changes an odd number of times.")
    write("xor_twice", out + once + once[1:], comment="The same figures drawn twice: the "
          "bitmap comes back unchanged.")


def hatch():
    out = ["image 200 120 24", "fill 0xFFFFFF", "brush cross 0xFF0000",
           "pen 0x000000 1", "rect 2 2 18 18", "rect 27 5 43 21", "rect 51 3 90 40",
           "ellipse 100 4 140 44", "ellipse 150 10 190 30", "brush cross 0x0000FF",
           "rect 5 60 80 110", "ellipse 90 55 190 115"]
    write("hatch", out, comment="HS_DIAGCROSS anchored at the bitmap's (0, 0), in "
          "rectangles and ellipses.")


def colour_scene(name, header, r, bk=False, comment=""):
    out = list(header)
    for _ in range(300):
        if bk and r.random() < 0.2:
            out.append(f"bkcolor {r.choice([rgb(r), '0x000000', '0xFFFFFF'])}")
        xor = r.random() < 0.25
        out.append("rop xor" if xor else "rop copy")
        width = r.choice([1, 1, 1, 3])
        out.append(f"pen {rgb(r)} {width}")
        styles = ["brush clear", f"brush solid {rgb(r)}"] + ([] if xor else [f"brush cross {rgb(r)}"])
        out.append(r.choice(styles))
        x, y = r.randint(0, 180), r.randint(0, 130)
        k = r.random()
        if k < 0.3:
            out += [f"moveto {x} {y}", f"lineto {r.randint(0, 200)} {r.randint(0, 150)}"]
        elif k < 0.6:
            out.append(f"rect {x} {y} {x + r.randint(2, 30)} {y + r.randint(2, 30)}")
        elif k < 0.85:
            if width > 1:
                out[-2] = out[-2][: out[-2].rfind(" ")] + " 1"
            if out[-1].startswith("brush cross"):
                out[-1] = f"brush solid {rgb(r)}"
            out.append(f"ellipse {x} {y} {x + r.randint(5, 30)} {y + r.randint(5, 30)}")
        else:
            out.append(f"pixel {x} {y} {rgb(r)}")
    write(name, out, comment=comment)


def colours():
    r = random.Random(31)
    table16 = " ".join(rgb(r) for _ in range(16))
    colour_scene("palette4", [f"palette {table16}", "image 200 150 4"], r,
                 comment="Nearest-colour matching into a custom 16-entry table: pens, brushes,\n"
                 "SetPixel, exclusive-or of indices.")
    colour_scene("palette4_default", ["palette default", "image 200 150 4"], r,
                 comment="The default 16 colours of a 4-bit bitmap.")
    table256 = " ".join(rgb(r) for _ in range(256))
    colour_scene("palette8", [f"palette {table256}", "image 200 150 8"], r,
                 comment="Nearest-colour matching into a custom 256-entry table.")
    colour_scene("halftone8", ["palette default", "image 200 150 8"], r,
                 comment="The halftone table of an 8-bit bitmap (the test takes it from the "
                 "reference).")
    colour_scene("mono1", ["image 200 150 1"], r, bk=True,
                 comment="1 bit: pens and brushes not black or white take the entry the background\n"
                 "colour does not; SetPixel takes the nearest.")
    colour_scene("rgb16", ["image 200 150 16"], r,
                 comment="5-6-5: each channel truncated; exclusive-or of the words.")
    # Exact ties and the cases the oracle's README lists.
    out = ["palette 255,255,255 0,0,0 0,160,0 128,128,128 192,192,192 0,0,255 255,0,0 "
           "0,255,0 255,255,0 0,255,255 255,0,255 128,0,0 0,128,0 0,0,128 128,128,0 64,64,64",
           "image 64 16 4", "fill 0xFFFFFF"]
    for i, c in enumerate(["64,64,64", "32,32,32", "0,80,0", "96,96,96", "160,160,160",
                           "0,0,0", "255,255,255", "1,2,3"]):
        out += [f"pen {c} 1", f"brush solid {c}",
                f"rect {2 + i * 7} 2 {8 + i * 7} 8", f"pixel {4 + i * 7} 11 {c}"]
    write("palette_ties", out, comment="Colours exactly between two entries take the lower index.")


def main():
    os.makedirs(SCENES, exist_ok=True)
    lines_octants()
    lines_random(1, "lines_random", xor=False)
    lines_random(2, "lines_random_xor", xor=True)
    wide_pens()
    there_and_back()
    wide_random()
    rects()
    rects_large()
    ellipses_small()
    ellipses_thin()
    ellipses_large()
    ellipses_wide()
    xor_boxes()
    hatch()
    colours()


if __name__ == "__main__":
    main()
