#!/usr/bin/env bash
# pelmora-convert on a tree of drawings: -r with and without -d, -j byte
# identity, -n, the summary line, --show/--hide, --split, --json reports.
# $1: the folder holding pelmora-convert.
source "$(dirname "$0")/common.bash"
run=("$bin" --defaults --dpi 24)

# The tree: nested folders, Japanese names with spaces, an upper-case extension,
# a file that is no drawing, a broken drawing, links that must not be followed.
tree="$work/tree"
mkdir -p "$tree/a" "$tree/b/深い 階層" "$tree/c" "$tree/empty"
cp "$src/samples/floorplan.jwc" "$tree/a/plan.jwc"
cp "$src/samples/floorplan-int.jwc" "$tree/b/plan.jwc"
cp "$src/samples/floorplan.jwc" "$tree/b/深い 階層/図面 1.JWC"
printf 'not a drawing at all, but named like one\n' >"$tree/b/fake.jwc"
echo notes >"$tree/b/notes.txt"
head -c 3000 "$src/samples/floorplan.jwc" >"$tree/c/broken.jwc"
ln -s "$tree" "$tree/loop"
ln -s "$tree/a" "$tree/c/link-to-a"

expect 1 "${run[@]}" -q -r -d "$work/out1" "$tree"
(cd "$work/out1" && find . -type f | LC_ALL=C sort) >"$work/list"
printf './a/plan.bmp\n./b/plan.bmp\n./b/深い 階層/図面 1.bmp\n' | LC_ALL=C sort >"$work/want"
cmp -s "$work/list" "$work/want" || fail "mirrored outputs: $(cat "$work/list")"
grep -q '^3 converted, 1 failed, 1 skipped in [0-9.]* s$' "$work/err" || fail "summary line: $(cat "$work/err")"
grep -q "broken.jwc: cannot read the drawing" "$work/err" || fail "the broken drawing is not named"
grep -q "fake.jwc: skipped: not a JW_CAD drawing" "$work/err" || fail "the non-drawing is not reported"
cp "$work/err" "$work/err1"

# -j 2: the same files byte for byte, the same status and messages (but the time).
expect 1 "${run[@]}" -q -r -j 2 -d "$work/out2" "$tree"
diff -r "$work/out1" "$work/out2" >/dev/null || fail "-j 2 wrote other files than -j 1"
sed 's/ in [0-9.]* s$//' "$work/err1" >"$work/e1"
sed 's/ in [0-9.]* s$//' "$work/err" >"$work/e2"
cmp -s "$work/e1" "$work/e2" || fail "-j 2 reported otherwise: $(cat "$work/err")"
expect 1 "${run[@]}" -q -r -j 0 -d "$work/out3" "$tree"
diff -r "$work/out1" "$work/out3" >/dev/null || fail "-j 0 wrote other files than -j 1"

# -n: existing outputs untouched and counted as skipped; without it they are errors.
stamp() { (cd "$work/out1" && find . -type f -printf '%p %T@ %s\n' | LC_ALL=C sort); }
before=$(stamp)
sleep 1
expect 1 "${run[@]}" -q -r -n -d "$work/out1" "$tree"
[ "$(stamp)" = "$before" ] || fail "-n touched existing outputs"
grep -q '^0 converted, 1 failed, 4 skipped in' "$work/err" || fail "-n summary: $(cat "$work/err")"
expect 1 "${run[@]}" -q -r -d "$work/out1" "$tree"
grep -q '^0 converted, 4 failed, 1 skipped in' "$work/err" || fail "existing outputs without -n: $(cat "$work/err")"
[ "$(stamp)" = "$before" ] || fail "a refused run touched existing outputs"

# Without -d each output goes next to its drawing; the links were not followed.
rm -rf "$tree/c"
expect 0 "${run[@]}" -q -r "$tree"
[ -f "$tree/a/plan.bmp" ] && [ -f "$tree/b/深い 階層/図面 1.bmp" ] || fail "outputs next to the drawings: $(find "$tree" -name '*.bmp')"
grep -q '^3 converted, 0 failed, 1 skipped in' "$work/err" || fail "summary: $(cat "$work/err")"
# A folder without -r is an error; a tree without drawings converts nothing.
expect 1 "${run[@]}" "$tree/a"
grep -q "a folder" "$work/err" || fail "a folder without -r: $(cat "$work/err")"
expect 0 "${run[@]}" -r "$tree/empty"

# --json with a conversion: one object per drawing, parsed by a real parser.
expect 1 "${run[@]}" -f --json -d "$work/json" "$tree/a/plan.jwc" "$work/missing.jwc" "$tree/b/深い 階層/図面 1.JWC"
python3 - "$work/out" "$work/json" <<'PY' || fail "--json report: $(cat "$work/out")"
import json, os, sys
reports = [json.loads(line) for line in open(sys.argv[1], encoding='utf-8')]
assert [r['status'] for r in reports] == ['converted', 'failed', 'converted'], reports
first = reports[0]
for field in ('input', 'output', 'format', 'width', 'height', 'dpi', 'depth', 'bytes', 'seconds',
              'font_substitutions'):
    assert field in first, field
