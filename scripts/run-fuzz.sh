#!/usr/bin/env bash
# Runs every libFuzzer target in BUILD/fuzz for SECONDS each, seeded from the samples.
set -euo pipefail
build=$1 seconds=$2
shopt -s nullglob
# fontconfig keeps its configuration until exit; that is no leak of ours.
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
for target in "$build"/fuzz/fuzz_*; do
  [[ -x $target ]] || continue
  name=$(basename "$target")
  work="$build/fuzz/corpus-$name"
  mkdir -p "$work"
  seeds=()
  for dir in fuzz/seeds/"$name" samples; do [[ -d $dir ]] && seeds+=("$dir"); done
  echo "fuzz: $name for ${seconds}s"
  # -max_len: mutate inputs of up to 64 KiB (the floor plans whole, the A0
  # sample cut), instead of the 1 MiB the largest sample would set.
  "$target" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 -rss_limit_mb=4096 -max_len=65536 \
    "$work" "${seeds[@]}" 2>"$work.log" || { tail -n 60 "$work.log" >&2; exit 1; }
  grep -E 'stat::number_of_executed_units|Done [0-9]+ runs' "$work.log" | sed "s/^/fuzz: $name: /" || true
done
