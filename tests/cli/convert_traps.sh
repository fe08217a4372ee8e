#!/usr/bin/env bash
# pelmora-convert on the traps of the command line: outputs that are not
# folders, folders without -r, drawings from standard input, file names that
# hold control characters or are no UTF-8, file-size limits, images beyond a
# format's limits, huge files that are no drawing, and the thumbnailer whose
# caller holds the output file open.
# $1: the folder holding pelmora-convert.
source "$(dirname "$0")/common.bash"
plan="$work/plan.jwc"
cp "$src/samples/floorplan.jwc" "$plan"

# Messages: each case is "STATUS|TEXT ON STDERR|ARGUMENTS".
touch "$work/afile"
while IFS='|' read -r status text args; do
  # shellcheck disable=SC2086
  expect "$status" "$bin" --defaults $args
  grep -qF -- "$text" "$work/err" || fail "$args: '$text' not in: $(cat "$work/err")"
done <<CASES
1|$work/afile is not a folder|-d $work/afile $plan
1|only drawing files are read (use -r to convert the drawings in it)|$work
2|name its output with -o or -d|-
2|can be read once only|- - -d $work
1|pixels is beyond the 1000000 pixels a side|--dpi 600 --size 100000x100000 --format png -d $work $plan
1|pixels is beyond the 1000000 pixels a side|--dry-run --dpi 600 --size 100000x100000 --format tiff -d $work $plan
1|beyond the 200 inches a PDF page side|--dpi 100 --size 6000x100 --format pdf -d $work $plan
1|beyond the 200 inches a PDF page side|--dry-run --dpi 100 --size 6000x100 --format pdf -d $work $plan
CASES
ls "$work"/*.png "$work"/*.tif "$work"/*.pdf 2>/dev/null && fail "a refused image left a file"

# --info --json prints an object for every input, failed ones with their error.
head -c 5000 /dev/zero >"$work/zeros.jwc"
expect 1 "$bin" --defaults --info --json "$work/zeros.jwc" "$plan"
[ "$(wc -l <"$work/out")" -eq 2 ] || fail "--info --json lines: $(cat "$work/out")"
python3 - "$work/out" <<'PY' || fail "--info --json error object: $(cat "$work/out")"
import json, sys
first = json.loads(open(sys.argv[1]).readline())
assert first["file"] == "zeros.jwc" and first["error"].startswith("not a JW_CAD drawing"), first
PY

# Names with control characters are escaped; names that are no UTF-8 keep a reversible form.
esc=$'esc\033[31mred.jwc'
cp "$plan" "$work/$esc"
expect 1 "$bin" --defaults -d "$work/afile" "$work/$esc"
grep -q $'\033' "$work/err" && fail "an escape character reached the terminal: $(cat -v "$work/err")"
grep -qF 'esc\033[31mred.jwc' "$work/err" || fail "escaped name: $(cat -v "$work/err")"
cp "$plan" "$work/a"$'\xff'.jwc
cp "$plan" "$work/a"$'\xfe'.jwc
expect 0 "$bin" --defaults --info --json "$work/a"$'\xff'.jwc "$work/a"$'\xfe'.jwc
python3 - "$work/out" <<'PY' || fail "non-UTF-8 names in JSON: $(cat "$work/out")"
import base64, json, sys
names = [base64.b64decode(json.loads(line)["file_base64"]) for line in open(sys.argv[1])]
assert names == [b"a\xff.jwc", b"a\xfe.jwc"], names
PY

# A drawing from standard input, as from a regular file, and from a pipe.
expect 0 "$bin" --defaults -o "$work/piped.png" - <"$plan"
expect 0 bash -c "cat '$plan' | '$bin' --defaults -q -d '$work/stdin' -"
cmp -s "$work/piped.png" "$work/stdin/stdin.bmp" && fail "png and bmp alike"
[ -s "$work/stdin/stdin.bmp" ] || fail "- with -d: no stdin.bmp"
expect 0 "$bin" --defaults -o "$work/file.png" "$plan"
cmp -s "$work/piped.png" "$work/file.png" || fail "- converts otherwise than the file"

# Under a file-size limit the write fails with a message; the old output stays.
echo old >"$work/limited.bmp"
expect 1 bash -c "ulimit -f 8; exec '$bin' --defaults -f --dpi 200 -o '$work/limited.bmp' '$plan'"
grep -q "File too large" "$work/err" || fail "ulimit -f: $(cat "$work/err")"
[ "$(cat "$work/limited.bmp")" = old ] || fail "ulimit -f: the old output was lost"

# Huge files that are no drawing are refused without being read (sparse: no disk used).
# The address-space limit shows a read of the whole file (AddressSanitizer needs more).
limit="ulimit -v 400000;"
ldd "$bin" 2>/dev/null | grep -q asan && limit=""
truncate -s 3G "$work/huge.jwc"
expect 1 bash -c "$limit exec '$bin' --defaults -d '$work' '$work/huge.jwc'"
grep -q "not a JW_CAD drawing" "$work/err" || fail "3 GB of zeros: $(cat "$work/err")"
head -c 4693 "$plan" >"$work/huge-thumb.jwc" && truncate -s 65M "$work/huge-thumb.jwc"
expect 1 "$bin" --defaults --thumbnail 64 "$work/huge-thumb.jwc" "$work/t.png"
grep -q "more than the 64 MiB" "$work/err" || fail "thumbnail of 65 MiB: $(cat "$work/err")"

# The thumbnailer's caller made the output and reads it through its own descriptor.
python3 - "$bin" "$plan" "$work" <<'PY' || fail "thumbnail read through the kept descriptor"
import os, subprocess, sys
binary, drawing, work = sys.argv[1:]
out = os.path.join(work, "kept.png")
fd = os.open(out, os.O_RDWR | os.O_CREAT | os.O_TRUNC, 0o600)
subprocess.run([binary, "--defaults", "--thumbnail", "128", drawing, out], check=True)
os.lseek(fd, 0, os.SEEK_SET)
kept = os.read(fd, 1 << 20)
assert kept.startswith(b"\x89PNG\r\n\x1a\n"), kept[:16]
assert open(out, "rb").read() == kept
PY
expect 0 "$bin" --defaults --thumbnail 128 "$plan" "$work/new.png"
[ "$(head -c 4 "$work/new.png" | tail -c 3)" = PNG ] || fail "thumbnail to a new name"

finish
