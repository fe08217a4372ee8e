#!/usr/bin/env python3
"""Makes the reference of a scene by drawing each of its figures in a fresh
oracle process, then laying the results over each other in drawing order.

Wine's GDI keeps data from one ellipse to the next inside a process (rows of
an earlier ellipse show up as stray pixels around a later one), so a scene of
many ellipses cannot be drawn in one run. regenerate.sh uses this for scenes
with the line "#! one figure per run".

    one_figure_per_run.py ORACLE_RUN_SH SCENE.gdi OUT.bmp

Each run holds every state command of the scene up to the figure (image,
palette, fill before the first figure, pen, brush, moveto) and the figure
alone. The scene must draw in copy mode, at 8, 16 or 24 bits, and no figure
may paint the background's own value: a pixel a run changed is then the
figure's, and the last figure to change it wins, as in one run.
"""

import os
import subprocess
import sys
import tempfile

FIGURES = ("ellipse", "rect", "lineto", "pixel")
STATE = ("palette", "image", "fill", "pen", "brush", "bkcolor", "bkmode", "moveto")


def split(lines):
    """(prefix of state lines, [state lines before figure i + figure i])."""
    state, runs, seen_figure = [], [], False
    for line in lines:
        words = line.split()
        if not words or words[0].startswith("#"):
            continue
        command = words[0]
        if command == "rop" and words[1:] != ["copy"]:
            sys.exit(f"one_figure_per_run.py: only copy mode can be laid over ({line})")
        if command == "fill" and seen_figure:
            sys.exit("one_figure_per_run.py: a fill after the first figure cannot be laid over")
        if command in FIGURES:
            seen_figure = True
            runs.append(state + [line])
            if command == "lineto":
                state.append(f"moveto {words[1]} {words[2]}")
        elif command in STATE or command == "rop":
            state.append(line)
        else:
            sys.exit(f"one_figure_per_run.py: unknown command '{command}'")
    return [l for l in state if l.split()[0] in ("palette", "image", "fill")], runs


def pixels(data):
    """(offset of the rows, bytes per pixel, row stride, width, height)."""
    offset = int.from_bytes(data[10:14], "little")
    width = int.from_bytes(data[18:22], "little", signed=True)
    height = int.from_bytes(data[22:26], "little", signed=True)
    bits = int.from_bytes(data[28:30], "little")
    if bits not in (8, 16, 24):
        sys.exit(f"one_figure_per_run.py: {bits}-bit images are not supported")
    stride = (width * bits + 31) // 32 * 4
    return offset, bits // 8, stride, width, abs(height)


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    run_sh, scene, out = sys.argv[1:]
    with open(scene) as f:
        blank_state, runs = split(f.read().splitlines())
    with tempfile.TemporaryDirectory() as tmp:
        def draw(name, lines):
            script, image = os.path.join(tmp, name + ".gdi"), os.path.join(tmp, name + ".bmp")
            with open(script, "w") as f:
                f.write("\n".join(lines) + "\n")
            # One oracle process per figure: a fresh GDI in each.
            subprocess.run([run_sh, script, image], check=True)
            with open(image, "rb") as f:
                return f.read()

        blank = draw("blank", blank_state)
        offset, size, stride, width, height = pixels(blank)
        result = bytearray(blank)
        for i, lines in enumerate(runs):
            run = draw(f"figure{i}", lines)
            if len(run) != len(blank) or run[:offset] != blank[:offset]:
                sys.exit(f"one_figure_per_run.py: figure {i} changed the image's header")
            for y in range(height):
                row = offset + y * stride
                if run[row:row + stride] == blank[row:row + stride]:
                    continue
                for x in range(row, row + width * size, size):
                    if run[x:x + size] != blank[x:x + size]:
                        result[x:x + size] = run[x:x + size]
            print(f"one_figure_per_run.py: {i + 1} of {len(runs)} figures", file=sys.stderr)
    with open(out, "wb") as f:
        f.write(result)


if __name__ == "__main__":
    main()
