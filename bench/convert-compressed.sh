#!/usr/bin/env bash
# The dense A0 sample at 360 dpi converted to BMP and to each compressed format
# by turns in one run, as whole processes, at 24 and 1 bit (RUNS runs each):
#   - min and median wall seconds, the ratio of each median to the BMP's
#     (goals at the default effort: PNG, TIFF, PDF within 2x at 24 bit; TIFF
#     within 1.5x, PNG and PDF within 2x at 1 bit), and the file's size;
#   - 24-bit PNG with all cores against --threads 1 (goal: at least 1.6x);
#   - peak resident memory of every format and depth (goal: under 160 MiB).
# usage: bench/convert-compressed.sh [BUILD_DIR] [RUNS] [EFFORT] [SAMPLE]
#        (default build/release, 3, default, samples/a0-large.jwc)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/release}
runs=${2:-3}
effort=${3:-default}
sample=${4:-$root/samples/a0-large.jwc}
convert=$build/cli/pelmora-convert
[[ -x $convert ]] || { echo "build $build first (make release)" >&2; exit 1; }
[[ -x /usr/bin/time ]] || { echo "needs /usr/bin/time (Debian package time)" >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/pelmora-compressed.XXXXXX")
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config  # the built-in defaults, whatever is saved
cores=$(nproc)

run() {  # depth format threads: the command into ${cmd[@]}, the output in $out
  out=$work/out.$2
  # the PDF as one image (a vector document is the default)
  cmd=("$convert" -q -f --defaults --raster --dpi 360 --depth "$1" --threads "$3"
    --compression "$effort" -o "$out" "$sample")
}
seconds() { /usr/bin/time -f '%e' "$@" 2>&1 >/dev/null | tail -n 1; }
peak_mib() {
  /usr/bin/time -v "$@" 2>&1 >/dev/null | awk '/Maximum resident set size/ { printf "%.0f", $6 / 1024 }'
}
# min and median of the numbers on standard input
stats() { sort -g | awk '{ v[NR] = $1 } END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%s %s\n", v[1], m }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

echo "converter: $convert, effort $effort, $cores cores, $runs runs, $(basename "$sample") at 360 dpi"
run 24 bmp "$cores"
seconds "${cmd[@]}" >/dev/null  # the drawing and the fonts into the page cache
for depth in 24 1; do
  declare -A times=()
  for ((i = 0; i < runs; i++)); do
    for format in bmp png tif pdf; do
      run "$depth" "$format" "$cores"
      rm -f "$out"
      times[$format]+="$(seconds "${cmd[@]}") "
    done
  done
  read -r bmp_min bmp_median < <(tr ' ' '\n' <<<"${times[bmp]}" | grep . | stats)
  for format in bmp png tif pdf; do
    read -r min median < <(tr ' ' '\n' <<<"${times[$format]}" | grep . | stats)
    run "$depth" "$format" "$cores"
    "${cmd[@]}"
    printf '%2d bit %-4s min %6.2f s  median %6.2f s  -> %sx the BMP  %10d bytes  peak %s MiB\n' \
      "$depth" "$format" "$min" "$median" "$(ratio "$median" "$bmp_median")" "$(stat -c %s "$out")" \
      "$(peak_mib "${cmd[@]}")"
    rm -f "$out"
  done
  unset times
done
all="" one=""
for ((i = 0; i < runs; i++)); do
  run 24 png "$cores"
  all+="$(seconds "${cmd[@]}") "
  run 24 png 1
  one+="$(seconds "${cmd[@]}") "
done
read -r _ all_median < <(tr ' ' '\n' <<<"$all" | grep . | stats)
read -r _ one_median < <(tr ' ' '\n' <<<"$one" | grep . | stats)
printf '24 bit png, %d threads: median %.2f s; 1 thread: %.2f s -> %sx faster (goal >= 1.6)\n' \
  "$cores" "$all_median" "$one_median" "$(ratio "$one_median" "$all_median")"
