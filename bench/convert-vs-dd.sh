#!/usr/bin/env bash
# The dense A0 sample converted as a whole process, against dd writing the same
# number of bytes with conv=fsync in the same run (best of RUNS each):
#   - 360 dpi, 24 bit, all cores: time and ratio to dd (goal: at most 2.5x);
#   - the same with one render thread (goal: all cores at least 1.5x faster);
#     these three run by turns;
#   - 360 dpi, 1 bit: time, and by turns with BASELINE (a converter to compare
#     with, e.g. a build of an older commit) when given;
#   - peak resident memory at 360 and 600 dpi, 24 bit (goals: 128 and 160 MiB);
#   - whether 600 dpi, 24 bit converts under ulimit -v 1000000.
# usage: bench/convert-vs-dd.sh [BUILD_DIR] [RUNS] [BASELINE]
#        (default build/release, 3, none)
# Uses pelmora-convert when it has --threads, else bench/band_convert.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/release}
runs=${2:-3}
baseline=${3:-}
sample=$root/samples/a0-large.jwc
work=$(mktemp -d "${TMPDIR:-/tmp}/pelmora-vs-dd.XXXXXX")
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config  # the built-in defaults, whatever is saved

[[ -x /usr/bin/time ]] || { echo "needs /usr/bin/time (Debian package time)" >&2; exit 1; }
convert=$build/cli/pelmora-convert
driver=$build/bench/band_convert
if [[ -x $convert ]] && "$convert" --help 2>&1 | grep -q -- '--threads'; then
  run() {  # dpi depth threads output: the command into ${cmd[@]}
    cmd=("$convert" -q -f --defaults --dpi "$1" --depth "$2" --threads "$3" -o "$4" "$sample")
  }
  echo "converter: $convert"
elif [[ -x $driver ]]; then
  run() { cmd=("$driver" "$sample" "$4" "$1" "$2" "$3"); }
  echo "converter: $driver (pelmora-convert has no --threads yet)"
else
  echo "build $build first (make release)" >&2
  exit 1
fi
cores=$(nproc)

# Best wall-clock seconds of `runs` runs of a command.
best() {
  local best_s="" s
  for ((i = 0; i < runs; i++)); do
    s=$(/usr/bin/time -f '%e' "$@" 2>&1 >/dev/null | tail -n 1)
    if [[ -z $best_s ]] || awk -v a="$s" -v b="$best_s" 'BEGIN { exit !(a < b) }'; then best_s=$s; fi
  done
  echo "$best_s"
}
# Peak resident set size in MiB of one run.
peak_mib() {
  /usr/bin/time -v "$@" 2>&1 >/dev/null | awk '/Maximum resident set size/ { printf "%.0f", $6 / 1024 }'
}

# Wall-clock seconds of one run.
seconds() { /usr/bin/time -f '%e' "$@" 2>&1 >/dev/null | tail -n 1; }
smaller() { awk -v a="$1" -v b="$2" 'BEGIN { print (b == "" || a < b) ? a : b }'; }

# All cores, one thread and dd by turns, each run writing a file of its own
# that is removed before the next, so that every run finds the same page cache
# and free space, and a busy moment of this shared machine does not fall on
# one of them alone.
out=$work/a0.bmp
run 360 24 "$cores" "$out"
seconds "${cmd[@]}" >/dev/null  # warms the drawing and the fonts into the page cache
bytes=$(stat -c %s "$out")
all="" one="" dd_s=""
for ((i = 0; i < runs; i++)); do
  rm -f "$out" "$work/dd.bin"
  run 360 24 "$cores" "$out"
  all=$(smaller "$(seconds "${cmd[@]}")" "$all")
  rm -f "$out"
  run 360 24 1 "$out"
  one=$(smaller "$(seconds "${cmd[@]}")" "$one")
  rm -f "$out"
  dd_s=$(smaller "$(seconds dd if=/dev/zero of="$work/dd.bin" bs=1M \
    count=$(((bytes + 1048575) / 1048576)) conv=fsync)" "$dd_s")
done
rm -f "$work/dd.bin"
mono="" old_mono=""
for ((i = 0; i < runs; i++)); do
  rm -f "$work/a0-1.bmp"
  run 360 1 "$cores" "$work/a0-1.bmp"
  mono=$(smaller "$(seconds "${cmd[@]}")" "$mono")
  [[ -n $baseline ]] || continue
  rm -f "$work/a0-1.bmp"
  old_mono=$(smaller "$(seconds "$baseline" -q -f --defaults --dpi 360 --depth 1 \
    -o "$work/a0-1.bmp" "$sample")" "$old_mono")
done
run 360 24 "$cores" "$out"
rss360=$(peak_mib "${cmd[@]}")
run 600 24 "$cores" "$out"
rss600=$(peak_mib "${cmd[@]}")
rm -f "$out"
if (ulimit -v 1000000 && "${cmd[@]}" 2>"$work/limited.err"); then
  limited="converts ($(stat -c %s "$out") bytes)"
else
  limited="FAILS: $(head -c 300 "$work/limited.err")"
fi

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
printf 'A0 360 dpi 24 bit, %d threads: %6.2f s (%d bytes)\n' "$cores" "$all" "$bytes"
printf 'dd conv=fsync, same bytes:    %6.2f s  -> ratio %s (goal <= 2.5)\n' "$dd_s" "$(ratio "$all" "$dd_s")"
printf 'A0 360 dpi 24 bit, 1 thread:  %6.2f s  -> all threads %sx faster (goal >= 1.5)\n' \
  "$one" "$(ratio "$one" "$all")"
printf 'A0 360 dpi 1 bit, %d threads:  %6.2f s\n' "$cores" "$mono"
if [[ -n $baseline ]]; then
  printf 'A0 360 dpi 1 bit, baseline:   %6.2f s  -> %sx faster (goal >= 2)\n' "$old_mono" \
    "$(ratio "$old_mono" "$mono")"
fi
printf 'peak RSS 360 dpi 24 bit: %s MiB (goal <= 128); 600 dpi: %s MiB (goal <= 160)\n' \
  "$rss360" "$rss600"
echo "600 dpi 24 bit under ulimit -v 1000000: $limited"
