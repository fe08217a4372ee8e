"""Reads the DXF files of pelmora_dxf_samples back with ezdxf and has LibreCAD
print them to PDF: layers, entity counts per layer, full-size coordinates
within 1e-6 relative, curves through the points the drawing's own formula
gives, texts decoded exactly, and ink in LibreCAD's PDF.

With the converter and a drawing as well, the drawing converted to DXF in
both encodings: a layer per group and layer as --info names it, holding
(nearly) as many entities as --info counts on it, and ink in LibreCAD's PDF.

Usage: check_dxf.py PATH/TO/pelmora_dxf_samples [PATH/TO/pelmora-convert DRAWING]
"""
import glob
import json
import math
import os
import re
import shutil
import subprocess
import sys
import tempfile

import ezdxf

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)
    return condition


def close(a, b):
    return abs(a - b) <= 1e-6 * max(abs(a), abs(b)) + 1e-9


def xy(v):
    return (v.x, v.y)


def close_points(got, want):
    return all(close(g, w) for g, w in zip(got, want))


def jw_point(arc, scale, t):
    """The drawing's own curve: centre + R cos t (cos T, sin T) + e R sin t (-sin T, cos T)."""
    cx, cy, r, e, _, _, tilt = arc
    t, tilt = math.radians(t), math.radians(tilt)
    u, v = r * math.cos(t), e * r * math.sin(t)
    return ((cx + u * math.cos(tilt) - v * math.sin(tilt)) * scale,
            (cy + u * math.sin(tilt) + v * math.cos(tilt)) * scale)


def on_curve(entity, point):
    """Distance from `point` to the DXF curve, sampled finely."""
    tool = entity.construction_tool() if entity.dxftype() == "ELLIPSE" else None
    if entity.dxftype() == "CIRCLE" or entity.dxftype() == "ARC":
        c = entity.dxf.center
        return abs(math.hypot(point[0] - c.x, point[1] - c.y) - entity.dxf.radius)
    best = math.inf
    for p in tool.vertices([tool.start_param + (tool.end_param - tool.start_param) * i / 20000
                            for i in range(20001)] if tool.end_param > tool.start_param else
                           [tool.start_param + (tool.end_param + 2 * math.pi - tool.start_param) * i / 20000
                            for i in range(20001)]):
        best = min(best, math.hypot(point[0] - p.x, point[1] - p.y))
    return best


def check_entity(name, entity, want, names):
    kind = want["type"]
    s = want["scale"]
    check(entity.dxf.layer == names[want["layer"]],
          f"{name}: {entity.dxftype()} on {entity.dxf.layer}, not {names[want['layer']]}")
    if kind == "LINE":
        check(entity.dxftype() == "LINE", f"{name}: {entity.dxftype()} for a line")
        got = (*xy(entity.dxf.start), *xy(entity.dxf.end))
        exp = [v * s for v in want["start"] + want["end"]]
        check(close_points(got, exp), f"{name}: line {got} != {exp}")
    elif kind == "ARC":
        arc = want["arc"]
        full = arc[5] - arc[4] >= 360
        radius = arc[2] * s * max(1, arc[3])
        for i in range(9):
            t = arc[4] + (arc[5] - arc[4]) * i / 8
            p = jw_point(arc, s, t)
            check(on_curve(entity, p) < 1e-5 * radius, f"{name}: {entity.dxftype()} misses {p}")
        if not full and entity.dxftype() in ("ARC", "ELLIPSE"):
            start, end = entity.start_point, entity.end_point
            check(close_points(xy(start), jw_point(arc, s, arc[4])),
                  f"{name}: {entity.dxftype()} starts at {start}")
            check(close_points(xy(end), jw_point(arc, s, arc[5])),
                  f"{name}: {entity.dxftype()} ends at {end}")
    elif kind == "TEXT":
        check(entity.dxftype() == "TEXT", f"{name}: {entity.dxftype()} for a text")
        check(entity.plain_text() == want["text"],
              f"{name}: text {entity.plain_text()!r} != {want['text']!r}")
        exp = [v * s for v in want["start"]]
        check(close_points(xy(entity.dxf.insert), exp), f"{name}: text at {entity.dxf.insert}")
        check(close(entity.dxf.height, want["height"] * s), f"{name}: height {entity.dxf.height}")
        check(close(entity.dxf.width, want["width"]), f"{name}: width factor {entity.dxf.width}")
        dx, dy = want["end"][0] - want["start"][0], want["end"][1] - want["start"][1]
        angle = math.degrees(math.atan2(dy, dx)) + (90 if want["vertical"] else 0)
        turn = (entity.dxf.rotation - angle) % 360
        check(min(turn, 360 - turn) < 1e-6, f"{name}: rotation {entity.dxf.rotation} != {angle}")
        style = entity.doc.styles.get(entity.dxf.style)
        check(bool(style.dxf.flags & 4) == want["vertical"], f"{name}: style {style.dxf.name}")
    elif kind == "POINT":
        exp = [v * s for v in want["start"]]
        check(close_points(xy(entity.dxf.location), exp), f"{name}: point {entity.dxf.location}")
    if "dashes" in want and want["dashes"]:
        ltype = entity.doc.linetypes.get(entity.dxf.linetype)
        got = [abs(t.value) for t in ltype.pattern_tags.tags if t.code == 49]
        exp = [d * s for d in want["dashes"]]
        check(close_points(got, exp) and len(got) == len(exp),
              f"{name}: line type {entity.dxf.linetype} {got} != {exp}")
    if "width" in want and kind == "LINE":
        check(abs(entity.dxf.lineweight / 100 - want["width"]) <= 0.05,
              f"{name}: lineweight {entity.dxf.lineweight} for {want['width']} mm")


