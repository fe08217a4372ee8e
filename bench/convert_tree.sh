#!/usr/bin/env bash
# Drawings per second of pelmora-convert on a 500-drawing tree at 150 dpi, -j 1
# against -j 2. The tree holds the generator's samples at their several sizes
# (A3 real and integer variants, and an A0 sheet of 72 000 entities in every
# 25th place), 20 folders of 25 drawings.
#   bash bench/convert_tree.sh build/release [DEPTH]
set -eu
build="$1"
depth="${2:-1}"
bin="$build/cli/pelmora-convert"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/samples/make_samples" "$work/samples" >/dev/null 2>&1 || {
  mkdir -p "$work/samples" && "$build/samples/make_samples" "$work/samples" >/dev/null
}
for f in $(seq 0 19); do
  mkdir -p "$work/tree/folder $f"
  for d in $(seq 0 24); do
    n=$((f * 25 + d))
    if [ $((n % 25)) -eq 24 ]; then sample=a0-large.jwc
    elif [ $((n % 2)) -eq 0 ]; then sample=floorplan.jwc
    else sample=floorplan-int.jwc; fi
    cp "$work/samples/$sample" "$work/tree/folder $f/drawing $n.jwc"
  done
done
export XDG_CONFIG_HOME="$work/config"
for jobs in 1 2; do
  rm -rf "$work/out"
  start=$(date +%s.%N)
  "$bin" --defaults --dpi 150 --depth "$depth" -q -r -j "$jobs" -d "$work/out" "$work/tree" 2>"$work/err"
  end=$(date +%s.%N)
  count=$(find "$work/out" -type f | wc -l)
  python3 -c "import sys; s=float(sys.argv[2])-float(sys.argv[1]); print('-j %s: %s drawings in %.1f s, %.2f drawings/s' % (sys.argv[3], sys.argv[4], s, int(sys.argv[4])/s))" \
    "$start" "$end" "$jobs" "$count"
  tail -1 "$work/err"
  [ "$jobs" -eq 1 ] && mv "$work/out" "$work/out1"
done
diff -r "$work/out1" "$work/out" >/dev/null && echo "-j 2 outputs identical to -j 1"
