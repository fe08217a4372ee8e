"""Reads the PNG, TIFF and PDF files of pelmora_format_samples (at each
compression effort) with Pillow, libtiff's tiffinfo and poppler's
pdfinfo/pdfimages, and compares every pixel with the BMP of the same image as
Pillow decodes it.

Usage: check_formats.py PATH/TO/pelmora_format_samples
"""
import glob
import os
import re
import subprocess
import sys
import tempfile

from PIL import Image

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)


def expand565(bmp_rgb):
    """Pillow widens a 5-6-5 field as floor(v * 255 / max); the encoders repeat
    the field's top bits. Recover v, then widen it the encoders' way."""
    def widen(p, bits):
        top = (1 << bits) - 1
        v = round(p * top / 255)
        return (v << (8 - bits)) | (v >> (2 * bits - 8))
    r, g, b = bmp_rgb
    return (widen(r, 5), widen(g, 6), widen(b, 5))


def same_pixels(name, bmp, other, bits):
    a = bmp.convert("RGB")
    b = other.convert("RGB")
    check(a.size == b.size, f"{name}: size {b.size} != {a.size}")
    if a.size != b.size:
        return
    want = list(a.getdata())
    if bits == 16:
        want = [expand565(p) for p in want]
    got = list(b.getdata())
    bad = [i for i, (x, y) in enumerate(zip(want, got)) if x != y]
    check(not bad, f"{name}: {len(bad)} pixels differ, first at {bad[:1]}: "
          f"{[want[i] for i in bad[:1]]} != {[got[i] for i in bad[:1]]}")


def run(*args):
    return subprocess.run(args, check=True, capture_output=True, text=True).stdout


def bmp_palette(stem, bits):
    """The BMP's colour table as R, G, B values, read from the file itself."""
    with open(stem + ".bmp", "rb") as f:
        table = f.read(54 + 4 * (1 << bits))[54:]
    return [c for i in range(0, len(table), 4) for c in (table[i + 2], table[i + 1], table[i])]


def check_png(stem, bmp, bits, dpi):
    png = Image.open(stem + ".png")
    name = os.path.basename(stem) + ".png"
    if bits <= 8:
        check(png.mode == "P", f"{name}: mode {png.mode}")
        # IHDR: colour type 3 at the image's own depth.
        with open(stem + ".png", "rb") as f:
            ihdr = f.read(33)
        check(ihdr[24] == bits and ihdr[25] == 3, f"{name}: IHDR depth {ihdr[24]} type {ihdr[25]}")
        palette = png.getpalette()[: 3 * (1 << bits)]
        check(palette == bmp_palette(stem, bits), f"{name}: palette differs from the BMP's")
        if bmp.mode == "P":
            check(list(png.getdata()) == list(bmp.getdata()), f"{name}: indices differ")
    else:
        check(png.mode == "RGB", f"{name}: mode {png.mode}")
    ppm = round(dpi * 39.37)
    got_dpi = png.info.get("dpi", (0, 0))
    check(abs(got_dpi[0] - ppm * 0.0254) < 0.01, f"{name}: pHYs {got_dpi} for {ppm}/m")
    same_pixels(name, bmp, png, bits)


def check_tiff(stem, bmp, bits, dpi, table_is_black_white):
    name = os.path.basename(stem) + ".tif"
    tif = Image.open(stem + ".tif")
    compression = tif.info.get("compression")
    photometric = tif.tag_v2.get(262)
    if bits == 1 and table_is_black_white:
        check(compression == "group4", f"{name}: compression {compression}")
        check(photometric == 0, f"{name}: photometric {photometric}, want MinIsWhite")
    else:
        check(compression == "tiff_adobe_deflate", f"{name}: compression {compression}")
        check(photometric == (3 if bits <= 8 else 2), f"{name}: photometric {photometric}")
    check(tif.tag_v2.get(296) == 2, f"{name}: resolution unit {tif.tag_v2.get(296)}")
    check(abs(float(tif.tag_v2.get(282)) - dpi) < 1e-6, f"{name}: x resolution")
    check(abs(float(tif.tag_v2.get(283)) - dpi) < 1e-6, f"{name}: y resolution")
    same_pixels(name, bmp, tif, bits)


