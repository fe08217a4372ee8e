#!/usr/bin/env bash
# pelmora-convert's compressed formats: the same bytes for any --threads and -j,
# --compression read and refused as it should be, best smaller than default.
# $1: the folder holding pelmora-convert.
source "$(dirname "$0")/common.bash"

cp "$src/samples/floorplan.jwc" "$work/a.jwc"
cp "$src/samples/floorplan.jwc" "$work/b.jwc"
# 200 dpi on A3: 24 bit is 23 MB of pixels, several bands and many pieces.
common=(--defaults --raster -q -f --dpi 200)  # the PDF as one image
for format in png tiff pdf; do
  for depth in 1 24; do
    for threads in 1 2 4; do
      expect 0 "$bin" "${common[@]}" --depth "$depth" --threads "$threads" -o "$work/t$threads.$format" "$work/a.jwc"
    done
    cmp -s "$work/t1.$format" "$work/t2.$format" || fail "$format $depth bit: --threads 1 and 2 differ"
    cmp -s "$work/t1.$format" "$work/t4.$format" || fail "$format $depth bit: --threads 1 and 4 differ"
    for jobs in 1 2; do
      expect 0 "$bin" "${common[@]}" --depth "$depth" --format "$format" -j "$jobs" -d "$work/j$jobs" "$work/a.jwc" "$work/b.jwc"
    done
    ext=$format; [ "$format" = tiff ] && ext=tif
    for name in a b; do
      cmp -s "$work/j1/$name.$ext" "$work/j2/$name.$ext" || fail "$format $depth bit: -j 1 and -j 2 differ"
      cmp -s "$work/j1/$name.$ext" "$work/t1.$format" || fail "$format $depth bit: -j differs from -o"
    done
  done
done

# best is smaller than default, fast decodes to the same pixels; an unknown effort is refused.
expect 0 "$bin" "${common[@]}" --compression best -o "$work/best.png" "$work/a.jwc"
expect 0 "$bin" "${common[@]}" --compression fast -o "$work/fast.png" "$work/a.jwc"
expect 0 "$bin" "${common[@]}" -o "$work/default.png" "$work/a.jwc"
best=$(stat -c %s "$work/best.png") default=$(stat -c %s "$work/default.png")
[ "$best" -lt "$default" ] || fail "best $best bytes, default $default"
/usr/bin/python3 - "$work/fast.png" "$work/default.png" "$work/best.png" <<'PY' || fail "the efforts' pixels differ"
import sys
from PIL import Image
images = [Image.open(p).convert("RGB").tobytes() for p in sys.argv[1:]]
assert images[0] == images[1] == images[2]
PY
expect 2 "$bin" --compression smallest "$work/a.jwc"
grep -q "fast, default or best" "$work/err" || fail "--compression smallest: $(cat "$work/err")"
finish
