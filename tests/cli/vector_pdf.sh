#!/usr/bin/env bash
# The vector PDF read by other programs: rasterised by poppler at the dpi it was
# made for, it lies on the 24-bit BMP (exact colours within a pixel, both ways);
# its texts come back from pdftotext, its fonts are embedded subsets with a
# Unicode map, it holds no image, and its optional content groups carry the
# layer names, hidden layers only with --keep-hidden and then switched off.
# $1: the folder holding pelmora-convert.
source "$(dirname "$0")/common.bash"
overlay="$src/tests/vector/overlay.py"
python=/usr/bin/python3
cd "$work" || exit 1

# overlay NAME DPI ARGS...: the PDF against the BMP of the same conversion.
overlay() {
  local name=$1 dpi=$2
  shift 2
  expect 0 "$bin" --defaults --dpi "$dpi" -o "$name.pdf" "$@"
  expect 0 "$bin" --defaults --dpi "$dpi" --depth 24 -o "$name.bmp" "$@"
  pdftoppm -r "$dpi" -aa no -aaVector no -singlefile -png "$name.pdf" "$name-pdf" ||
    fail "$name: pdftoppm"
  "$python" "$overlay" "$name.bmp" "$name-pdf.png" --mode exact --min 0.95 >"$name.overlay" ||
    fail "$name: $(cat "$name.overlay")"
  echo "$name at $dpi dpi: $(tr '\n' ' ' <"$name.overlay")"
}
overlay floorplan 150 "$src/samples/floorplan.jwc"
overlay floorplan-int 96 "$src/samples/floorplan-int.jwc"
overlay a0-region 360 --size 200x140 "$src/samples/a0-large.jwc"

# Texts, fonts, no images.
text=$(pdftotext floorplan.pdf -)
for want in "平面図" "PELMORA SAMPLE" "Pelmora邸 新築工事" "2024.04.01" "150dpi"; do
  grep -qF -- "$want" <<<"$text" || fail "pdftotext lacks \"$want\""
done
fonts=$(pdffonts floorplan.pdf | tail -n +3)
[ -n "$fonts" ] || fail "no fonts"
while read -r line; do
  [[ $line =~ ^[A-Z]{6}\+.*CID\ TrueType.*Identity-H\ +yes\ yes\ yes ]] ||
    fail "font not an embedded subset with a Unicode map: $line"
done <<<"$fonts"
[ -z "$(pdfimages -list floorplan.pdf | tail -n +3)" ] || fail "the vector PDF holds images"

# Layers: names as --info gives them; hidden ones only with --keep-hidden, off.
names() { qpdf --json "$1" | grep -o '"/Name": "u:[^"]*"' | sed 's/"\/Name": "u://; s/"$//'; }
names floorplan.pdf >shown.txt
for want in "0 平面図 1/50" "0-0 壁" "1-3 注記"; do
  grep -qxF "$want" shown.txt || fail "no group \"$want\": $(tr '\n' '|' <shown.txt)"
done
grep -qF "補助線" shown.txt && fail "a hidden layer's name without --keep-hidden"
expect 0 "$bin" --defaults --dpi 150 --keep-hidden -o kept.pdf "$src/samples/floorplan.jwc"
names kept.pdf >kept.txt
grep -qxF "0-8 補助線" kept.txt || fail "--keep-hidden: no hidden layer"
qpdf --qdf --object-streams=disable kept.pdf kept.qdf
grep -aq "/OFF \[" kept.qdf && grep -aq "/PrintState /OFF" kept.qdf ||
  fail "--keep-hidden: hidden layers not switched off for view and print"
[ "$(qpdf --show-object=4 --filtered-stream-data kept.pdf | wc -c)" -gt \
  "$(qpdf --show-object=4 --filtered-stream-data floorplan.pdf | wc -c)" ] ||
  fail "--keep-hidden added no geometry"

# The same drawing gives the same bytes.
expect 0 "$bin" --defaults --dpi 150 -o again.pdf "$src/samples/floorplan.jwc"
cmp -s again.pdf floorplan.pdf || fail "two conversions differ"
finish
