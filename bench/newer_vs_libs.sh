#!/usr/bin/env bash
# Decoding speed of the viewer's WebP, AVIF, HEIF and JPEG XL loaders against
# each format's library used directly on the same file, with its simplest
# call that decodes into a buffer (bench/ref_newer.c), on a 12 MP synthetic
# photo encoded by that library. Both sides read the file, allocate the
# picture and free it in every run, measured alternately; the medians are
# compared. Then what turning a picture upright costs, against a quarter
# turn of the same picture (pxbench rotate).
#
# usage: bench/newer_vs_libs.sh [ROUNDS] [WIDTH HEIGHT]
set -euo pipefail
rounds=${1:-9}
width=${2:-4000}
height=${3:-3000}
source "$(dirname "$0")/common.sh"
bench_setup pxbench ref_newer

echo "newer_vs_libs: ${width}x${height}, $rounds alternating rounds"
for format in webp avif heif jxl; do
  file="$work/photo.$format"
  "$build/bench/ref_newer" "make-$format" "$file" "$width" "$height"
  compare_with "$format vs its library" "$file" 1.10 library \
    "$build/bench/pxbench" decode "$file" 1 -- "$build/bench/ref_newer" "$format" "$file" 1
done

# Orientation, on the decoded WebP: every value against the quarter turn.
"$build/bench/pxbench" rotate "$work/photo.webp" 1 "$rounds" >"$work/turn.txt"
turn=$(median <"$work/turn.txt")
for orientation in 2 3 4 5 6 7 8; do
  "$build/bench/pxbench" orient "$work/photo.webp" "$orientation" "$rounds" >"$work/orient.txt"
  awk -v o="$orientation" -v a="$(median <"$work/orient.txt")" -v b="$turn" 'BEGIN {
    printf "orientation %d: %.1f ms, quarter turn %.1f ms, ratio %.3f (target <= 1.00) %s\n",
      o, a, b, a / b, a / b <= 1.0 ? "ok" : "SLOW"
  }'
done
