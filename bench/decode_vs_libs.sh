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
root=$(cd "$(dirname "$0")/.." && pwd)
rounds=${1:-9}
width=${2:-6000}
height=${3:-4000}
build="$root/build/bench"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DBRELVIX_APP=OFF -DBRELVIX_TESTS=OFF -DBRELVIX_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target pxbench ref_decode >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bench/ref_decode" make-jpeg "$work/photo.jpg" "$width" "$height"
"$build/bench/ref_decode" make-png "$work/photo.png" "$width" "$height"

# Prints the median of the median_ms= fields read from standard input.
median() {
  sed -n 's/.*median_ms=\([0-9.]*\).*/\1/p' | sort -g |
    awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

compare() {
  local label=$1 file=$2 kind=$3 target=$4
  local ours="$work/ours.$kind" ref="$work/ref.$kind"
  : >"$ours"
  : >"$ref"
  for _ in $(seq "$rounds"); do
    "$build/bench/pxbench" decode "$file" 1 >>"$ours"
    "$build/bench/ref_decode" "$kind" "$file" 1 >>"$ref"
  done
  local a b
  a=$(median <"$ours")
  b=$(median <"$ref")
  awk -v label="$label" -v a="$a" -v b="$b" -v t="$target" -v size="$(stat -c %s "$file")" 'BEGIN {
    r = a / b
    printf "%s (%d bytes): brelvix %.1f ms, library %.1f ms, ratio %.3f (target <= %.2f) %s\n",
      label, size, a, b, r, t, r <= t ? "ok" : "SLOW"
  }'
}

echo "decode_vs_libs: ${width}x${height}, $rounds alternating rounds"
compare "JPEG 4:2:0 vs libjpeg-turbo" "$work/photo.jpg" jpeg 1.15
compare "PNG RGB vs libpng simplified" "$work/photo.png" png 1.15
