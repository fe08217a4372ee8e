#!/usr/bin/env bash
# `make run`: the project's main job on the bundled sample drawing.
set -euo pipefail
build=$1 sample=$2
"$build/cli/pelmora-convert" --info "$sample"
