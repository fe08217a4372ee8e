#!/usr/bin/python3
"""How well a rasterised vector rendering lies on Pelmora's own bitmap.

    overlay.py BITMAP RENDERING [--mode exact|ink] [--min F] [--min-back F]
               [--background RRGGBB] [--threshold N] [--radius R]

Both images are read with Pillow and compared at the bitmap's size (a rendering
one pixel larger or smaller, as rasterisers round page sizes, is cut or padded
with the background). A pixel is drawn where it is not the background (the
bitmap's most frequent colour unless --background says otherwise).

exact: the fraction of the bitmap's drawn pixels that have a drawn pixel of the
       same colour within R pixels (default 1) in the rendering, and the other way
       round; for renderings without antialiasing (pdftoppm -aa no -aaVector no).
ink:   the same ignoring colour, a pixel being drawn where a channel differs from
       the background by more than N (default 64); for antialiased renderings.

Prints both fractions; exit status 1 when the first is below --min or the second
below --min-back (default: --min), 2 for bad arguments or unreadable images.
"""
import argparse
import sys

from PIL import Image, ImageChops, ImageFilter


def parse_colour(text):
    text = text.lstrip("#")
    if len(text) != 6:
        raise argparse.ArgumentTypeError("a colour is RRGGBB")
    return tuple(int(text[i:i + 2], 16) for i in (0, 2, 4))


def load(path, size=None, background=None):
    image = Image.open(path).convert("RGB")
    if size is not None and image.size != size:
        # Page sizes round differently by a pixel at most; more is a mistake.
        if abs(image.size[0] - size[0]) > 1 or abs(image.size[1] - size[1]) > 1:
            raise ValueError("%s is %dx%d, the bitmap %dx%d" % ((path,) + image.size + size))
        fitted = Image.new("RGB", size, background)
        fitted.paste(image, (0, 0))
        image = fitted
    return image


def most_frequent(image):
    colours = image.getcolors(maxcolors=1 << 24)
    return max(colours)[1]


def count_on(mask):
    return mask.histogram()[255]


def colour_mask(image, colour):
    """255 where the image is exactly `colour`."""
    channels = [c.point(lambda v, want=want: 255 if v == want else 0)
                for c, want in zip(image.split(), colour)]
    return ImageChops.multiply(ImageChops.multiply(channels[0], channels[1]), channels[2])


def ink_mask(image, background, threshold):
    """255 where any channel differs from the background by more than threshold."""
    r, g, b = ImageChops.difference(image, Image.new("RGB", image.size, background)).split()
    spread = ImageChops.lighter(r, ImageChops.lighter(g, b))
    return spread.point(lambda v: 255 if v > threshold else 0)


def grow(mask, radius):
    return mask.filter(ImageFilter.MaxFilter(2 * radius + 1)) if radius > 0 else mask


def matched(drawn, other, radius):
    """Pixels of `drawn` with a pixel of `other` within radius."""
    return count_on(ImageChops.multiply(drawn, grow(other, radius)))


def compare_exact(bitmap, rendering, background, radius):
    colours = {c for _, c in bitmap.getcolors(maxcolors=1 << 24)}
    colours |= {c for _, c in rendering.getcolors(maxcolors=1 << 24)}
    colours.discard(background)
    totals = [0, 0, 0, 0]  # bitmap drawn, matched; rendering drawn, matched
    for colour in sorted(colours):
        mine = colour_mask(bitmap, colour)
        theirs = colour_mask(rendering, colour)
        totals[0] += count_on(mine)
        totals[1] += matched(mine, theirs, radius)
        totals[2] += count_on(theirs)
        totals[3] += matched(theirs, mine, radius)
    return totals


def compare_ink(bitmap, rendering, background, radius, threshold):
    mine = ink_mask(bitmap, background, threshold)
    theirs = ink_mask(rendering, background, threshold)
    return [count_on(mine), matched(mine, theirs, radius),
            count_on(theirs), matched(theirs, mine, radius)]


def fraction(hit, total):
    return 1.0 if total == 0 else hit / total


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("bitmap")
    parser.add_argument("rendering")
    parser.add_argument("--mode", choices=("exact", "ink"), default="exact")
    parser.add_argument("--min", type=float, default=0.0,
                        help="least fraction of the bitmap's drawn pixels matched")
    parser.add_argument("--min-back", type=float, default=None,
                        help="least fraction of the rendering's drawn pixels matched")
    parser.add_argument("--background", type=parse_colour, default=None)
    parser.add_argument("--threshold", type=int, default=64)
    parser.add_argument("--radius", type=int, default=1)
    args = parser.parse_args()
    try:
        bitmap = load(args.bitmap)
        background = args.background or most_frequent(bitmap)
        rendering = load(args.rendering, bitmap.size, background)
    except (OSError, ValueError) as e:
        print("overlay: %s" % e, file=sys.stderr)
        return 2
    if args.mode == "exact":
        totals = compare_exact(bitmap, rendering, background, args.radius)
    else:
        totals = compare_ink(bitmap, rendering, background, args.radius, args.threshold)
    forward = fraction(totals[1], totals[0])
    back = fraction(totals[3], totals[2])
    print("bitmap drawn pixels matched:    %.4f (%d of %d)" % (forward, totals[1], totals[0]))
    print("rendering drawn pixels matched: %.4f (%d of %d)" % (back, totals[3], totals[2]))
    min_back = args.min if args.min_back is None else args.min_back
    if forward < args.min or back < min_back:
        print("overlay: below %.4f / %.4f" % (args.min, min_back), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
