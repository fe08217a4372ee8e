#!/usr/bin/env bash
# What a huge file that is no drawing costs the converter before it is refused:
# time and peak resident memory for
#   - a 3 GB file of zeros named x.jwc (no signature);
#   - a 3 GB file with the signature and counts the file cannot hold;
#   - the same 3 GB files in thumbnailer mode (--thumbnail 256);
#   - a 3 GB file with a small valid drawing at its start and zeros after it.
# The files are sparse (made with truncate), so they take no disk space; they are
# removed at the end. Results of one run are kept in bench/huge-inputs.md.
# usage: bench/huge-inputs.sh [CONVERTER] (default build/release/cli/pelmora-convert)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
convert=${1:-$root/build/release/cli/pelmora-convert}
work=$(mktemp -d "${TMPDIR:-/tmp}/pelmora-huge.XXXXXX")
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config
[[ -x /usr/bin/time ]] || { echo "needs /usr/bin/time (Debian package time)" >&2; exit 1; }
size=3G

# The fixed head of an integer-variant drawing: signature, header text with the
# line count $1 and fields 1..30, then zeros to the end of the state block.
drawing_head() {
  python3 - "$1" <<'PY'
import sys
head = bytearray(4693)
head[0:20] = b"jw_cad(c)data......."
fields = [sys.argv[1], "0", "0", "0"] + ["0"] * 7 + ["3"] + ["0"] * 18 + ["640"]
text = (",".join(fields) + ",").encode() + b" "
head[200:200 + len(text)] = text
sys.stdout.buffer.write(head)
PY
}

truncate -s "$size" "$work/zeros.jwc"
drawing_head 2147483647 >"$work/counts.jwc" && truncate -s "$size" "$work/counts.jwc"
drawing_head 0 >"$work/small.jwc" && truncate -s "$size" "$work/small.jwc"

measure() {  # label, then the command
  local label=$1 status=0
  shift
  /usr/bin/time -f '%e %M' -o "$work/time" "$@" >/dev/null 2>"$work/err" || status=$?
  read -r seconds kib < <(tail -1 "$work/time")
  printf '%-34s %7.2f s %9d KiB  exit %d: %s\n' "$label" "$seconds" "$kib" "$status" \
    "$(head -1 "$work/err" | cut -c1-90)"
}

echo "converter: $convert"
measure "$size zeros" "$convert" -f -d "$work/out" "$work/zeros.jwc"
measure "$size signature, absurd counts" "$convert" -f -d "$work/out" "$work/counts.jwc"
measure "$size zeros, --thumbnail" "$convert" --thumbnail 256 "$work/zeros.jwc" "$work/t.png"
measure "$size absurd counts, --thumbnail" "$convert" --thumbnail 256 "$work/counts.jwc" \
  "$work/t.png"
measure "$size small drawing, then zeros" "$convert" -f --dpi 10 -d "$work/out" "$work/small.jwc"
