#!/usr/bin/env bash
# SVG output: rasterised by librsvg at the dpi it was written for, it lies on
# the 24-bit bitmap of the same drawing (ink within a pixel, both ways); it is
# well-formed XML with the drawing's layers, texts and visibility.
# $1: the folder holding pelmora-convert.
source "$(dirname "$0")/common.bash"
py=/usr/bin/python3
[ -x "$py" ] || py=python3
command -v rsvg-convert >/dev/null || { echo "FAIL: rsvg-convert (librsvg2-bin) is missing" >&2; exit 1; }

# ink_agreement BMP PNG: the two shares (bitmap ink met by SVG ink within a
# pixel, and the other way round), each 0..1.
ink_agreement() {
  "$py" - "$1" "$2" <<'PY'
import sys
from collections import Counter
from PIL import Image, ImageChops, ImageFilter
bmp = Image.open(sys.argv[1]).convert('RGB')
svg = Image.open(sys.argv[2]).convert('RGBA')
back = Counter(bmp.getdata()).most_common(1)[0][0]
flat = Image.new('RGB', svg.size, back)
flat.paste(svg, mask=svg.split()[3])
def ink(image):  # a channel a quarter of the way from the background, or more
    diff = ImageChops.difference(image, Image.new('RGB', image.size, back)).convert('L')
    return diff.point(lambda v: 255 if v >= 24 else 0)
a, b = ink(bmp), ink(flat)
def met(x, y):  # share of x's ink with y's ink in its 3 x 3 neighbourhood
    near = ImageChops.multiply(x, y.filter(ImageFilter.MaxFilter(3)))
    total = x.histogram()[255]
    return near.histogram()[255] / total if total else 1.0
print(f"{met(a, b):.4f} {met(b, a):.4f}")
PY
}

# Each sample at a dpi, and the random dense drawing on a sheet of it.
while read -r name dpi extra; do
  sample="$src/samples/$name"
  # shellcheck disable=SC2086
  expect 0 "$bin" --defaults --show-all --dpi "$dpi" $extra --depth 24 -o "$work/ref.bmp" "$sample"
  # shellcheck disable=SC2086
  expect 0 "$bin" --defaults --show-all --dpi "$dpi" $extra --format svg -o "$work/page.svg" "$sample"
  read -r w h < <("$py" -c "from PIL import Image; print(*Image.open('$work/ref.bmp').size)")
  rsvg-convert -w "$w" -h "$h" -o "$work/page.png" "$work/page.svg" || fail "$name: librsvg cannot read the SVG"
  read -r there back < <(ink_agreement "$work/ref.bmp" "$work/page.png")
  echo "$name at $dpi dpi $extra: bitmap ink met $there, SVG ink met $back"
  awk -v a="$there" -v b="$back" 'BEGIN { exit !(a >= 0.90 && b >= 0.90) }' ||
    fail "$name at $dpi dpi: ink agreement $there / $back below 0.90"
done <<'EOF'
floorplan.jwc 150
floorplan-int.jwc 100
a0-large.jwc 50 --paper A2
EOF

# Structure: XML, the layers as --info names them, hidden ones only with
# --keep-hidden (switched off), the texts in UTF-8, outlines without <text>.
sample="$src/samples/floorplan.jwc"
expect 0 "$bin" --defaults --info "$sample"
cp "$work/out" "$work/info.txt"
expect 0 "$bin" --defaults --dpi 100 --hide 0-1 --format svg -o "$work/shown.svg" "$sample"
expect 0 "$bin" --defaults --dpi 100 --hide 0-1 --keep-hidden --format svg -o "$work/kept.svg" "$sample"
expect 0 "$bin" --defaults --dpi 100 --outline-text --format svg -o "$work/outline.svg" "$sample"
"$py" - "$work" <<'PY' || fail "SVG structure: see above"
import re, sys
import xml.etree.ElementTree as ET
work = sys.argv[1]
NS = {'s': 'http://www.w3.org/2000/svg'}
INK = '{http://www.inkscape.org/namespaces/inkscape}'
def layers(path):
    root = ET.parse(path).getroot()
    return root, {g.get(INK + 'label'): g for g in root.iter('{http://www.w3.org/2000/svg}g')
                  if g.get(INK + 'groupmode') == 'layer'}
ok = True
def check(cond, what):
    global ok
    if not cond:
        print('FAIL:', what, file=sys.stderr)
        ok = False
info = open(f'{work}/info.txt', encoding='utf-8').read()
root, shown = layers(f'{work}/shown.svg')
_, kept = layers(f'{work}/kept.svg')
check(root.get('viewBox', '').startswith('0 0 '), 'no viewBox in millimetres')
check(len(shown) >= 3, f'too few layers: {list(shown)}')
for label in shown:
    check(label in info, f'layer label {label!r} is not as --info names it')
hidden = [l for l in kept if l.startswith('0-1')]
check(len(hidden) == 1 and kept[hidden[0]].get('style') == 'display:none',
      f'the hidden layer is not kept switched off: {list(kept)}')
check(not any(l.startswith('0-1') for l in shown), 'a hidden layer is written without --keep-hidden')
texts = ''.join(''.join(t.itertext()) for t in root.iter('{http://www.w3.org/2000/svg}text'))
check(root.find('.//s:text', NS) is not None and
      root.find('.//s:text', NS).get('{http://www.w3.org/XML/1998/namespace}lang') == 'ja',
      'texts are not marked Japanese')
check(any(ord(c) > 0x3000 for c in texts), f'no Japanese text: {texts[:80]!r}')
outline, _ = layers(f'{work}/outline.svg')
check(outline.find('.//s:text', NS) is None, '--outline-text still writes <text>')
check(outline.find('.//s:use', NS) is not None, '--outline-text writes no glyphs')
sys.exit(0 if ok else 1)
PY
finish
