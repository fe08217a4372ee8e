#!/usr/bin/env bash
# Regenerates the canvas reference bitmaps, tests/golden/reference/NAME.bmp,
# from tests/golden/scenes/NAME.gdi with the GDI oracle (real GDI calls under
# Wine). The tests only read the committed bitmaps; Wine is needed here alone.
#
#   tests/golden/regenerate.sh [SCENE.gdi ...]     (default: every scene)
#
# GDI_ORACLE_DIR points at the oracle (default: ../shared/tools/gdi-oracle
# beside the repository); its build.sh must have been run once. To change the
# scenes themselves, edit make_scenes.py and run it first.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
oracle="${GDI_ORACLE_DIR:-$here/../../../shared/tools/gdi-oracle}"
if [[ ! -x $oracle/run.sh ]]; then
    echo "regenerate.sh: no GDI oracle at $oracle (set GDI_ORACLE_DIR)" >&2
    exit 1
fi

if [[ $# -eq 0 ]]; then
    set -- "$here"/scenes/*.gdi
fi
mkdir -p "$here/reference"
# One Wine process per scene: Wine's GDI keeps stale data between drawings
# (ellipse rows), so a scene must not depend on what ran before it.
for scene in "$@"; do
    name="$(basename "$scene" .gdi)"
    path="$(cd "$(dirname "$scene")" && pwd)/$name.gdi"
    if grep -q '^#! one figure per run' "$path"; then
        # Even one scene is too much for some figures: each gets its own process.
        python3 "$here/one_figure_per_run.py" "$oracle/run.sh" "$path" "$here/reference/$name.bmp"
    else
        "$oracle/run.sh" "$path" "$here/reference/$name.bmp"
    fi
done
echo "regenerate.sh: wrote $# reference bitmaps to $here/reference"
