#!/usr/bin/env bash
# The dense A0 sample at 360 dpi as a 24-bit BMP and as vector PDF, SVG and DXF,
# converted by turns in one run (each output removed before the next run, best
# of RUNS): time, size and the ratio of each to the BMP's time and size.
# usage: bench/vector-vs-bmp.sh [BUILD_DIR] [RUNS]   (default build/release, 3)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/release}
runs=${2:-3}
sample=$root/samples/a0-large.jwc
convert=$build/cli/pelmora-convert
[[ -x $convert ]] || { echo "build $build first (make release)" >&2; exit 1; }
[[ -x /usr/bin/time ]] || { echo "needs /usr/bin/time (Debian package time)" >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/pelmora-vector.XXXXXX")
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config  # the built-in defaults, whatever is saved

formats=(bmp pdf svg dxf)
declare -A best size
# Seconds of one conversion to format $1 (its size into $work/$1.size), or
# "failed" (the reason into $work/$1.err).
convert_one() {
  local out=$work/a0.$1 s
  rm -f "$out"
  s=$(/usr/bin/time -f '%e' "$convert" -q -f --defaults --dpi 360 --depth 24 -o "$out" \
    "$sample" 2>"$work/$1.err" >/dev/null; tail -n 1 "$work/$1.err")
  if [[ -s $out ]]; then
    stat -c %s "$out" >"$work/$1.size"
    echo "$s"
  else
    echo failed
  fi
  rm -f "$out"
}
convert_one bmp >/dev/null  # warms the drawing and the fonts into the page cache
for ((i = 0; i < runs; i++)); do
  for f in "${formats[@]}"; do
    s=$(convert_one "$f")
    if [[ $s == failed || ${best[$f]:-} == failed ]]; then best[$f]=failed; continue; fi
    best[$f]=$(awk -v a="$s" -v b="${best[$f]:-}" 'BEGIN { print (b == "" || a < b) ? a : b }')
  done
done
echo "A0 sample at 360 dpi, 24 bit, best of $runs by turns:"
for f in "${formats[@]}"; do
  if [[ ${best[$f]} == failed ]]; then
    printf '  %-4s failed: %s\n' "$f" "$(grep -v '^Command' "$work/$f.err" | head -n 1)"
    continue
  fi
  awk -v f="$f" -v s="${best[$f]}" -v b="${best[bmp]}" -v n="$(cat "$work/$f.size")" \
    -v nb="$(cat "$work/bmp.size")" \
    'BEGIN { printf "  %-4s %7.2f s  %12d bytes  time %.3fx BMP, size %.4fx BMP\n",
             f, s, n, (b > 0 ? s / b : 0), (nb > 0 ? n / nb : 0) }'
done