def check_file(path):
    name = os.path.basename(path)
    want = json.load(open(path[:-4] + ".json", encoding="utf-8"))
    doc = ezdxf.readfile(path)
    auditor = doc.audit()
    check(not auditor.has_errors, f"{name}: ezdxf audit: {[e.message for e in auditor.errors]}")
    check(doc.header["$INSUNITS"] == 4, f"{name}: $INSUNITS {doc.header['$INSUNITS']}")
    names = {}
    for layer in want["layers"]:
        # The name --info gives, with the characters DXF forbids replaced; a
        # repeated name gets a number.
        wanted = re.sub(r'[<>/\\":;?*|=`]', "_", layer["name"]).strip()
        found = [l for l in doc.layers if l.dxf.name not in names.values() and
                 re.fullmatch(re.escape(wanted) + r"(_[0-9]+)?", l.dxf.name)]
        if check(found, f"{name}: no layer for {layer['name']}"):
            names[layer["byte"]] = found[0].dxf.name
            check(found[0].is_on() == layer["shown"], f"{name}: layer {layer['name']} on/off")
    check(len(set(n.lower() for n in names.values())) == len(names), f"{name}: layer names clash")
    entities = list(doc.modelspace())
    check(len(entities) == len(want["entities"]),
          f"{name}: {len(entities)} entities, {len(want['entities'])} wanted")
    for byte, layer_name in names.items():
        count = sum(1 for e in entities if e.dxf.layer == layer_name)
        wanted = sum(1 for e in want["entities"] if e["layer"] == byte)
        check(count == wanted, f"{name}: layer {layer_name} holds {count}, {wanted} wanted")
    for entity, w in zip(entities, want["entities"]):
        check_entity(name, entity, w, names)
    handles = [e.dxf.handle for e in doc.entitydb.values()]
    check(len(handles) == len(set(handles)), f"{name}: handles repeat")


def check_librecad(path):
    """LibreCAD prints the file to PDF; poppler rasterises it; there must be ink."""
    librecad = shutil.which("librecad")
    if not librecad or not shutil.which("pdftoppm"):
        print("SKIP: librecad or pdftoppm missing")
        return
    with tempfile.TemporaryDirectory() as folder:
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        run = subprocess.run([librecad, "dxf2pdf", "-a", "-t", folder, path],
                             env=env, capture_output=True, timeout=120)
        pdf = os.path.join(folder, os.path.basename(path)[:-4] + ".pdf")
        if not check(run.returncode == 0 and os.path.exists(pdf),
                     f"{path}: librecad dxf2pdf failed: {run.stderr[-400:]!r}"):
            return
        subprocess.run(["pdftoppm", "-r", "50", "-gray", pdf, os.path.join(folder, "page")],
                       check=True, timeout=120)
        from PIL import Image
        page = Image.open(glob.glob(os.path.join(folder, "page*.pgm"))[0])
        dark = sum(page.histogram()[:128])
        check(dark > 50, f"{path}: LibreCAD's PDF shows no drawing ({dark} dark pixels)")


def check_drawing(convert, drawing, folder):
    info = json.loads(subprocess.run([convert, "--info", "--json", drawing], check=True,
                                     capture_output=True).stdout)
    for encoding in ("--dxf-utf8", "--dxf-shift-jis"):
        path = os.path.join(folder, "drawing" + encoding[5:] + ".dxf")
        subprocess.run([convert, "--show-all", "--format", "dxf", encoding, "-o", path, drawing],
                       check=True)
        doc = ezdxf.readfile(path)
        check(not doc.audit().has_errors, f"{path}: ezdxf audit")
        counts = {}
        for entity in doc.modelspace():
            counts[entity.dxf.layer] = counts.get(entity.dxf.layer, 0) + 1
        # The walk leaves out what the raster does not draw (line type 0, what
        # lies off the page), so a layer may hold a little less than it counts.
        written = wanted_total = 0
        for layer in info["layers"]:
            total = layer["lines"] + layer["arcs"] + layer["texts"] + layer["dots"]
            if total == 0:
                continue
            wanted = re.sub(r'[<>/\\":;?*|=`]', "_", f"{layer['id']} {layer['name']}".strip())
            check(0 < counts.get(wanted, 0) <= total,
                  f"{path}: layer {wanted} holds {counts.get(wanted)}, --info counts {total}")
            written += counts.get(wanted, 0)
            wanted_total += total
        check(written == sum(counts.values()), f"{path}: entities on layers --info does not name")
        check(written >= 0.99 * wanted_total, f"{path}: {written} entities of {wanted_total}")
        check_librecad(path)


def main():
    with tempfile.TemporaryDirectory() as folder:
        subprocess.run([sys.argv[1], folder], check=True)
        if len(sys.argv) > 3:
            check_drawing(sys.argv[2], sys.argv[3], folder)
        files = sorted(glob.glob(os.path.join(folder, "cases*.dxf")))
        check(files, "no DXF written")
        for path in files:
            check_file(path)
            check_librecad(path)
    print("FAILED" if failures else "OK", len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
