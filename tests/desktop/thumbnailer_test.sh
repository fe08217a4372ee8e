#!/usr/bin/env bash
# Runs the installed thumbnailer's Exec line as a file manager does: %s the
# size, %i the drawing, %o the PNG to write; the PNG must fit the size.
# $1: the build tree. Skipped (77) while the converter has no --thumbnail.
set -u
build="$1"
src="${PELMORA_SOURCE_DIR:-$(cd "$(dirname "$0")/../.." && pwd)}"
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cmake --install "$build" --prefix "$stage/usr" >/dev/null || exit 1
export PATH="$stage/usr/bin:$PATH"
export XDG_CONFIG_HOME="$stage/config"
if ! pelmora-convert --help 2>&1 | grep -q -- '--thumbnail'; then
  echo "pelmora-convert has no --thumbnail yet"
  exit 77
fi

entry="$stage/usr/share/thumbnailers/pelmora.thumbnailer"
grep -qx 'TryExec=pelmora-convert' "$entry" || { echo "FAIL: TryExec" >&2; exit 1; }
exec_line=$(sed -n 's/^Exec=//p' "$entry")
failures=0
for size in 128 256; do
  out="$stage/thumb-$size.png"
  # A drawing's name with a space and Japanese, as archives hold them.
  drawing="$stage/平面 図.jwc"
  cp "$src/samples/floorplan.jwc" "$drawing"
  read -ra words <<<"$exec_line"
  command=()
  for word in "${words[@]}"; do
    case $word in
      %s) command+=("$size") ;;
      %i) command+=("$drawing") ;;
      %o) command+=("$out") ;;
      *) command+=("$word") ;;
    esac
  done
  if ! "${command[@]}"; then
    echo "FAIL: ${command[*]}" >&2
    failures=$((failures + 1))
    continue
  fi
  python3 - "$out" "$size" <<'PY' || failures=$((failures + 1))
import sys
from PIL import Image
image = Image.open(sys.argv[1])
size = int(sys.argv[2])
if image.format != "PNG" or max(image.size) != size or min(image.size) < 1:
    sys.exit(f"FAIL: {image.format} of {image.size} for a size of {size}")
PY
done
[ "$failures" -eq 0 ] && echo "thumbnails fit"
exit $((failures > 0))
