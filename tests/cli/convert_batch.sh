#!/usr/bin/env bash
# pelmora-convert on several drawings: one bad drawing among good ones, -d,
# --dry-run, --info --json, --set, visibility, regions.
# $1: the folder holding pelmora-convert.
source "$(dirname "$0")/common.bash"

cp "$src/samples/floorplan.jwc" "$work/a.jwc"
cp "$src/samples/floorplan-int.jwc" "$work/b.jwc"
head -c 3000 "$src/samples/floorplan.jwc" >"$work/cut.jwc"   # signature, then truncated
printf 'plain text, no drawing\n' >"$work/text.jwc"

# One bad drawing among good ones: status 1, the good ones converted, the bad
# ones named with a reason and no file (temporary or partial) left for them.
expect 1 "$bin" --defaults -q -d "$work/out-dir" "$work/a.jwc" "$work/cut.jwc" "$work/text.jwc" \
  "$work/missing.jwc" "$work/b.jwc"
[ "$(ls "$work/out-dir" | tr '\n' ' ')" = "a.bmp b.bmp " ] || fail "outputs: $(ls -a "$work/out-dir")"
for bad in cut text missing; do
  grep -q "$work/$bad.jwc: ." "$work/err" || fail "no error naming $bad.jwc: $(cat "$work/err")"
done
[ -s "$work/out" ] && fail "-q still printed: $(cat "$work/out")"
cmp -s "$work/out-dir/a.bmp" "$work/out-dir/b.bmp" || fail "the real and integer variants of one drawing differ"

# The same drawing and settings give byte-identical files.
expect 0 "$bin" --defaults -o "$work/again.bmp" "$work/a.jwc"
cmp -s "$work/again.bmp" "$work/out-dir/a.bmp" || fail "a second conversion differs"

# --dry-run: sizes and cost, nothing written (the existing output is reported, as a real run would).
expect 0 "$bin" --defaults --dry-run --dpi 300 --paper A4 -d "$work/dry" "$work/a.jwc"
grep -q '3508 x 2480 px, 297 x 210 mm at 300 dpi, 24 bit' "$work/out" || fail "dry run: $(cat "$work/out")"
grep -q 'file 26099574 bytes' "$work/out" || fail "dry-run file size: $(cat "$work/out")"
[ -e "$work/dry" ] && fail "--dry-run created something"
grep -q 'will be created' "$work/out" || fail "--dry-run does not say the -d folder will be made"
expect 1 "$bin" --defaults --dry-run -d "$work/out-dir" "$work/a.jwc"
grep -q 'exists' "$work/err" || fail "--dry-run does not warn of an existing output"

# --info --json: one object per drawing and line, with the font.
expect 0 "$bin" --info --json "$work/a.jwc" "$work/b.jwc"
python3 - "$work/out" <<'PY' || fail "--info --json is not one JSON object per line"
import json, sys
lines = open(sys.argv[1], encoding='utf-8').read().splitlines()
assert len(lines) == 2, lines
for line in lines:
    o = json.loads(line)
    assert o['lines'] == 265 and o['paper'] == 'A3版', o
    assert o['font']['name'] == 'ＭＳ ゴシック' and o['font']['drawn_with'], o['font']
PY
expect 1 "$bin" --info --json "$work/text.jwc"
grep -q '^{"file":"text.jwc",.*"error":"not a JW_CAD drawing' "$work/out" ||
  fail "--info --json has no error object for a non-drawing: $(cat "$work/out")"

# --set: white paper and pens, no stamp; then the stamp in red at the top-left corner.
# top_left_colours FILE: the distinct colours of the 64 x 16 pixels at the top-left of a 24-bit bmp.
top_left_colours() {
  python3 - "$1" <<'PY'
import struct, sys
d = open(sys.argv[1], 'rb').read()
off, w, h, bits = struct.unpack_from('<I', d, 10)[0], *struct.unpack_from('<iiHH', d, 18)[:2], struct.unpack_from('<H', d, 28)[0]
assert bits == 24
stride = (w * 3 + 3) // 4 * 4
seen = set()
for y in range(16):
    row = off + (h - 1 - y) * stride
    for x in range(64):
        b, g, r = d[row + 3 * x: row + 3 * x + 3]
        seen.add('%02x%02x%02x' % (r, g, b))
print(' '.join(sorted(seen)))
PY
}
white=(--defaults)
for setting in BackColor Color1 Color2 Color3 Color4 Color5 Color6 Color7; do white+=(--set "$setting=16777215"); done
expect 0 "$bin" "${white[@]}" --set WriteDPI=0 --box 0,0,200,100 -o "$work/nostamp.bmp" "$work/a.jwc"
[ "$(top_left_colours "$work/nostamp.bmp")" = "ffffff" ] || fail "no stamp expected: $(top_left_colours "$work/nostamp.bmp")"
expect 0 "$bin" "${white[@]}" --set WriteDPI=1 --dpi 144 --box 0,0,200,100 -o "$work/stamp.bmp" "$work/a.jwc"
[ "$(top_left_colours "$work/stamp.bmp")" = "ff0000 ffffff" ] || fail "red stamp expected: $(top_left_colours "$work/stamp.bmp")"

# Hidden layers stay hidden unless --show-all.
expect 0 "$bin" --defaults -o "$work/shown.bmp" "$work/a.jwc"
expect 0 "$bin" --defaults --show-all -o "$work/all.bmp" "$work/a.jwc"
cmp -s "$work/shown.bmp" "$work/all.bmp" && fail "--show-all drew the same as the view states"

# A region under half a millimetre is refused before any file is made.
expect 1 "$bin" --defaults --size 1x1 --dpi 1 -o "$work/tiny.bmp" "$work/a.jwc"
grep -q 'half a millimetre' "$work/err" || fail "tiny region: $(cat "$work/err")"
[ -e "$work/tiny.bmp" ] && fail "a tiny region left a file"

# A progress bar on stderr only when it is a terminal, and not with -q.
if command -v script >/dev/null; then
  script -qec "'$bin' --defaults -f -o '$work/tty.bmp' '$work/a.jwc'" "$work/tty.log" >/dev/null 2>&1 ||
    fail "conversion on a terminal failed"
  grep -q 'a.jwc \[#' "$work/tty.log" || fail "no progress bar on a terminal: $(cat -v "$work/tty.log")"
  script -qec "'$bin' --defaults -q -f -o '$work/tty.bmp' '$work/a.jwc'" "$work/tty-q.log" >/dev/null 2>&1
  grep -q '\[#' "$work/tty-q.log" && fail "-q still drew a progress bar"
fi

finish
