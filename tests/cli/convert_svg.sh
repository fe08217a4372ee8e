#!/usr/bin/env bash
# SVG output: rasterised by librsvg at the dpi it was written for, it lies on
# the 24-bit bitmap of the same drawing (ink within a pixel, both ways); it is
# well-formed XML with the drawing's layers, texts and visibility.
# $1: the folder holding pelmora-convert.
source "$(dirname "$0")/common.bash"
py=/usr/bin/python3
[ -x "$py" ] || py=python3
command -v rsvg-convert >/dev/null || { echo "FAIL: rsvg-convert (librsvg2-bin) is missing" >&2; exit 1; }

# Each sample at a dpi, and the random dense drawing on a sheet of it.
while read -r name dpi extra; do
  sample="$src/samples/$name"
  # shellcheck disable=SC2086
  expect 0 "$bin" -f --defaults --show-all --dpi "$dpi" $extra --depth 24 -o "$work/ref.bmp" "$sample"
  # shellcheck disable=SC2086
  expect 0 "$bin" -f --defaults --show-all --dpi "$dpi" $extra --format svg -o "$work/page.svg" "$sample"
  read -r w h < <("$py" -c "from PIL import Image; print(*Image.open('$work/ref.bmp').size)")
  rsvg-convert -w "$w" -h "$h" -o "$work/page.png" "$work/page.svg" || fail "$name: librsvg cannot read the SVG"
  echo "$name at $dpi dpi $extra:"
  "$py" "$src/tests/vector/overlay.py" --mode ink --min 0.90 "$work/ref.bmp" "$work/page.png" ||
    fail "$name at $dpi dpi: the SVG's ink does not lie on the bitmap's"
done <<'EOF'
floorplan.jwc 100
floorplan-int.jwc 72
a0-large.jwc 72 --paper A3
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
for label in shown:  # "G-L name" or "G name", as --info lists them
    number, _, name = label.partition(' ')
    check(re.search(r'(group|layer) %s .*「%s」' % (re.escape(number), re.escape(name)), info),
          f'layer label {label!r} is not as --info names it')
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