assert first['format'] == 'bmp' and first['dpi'] == 24 and first['depth'] == 24, first
assert (first['width'], first['height']) == (397, 281), first
assert first['bytes'] == os.path.getsize(first['output']), first
assert 'error' in reports[1] and reports[1]['input'].endswith('missing.jwc'), reports[1]
PY

# --show / --hide: nothing drawn with everything hidden; one layer alone equals its split.
plan="$tree/a/plan.jwc"
# colours FILE: the number of distinct colours of a 24-bit BMP.
colours() {
  python3 - "$1" <<'PY'
import struct, sys
d = open(sys.argv[1], 'rb').read()
off, (w, h), bits = struct.unpack_from('<I', d, 10)[0], struct.unpack_from('<ii', d, 18), struct.unpack_from('<H', d, 28)[0]
assert bits == 24
stride = (w * 3 + 3) // 4 * 4
print(len({d[off + y * stride + 3 * x: off + y * stride + 3 * x + 3] for y in range(h) for x in range(w)}))
PY
}
expect 0 "${run[@]}" --set WriteDPI=0 --hide '*' -o "$work/none.bmp" "$plan"
[ "$(colours "$work/none.bmp")" -eq 1 ] || fail "--hide '*' still drew something"
expect 0 "${run[@]}" --set WriteDPI=0 --hide '*' --show 0-0,1-* -o "$work/some.bmp" "$plan"
[ "$(colours "$work/some.bmp")" -gt 1 ] || fail "--show 0-0,1-* drew nothing"
expect 0 "${run[@]}" --set WriteDPI=0 -o "$work/views.bmp" "$plan"
expect 0 "${run[@]}" --set WriteDPI=0 --hide 2-* --show '*' --hide 2-*,0-8,0-e -o "$work/same.bmp" "$plan"
cmp -s "$work/views.bmp" "$work/same.bmp" || fail "the view states written out as --show/--hide differ"

# --split: names, and each output equals a render with only that group or layer shown.
expect 0 "${run[@]}" --set WriteDPI=0 --split groups -d "$work/split" "$plan"
[ "$(ls "$work/split" | tr '\n' ' ')" = "plan.g0.bmp plan.g1.bmp " ] || fail "--split groups: $(ls "$work/split")"
expect 0 "${run[@]}" --set WriteDPI=0 --hide '*' --show 1-* -o "$work/g1.bmp" "$plan"
cmp -s "$work/g1.bmp" "$work/split/plan.g1.bmp" || fail "plan.g1.bmp is not group 1 alone"
expect 0 "${run[@]}" --set WriteDPI=0 --show-all --split layers -d "$work/layers" "$plan"
ls "$work/layers" | grep -q '^plan.g2-0.bmp$' || fail "--show-all --split layers: $(ls "$work/layers")"
ls "$work/layers" | grep -q '^plan.g0-7.bmp$' && fail "a layer without entities was split out"
expect 0 "${run[@]}" --set WriteDPI=0 --hide '*' --show 0-E -o "$work/l0e.bmp" "$plan"
cmp -s "$work/l0e.bmp" "$work/layers/plan.g0-E.bmp" || fail "plan.g0-E.bmp is not layer 0-E alone"

# -o -: the image alone on standard output, the same bytes as the file; refused on a terminal.
plan2="$tree/b/深い 階層/図面 1.JWC"
expect 0 "${run[@]}" --format png -o - "$plan2"
mv "$work/out" "$work/stdout.png"
[ -s "$work/err" ] || fail "-o - did not say on stderr what it converted"
expect 0 "${run[@]}" -o "$work/file.png" "$plan2"
cmp -s "$work/stdout.png" "$work/file.png" || fail "-o - differs from the file"
expect 2 "${run[@]}" -r -o - "$tree"
if command -v script >/dev/null; then
  script -qec "'$bin' --defaults --dpi 24 -o - '$plan'" "$work/tty.log" >/dev/null 2>&1
  grep -q "terminal" "$work/tty.log" || fail "-o - on a terminal: $(cat -v "$work/tty.log")"
fi

# The thumbnailer's Exec line, with %s, %i and %o substituted word by word as a
# file manager does: a PNG whose longer side is the size asked for.
exec_line='pelmora-convert --thumbnail %s %i %o'
for size in 128 256; do
  read -r -a words <<<"$exec_line"
  argv=()
  for word in "${words[@]}"; do
    case "$word" in
      pelmora-convert) argv+=("$bin") ;;
      %s) argv+=("$size") ;;
      %i) argv+=("$plan2") ;;
      %o) argv+=("$work/thumb $size.png") ;;
      *) argv+=("$word") ;;
    esac
  done
  expect 0 "${argv[@]}"
  python3 - "$work/thumb $size.png" "$size" <<'PY' || fail "thumbnail $size"
import struct, sys
d = open(sys.argv[1], 'rb').read()
assert d[:8] == b'\x89PNG\r\n\x1a\n', d[:8]
w, h = struct.unpack('>II', d[16:24])
size = int(sys.argv[2])
assert w == size and abs(h - size * 297 / 420) <= 1, (w, h)  # A3 landscape
assert d[24:26] == bytes([8, 2]), d[24:26]  # 8-bit RGB
PY
done
expect 1 "$bin" --thumbnail 128 "$tree/b/fake.jwc" "$work/fake.png"
[ -e "$work/fake.png" ] && fail "a thumbnail of a non-drawing was written"

finish
