#!/usr/bin/env bash
# pelmora-convert on the floor-plan sample: help, version, bad command lines,
# a conversion checked field by field, -f, and the saved settings (read, never written).
# $1: the folder holding pelmora-convert.
source "$(dirname "$0")/common.bash"
sample="$src/samples/floorplan.jwc"

# bmp_field FILE OFFSET SIZE: a little-endian header field.
bmp_field() {
  python3 - "$1" "$2" "$3" <<'PY'
import struct, sys
data = open(sys.argv[1], 'rb').read(64)
off, size = int(sys.argv[2]), int(sys.argv[3])
fmt = {2: '<H', 4: '<i'}[size]
print(struct.unpack_from(fmt, data, off)[0])
PY
}

expect 0 "$bin" --help
grep -q -- '--dry-run' "$work/out" || fail "--help does not list --dry-run"
expect 0 "$bin" --version
grep -q 'pelmora-convert' "$work/out" || fail "--version prints no name"

# Bad command lines: status 2, a reason, nothing written.
cd "$work"
for args in "" "--bogus $sample" "--dpi 0 $sample" "--dpi 601 $sample" "--depth 3 $sample" \
            "--paper B5 $sample" "--size 10 $sample" "--box 1,2,3 $sample" \
            "--set NoSuchSetting=1 $sample" "--set Color1=abc $sample" "--json --dry-run $sample" \
            "-o a.bmp $sample $sample" "--paper A4 --box 0,0,10,10 $sample"; do
  # shellcheck disable=SC2086
  expect 2 "$bin" $args
  grep -q 'pelmora-convert: ' "$work/err" || fail "'$args' gives no reason"
done
[ -z "$(ls "$work" | grep -v -e '^config$' -e '^out$' -e '^err$')" ] || fail "bad command lines left files: $(ls "$work")"

# A conversion: A3 paper at 300 dpi, 1 bit.
expect 0 "$bin" --defaults --dpi 300 --depth 1 -o "$work/plan.bmp" "$sample"
grep -q 'plan.bmp' "$work/out" || fail "the converter does not say where the bitmap went"
[ -s "$work/err" ] && fail "stderr is not empty without a terminal: $(cat "$work/err")"
if [ -f "$work/plan.bmp" ]; then
  size=$(stat -c %s "$work/plan.bmp")
  [ "$(head -c 2 "$work/plan.bmp")" = "BM" ] || fail "no BM signature"
  [ "$(bmp_field "$work/plan.bmp" 2 4)" -eq "$size" ] || fail "bfSize differs from the file size"
  # 420 x 297 mm at 300 dpi: 4961 x 3508 pixels.
  [ "$(bmp_field "$work/plan.bmp" 18 4)" -eq 4961 ] || fail "width $(bmp_field "$work/plan.bmp" 18 4)"
  [ "$(bmp_field "$work/plan.bmp" 22 4)" -eq 3508 ] || fail "height $(bmp_field "$work/plan.bmp" 22 4)"
  [ "$(bmp_field "$work/plan.bmp" 28 2)" -eq 1 ] || fail "not 1 bit"
  [ "$(bmp_field "$work/plan.bmp" 38 4)" -eq 11811 ] || fail "pixels per metre at 300 dpi"
  [ "$(od -An -tx1 -j54 -N8 "$work/plan.bmp" | tr -d ' \n')" = "00000000ffffff00" ] ||
    fail "1-bit colour table"
  if command -v identify >/dev/null; then
    [ "$(identify -format '%w %h' "$work/plan.bmp" 2>/dev/null)" = "4961 3508" ] ||
      fail "ImageMagick reads another size"
  fi
else
  fail "no plan.bmp"
fi

# An existing file is kept without -f and replaced with it.
echo "keep" >"$work/keep.bmp"
expect 1 "$bin" --defaults -o "$work/keep.bmp" "$sample"
[ "$(cat "$work/keep.bmp")" = "keep" ] || fail "an existing file was replaced without -f"
grep -q "floorplan.jwc: .*-f" "$work/err" || fail "the refusal does not name the drawing and -f"
expect 0 "$bin" --defaults -f -o "$work/keep.bmp" "$sample"
[ "$(head -c 2 "$work/keep.bmp")" = "BM" ] || fail "-f did not replace the file"

# Saved settings are read (72 dpi, 4 bit) and never written; --defaults ignores them.
mkdir -p "$XDG_CONFIG_HOME/Tovarin"
printf '[General]\ndpi=72\nColorMode=2\n' >"$XDG_CONFIG_HOME/Tovarin/Pelmora.conf"
before=$(md5sum "$XDG_CONFIG_HOME/Tovarin/Pelmora.conf")
expect 0 "$bin" -o "$work/saved.bmp" "$sample"
[ "$(bmp_field "$work/saved.bmp" 28 2)" -eq 4 ] || fail "saved ColorMode 2 not used"
[ "$(bmp_field "$work/saved.bmp" 38 4)" -eq 2835 ] || fail "saved dpi 72 not used"
expect 0 "$bin" --defaults -o "$work/defaults.bmp" "$sample"
[ "$(bmp_field "$work/defaults.bmp" 28 2)" -eq 24 ] || fail "--defaults still used the saved depth"
[ "$(md5sum "$XDG_CONFIG_HOME/Tovarin/Pelmora.conf")" = "$before" ] || fail "the settings file changed"
[ "$(find "$XDG_CONFIG_HOME" -type f | wc -l)" -eq 1 ] || fail "the converter wrote settings"

# A saved resolution no render can use is a bad start, not a crash.
printf '[General]\ndpi=0\n' >"$XDG_CONFIG_HOME/Tovarin/Pelmora.conf"
expect 2 "$bin" -o "$work/zero.bmp" "$sample"
grep -q 'saved settings' "$work/err" || fail "a saved dpi of 0 is not explained"
expect 0 "$bin" --dpi 36 -o "$work/zero.bmp" "$sample"

finish
