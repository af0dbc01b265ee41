#!/usr/bin/env bash
# Decoding speed of the viewer's JPEG and PNG loaders against the codec
# libraries used directly on the same files (bench/ref_decode.c):
#   JPEG: libjpeg-turbo with the same settings (float IDCT, simple
#         upsampling) into a fresh 24-bit buffer;
#   PNG:  libpng's simplified API to BGR into a fresh buffer.
# Both sides read the file, allocate the picture and free it in every run.
# The two are measured alternately, one run at a time, so that load from
# elsewhere on the machine falls on both; the medians are compared.
#
# usage: bench/decode_vs_libs.sh [ROUNDS] [WIDTH HEIGHT]
set -euo pipefail
rounds=${1:-9}
width=${2:-6000}
height=${3:-4000}
source "$(dirname "$0")/common.sh"
bench_setup pxbench ref_decode
"$build/bench/ref_decode" make-jpeg "$work/photo.jpg" "$width" "$height"
"$build/bench/ref_decode" make-png "$work/photo.png" "$width" "$height"

compare() {
  local label=$1 file=$2 kind=$3 target=$4
  compare_with "$label" "$file" "$target" library \
    "$build/bench/pxbench" decode "$file" 1 -- "$build/bench/ref_decode" "$kind" "$file" 1
}

echo "decode_vs_libs: ${width}x${height}, $rounds alternating rounds"
compare "JPEG 4:2:0 vs libjpeg-turbo" "$work/photo.jpg" jpeg 1.15
compare "PNG RGB vs libpng simplified" "$work/photo.png" png 1.15
