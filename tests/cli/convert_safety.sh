#!/usr/bin/env bash
# pelmora-convert where the input or standard output is not what it seems: a
# named pipe as drawing, standard output that cannot be written, bytes in
# settings and names that are not UTF-8, output names of unknown formats.
# $1: the folder holding pelmora-convert.
source "$(dirname "$0")/common.bash"
cp "$src/samples/floorplan.jwc" "$work/plan.jwc"

# Saved settings that are no regular file are never opened: the defaults are used, and said.
mkdir -p "$work/fifo-config/Tovarin"
mkfifo "$work/fifo-config/Tovarin/Pelmora.conf"
XDG_CONFIG_HOME="$work/fifo-config" expect 0 "$bin" --info "$work/plan.jwc"
grep -q "the saved settings could not be read" "$work/err" ||
  fail "a pipe as the settings file is not reported: $(cat "$work/err")"

# A named pipe is refused at once, never opened for reading (that would wait for a writer).
mkfifo "$work/pipe.jwc"
for args in "--info" "--info --json" "--dry-run" "-f"; do
  # shellcheck disable=SC2086
  expect 1 "$bin" --defaults $args "$work/pipe.jwc"
  grep -q "pipe.jwc: not a regular file (a named pipe)" "$work/err" || fail "$args on a pipe: $(cat "$work/err")"
done
expect 1 "$bin" --defaults --info "$work"
grep -q "a folder" "$work/err" || fail "a folder as drawing: $(cat "$work/err")"

# Standard output that cannot be written is a failure with a message, whatever was printed.
if [ -w /dev/full ]; then
  for args in "--help" "--version" "--info $work/plan.jwc" "--info --json $work/plan.jwc" \
              "--dry-run $work/plan.jwc" "-f --dpi 36 $work/plan.jwc"; do
    # shellcheck disable=SC2086
    timeout 60 "$bin" --defaults $args >/dev/full 2>"$work/err"
    got=$?
    [ "$got" -eq 1 ] || fail "$args > /dev/full -> exit $got"
    grep -q "cannot write to standard output: No space left on device" "$work/err" ||
      fail "$args > /dev/full: $(cat "$work/err")"
  done
  # With -q nothing goes to standard output, so nothing can fail there.
  expect 0 bash -c "'$bin' --defaults -q -f --dpi 36 '$work/plan.jwc' >/dev/full"
fi

# Every string of --info --json is UTF-8 that a strict parser takes: a face name
# of raw bytes, a file name that is no UTF-8, layer names in code page 932.
odd=$(printf 'odd\xff name.jwc')
cp "$work/plan.jwc" "$work/$odd"
expect 0 "$bin" --defaults --set FontName=$'\x82\xa0bad' --info --json "$work/plan.jwc" "$work/$odd"
python3 - "$work/out" <<'PY' || fail "--info --json is not valid UTF-8 JSON: $(head -c 400 "$work/out" | od -c | head)"
import json, sys
lines = open(sys.argv[1], 'rb').read().decode('utf-8').splitlines()  # strict: raises on bad bytes
assert len(lines) == 2, lines
first, second = (json.loads(line) for line in lines)
assert first['font']['name'] == '\ufffd\ufffdbad', first['font']
assert second['file'] == 'odd\ufffd name.jwc', second['file']
layers = {l['id']: l for l in first['layers']}
assert layers['0-0']['name'] == '壁' and layers['0-6']['name'] == 'ab', layers
assert layers['0-E']['shown'] is False and layers['0-E']['view'] == 2
groups = {g['id']: g['name'] for g in first['groups']}
assert groups['0-*'] == '平面図 1/50' and groups['2-*'] == '敷地', groups
PY

# Output names: a known format (any case) or no extension, else refused before rendering.
expect 1 "$bin" --defaults -o "$work/plan.gif" "$work/plan.jwc"
grep -q "only .bmp, .png, .tif, .tiff, .pdf, .svg and .dxf are written" "$work/err" || fail "-o plan.gif: $(cat "$work/err")"
[ -e "$work/plan.gif" ] && fail "-o plan.gif wrote a file"
expect 0 "$bin" --defaults --dpi 36 -o "$work/PLAN.BMP" "$work/plan.jwc"
[ "$(head -c 2 "$work/PLAN.BMP")" = "BM" ] || fail "-o PLAN.BMP is no bitmap"

# -o belongs to a conversion.
expect 2 "$bin" --defaults --info -o "$work/x.bmp" "$work/plan.jwc"
grep -q -- "-o names a converted file" "$work/err" || fail "-o with --info: $(cat "$work/err")"
expect 2 "$bin" --defaults --dry-run -o "$work/x.bmp" "$work/plan.jwc"

finish
