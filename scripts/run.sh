#!/usr/bin/env bash
# `make run`: the project's main job on the bundled sample drawing.
set -euo pipefail
build=$1 sample=$2

# --- The desktop program, when a display exists -------------------------------
# The window opens "$sample"; `make run` ends when it closes.
if [[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" && -x "$build/app/pelmora" ]]; then
  exec "$build/app/pelmora" "$sample"
fi

# --- Without a display: the drawing's summary, then the sample as a bitmap ------
convert="$build/cli/pelmora-convert"
"$convert" --info "$sample"
echo
out="$build/run"
mkdir -p "$out"
# The saved settings apply, as in the window; -f replaces the previous run's file.
"$convert" -f -d "$out" "$sample"
bitmap="$out/$(basename "${sample%.*}").bmp"
echo "The bitmap is at $(realpath "$bitmap")"