def check_pdf(stem, bmp, bits, dpi, table_is_black_white):
    name = os.path.basename(stem) + ".pdf"
    info = run("pdfinfo", stem + ".pdf")
    size = re.search(r"Page size:\s+([\d.]+) x ([\d.]+) pts", info)
    width, height = bmp.size
    check(size is not None, f"{name}: no page size in pdfinfo")
    if size:
        check(abs(float(size.group(1)) - width * 72 / dpi) < 0.01
              and abs(float(size.group(2)) - height * 72 / dpi) < 0.01,
              f"{name}: page {size.group(1)} x {size.group(2)}")
    listing = run("pdfimages", "-list", stem + ".pdf").splitlines()[2:]
    check(len(listing) == 1, f"{name}: {len(listing)} images")
    fields = listing[0].split()
    # page num type width height color comp bpc enc ...
    check(fields[3:5] == [str(width), str(height)], f"{name}: image size {fields[3:5]}")
    want_bpc = str(bits) if bits <= 8 else "8"
    check(fields[7] == want_bpc, f"{name}: bpc {fields[7]}, want {want_bpc}")
    want_colour = "rgb" if bits > 8 else ("gray" if table_is_black_white and bits == 1 else "index")
    if bits == 1 and bmp_palette(stem, 1)[:3] != [0, 0, 0]:
        want_colour = "index"
    check(fields[5] == want_colour, f"{name}: colour {fields[5]}, want {want_colour}")
    with tempfile.TemporaryDirectory() as out:
        run("pdfimages", "-png", stem + ".pdf", out + "/img")
        extracted = Image.open(glob.glob(out + "/img-*.png")[0])
        extracted.load()
        if want_colour == "index" and bits == 1:
            # pdfimages writes a 1-bit image as black and white whatever its
            # colour space: check the indices through the one-to-one mapping,
            # and the two colours from the file.
            pairs = set(zip(bmp.convert("RGB").getdata(), extracted.convert("RGB").getdata()))
            check(len(pairs) == 2 and len({a for a, _ in pairs}) == 2
                  and len({b for _, b in pairs}) == 2, f"{name}: indices differ {pairs}")
            hex_table = "".join("%02X" % c for c in bmp_palette(stem, 1))
            with open(stem + ".pdf", "rb") as f:
                check(f"/Indexed /DeviceRGB 1 <{hex_table}>".encode() in f.read(),
                      f"{name}: colour table {hex_table} not in the file")
        else:
            same_pixels(name, bmp, extracted, bits)


def main():
    with tempfile.TemporaryDirectory() as folder:
        subprocess.run([sys.argv[1], folder], check=True)
        stems = sorted(p[:-4] for p in glob.glob(folder + "/*.bmp")
                       + glob.glob(folder + "/fast/*.bmp") + glob.glob(folder + "/best/*.bmp"))
        check(len(stems) == 28, f"{len(stems)} samples written")
        for stem in stems:
            bmp = Image.open(stem + ".bmp")
            bmp.load()
            with open(stem + ".bmp", "rb") as f:
                header = f.read(62)
            bits = header[28]
            dpi = int(stem.rsplit("-", 1)[1])
            table = header[54:62]
            black_white = bits == 1 and table in (bytes([0, 0, 0, 0, 255, 255, 255, 0]),
                                                  bytes([255, 255, 255, 0, 0, 0, 0, 0]))
            check_png(stem, bmp, bits, dpi)
            check_tiff(stem, bmp, bits, dpi, black_white)
            check_pdf(stem, bmp, bits, dpi, black_white)
        # The A4 sheet: 3508 x 2480 at 300 dpi is an A4 landscape page.
        info = run("pdfinfo", folder + "/a4-page-300.pdf")
        check("841.92 x 595.2 pts" in info, "A4 at 300 dpi: " + info)
        g4 = os.path.getsize(folder + "/a4-page-300.tif")
        bmp_size = os.path.getsize(folder + "/a4-page-300.bmp")
        check(g4 * 20 <= bmp_size, f"Group 4 {g4} bytes against the BMP's {bmp_size}")
        best = os.path.getsize(folder + "/best/wide-drawing-200.png")
        default = os.path.getsize(folder + "/wide-drawing-200.png")
        check(best < default, f"best PNG {best} bytes against the default's {default}")
        tiffinfo = run("tiffinfo", folder + "/a4-page-300.tif")
        check("CCITT Group 4" in tiffinfo and "min-is-white" in tiffinfo
              and "300, 300 pixels/inch" in tiffinfo, "tiffinfo: " + tiffinfo)
    if failures:
        print(len(failures), "failures")
        return 1
    print("all formats read back identical")
    return 0


if __name__ == "__main__":
    sys.exit(main())
