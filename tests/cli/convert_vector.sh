#!/usr/bin/env bash
# pelmora-convert's choice between images and vector documents: --dry-run says
# "vector", --raster keeps the image PDF, --vector with an image format and
# --raster with a vector-only one are bad command lines, -n leaves an existing
# document alone, --info and --help name the vector formats.
# $1: the folder holding pelmora-convert.
source "$(dirname "$0")/common.bash"
sample="$src/samples/floorplan.jwc"
cp "$sample" "$work/plan.jwc"
cd "$work" || exit 1

for format in pdf svg dxf; do
  expect 0 "$bin" --defaults --dry-run --format "$format" plan.jwc
  grep -q "vector -> plan.$format" "$work/out" || fail "--dry-run --format $format: $(cat "$work/out")"
done
expect 0 "$bin" --defaults --dry-run --format pdf --raster plan.jwc
grep -q " px, " "$work/out" || fail "--dry-run --raster gives no pixel size: $(cat "$work/out")"

# The image PDF: one page holding one image, as before.
expect 0 "$bin" --defaults --dpi 36 --raster -o image.pdf plan.jwc
[ "$(pdfimages -list image.pdf 2>/dev/null | tail -n +3 | wc -l)" -eq 1 ] ||
  fail "--raster: $(pdfimages -list image.pdf 2>&1 | head -c 300)"

for args in "--vector -o a.png" "--vector --format tiff" "--vector" "--raster -o a.svg" \
            "--raster --format dxf" "--keep-hidden --format png" "--vector --raster --format pdf"; do
  # shellcheck disable=SC2086
  expect 2 "$bin" --defaults $args plan.jwc
  [ -s "$work/err" ] || fail "$args: no reason given"
done
[ ! -e a.png ] && [ ! -e a.svg ] && [ ! -e plan.bmp ] || fail "a bad command line wrote a file"

# -n: an existing document is not touched.
echo keep >plan.svg
expect 0 "$bin" --defaults -n --format svg plan.jwc
[ "$(cat plan.svg)" = keep ] || fail "-n replaced plan.svg"

expect 0 "$bin" --defaults --info plan.jwc
grep -q "^Outputs: .*vector pdf, svg, dxf" "$work/out" || fail "--info names no vector format"
expect 0 "$bin" --help
grep -q -- "--keep-hidden" "$work/out" || fail "--help lists no --keep-hidden"
finish
