#!/usr/bin/env bash
# What the reduced first look at a large picture costs against the full
# decode of the same file (pxbench reduced against pxbench decode, measured
# alternately in the same run): a 24 MP JPEG (4:2:0, quality 90) reduced to
# what a 1920 x 1080 window and a 1024 x 768 one show at best fit, which
# libjpeg's DCT scaling serves at 1/2 and 1/4, and the thumbnail-sized 1/8.
# The entropy-coded data is read in full at every scale, so the reduced
# decode of a densely coded photo like this one (6 MB) stays above a third
# of the full decode; only the inverse DCT, upsampling, colour conversion
# and the store get smaller.
#
# The other formats' libraries were looked at and offer nothing cheaper:
# libwebp's scaled decode decodes in full and scales each row on its way out
# (measured on a 12 MP still: 0.97 to 0.99 of the full decode), so WebP
# stills are not reduced; libpng, giflib, libtiff, libavif and libheif have no
# reduced decode of the main picture.
#
# usage: bench/reduced_decode.sh [ROUNDS]
set -euo pipefail
rounds=${1:-9}
source "$(dirname "$0")/common.sh"
bench_setup pxbench ref_decode
"$build/bench/ref_decode" make-jpeg "$work/photo.jpg" 6000 4000

echo "reduced_decode: $rounds alternating rounds"
reduced() {
  local label=$1 file=$2 width=$3 height=$4 target=$5
  compare_with "$label" "$file" "$target" "full decode" \
    "$build/bench/pxbench" reduced "$file" "$width" "$height" 1 -- "$build/bench/pxbench" decode "$file" 1
}
reduced "JPEG 6000x4000 at 1/2 (at least 1620x1080)" "$work/photo.jpg" 1620 1080 0.75
reduced "JPEG 6000x4000 at 1/4 (at least 1020x680)" "$work/photo.jpg" 1020 680 0.65
reduced "JPEG 6000x4000 at 1/8 (at least 640x480)" "$work/photo.jpg" 640 480 0.60
