#!/usr/bin/env bash
# Decoding speed of the run-length decoders (TGA type 10 at 24 bits, PCX in
# three 8-bit planes, PCX at 8 bits with the end palette) against the
# 24-bit BMP decoder on the same picture, all through CreateFromFile.
# The pictures are made by bench/rle_make in two contents: "scene" (long
# runs in the sky, short ones elsewhere), which the aim applies to, and
# "grain" (noise on every pixel, hardly a run), the worst case for
# run-length data, reported for information. Loads are timed in CPU time (bench/cpu_decode): on a shared
# machine the wall clock also counts the waits for a processor, which grow
# with the length of a load. Each run-length file and the BMP are measured
# alternately, one run at a time, so that cache and memory pressure from
# elsewhere fall on both; the medians are compared. Aim: at most 2 times
# the BMP's time.
#
# usage: bench/rle_bench.sh [ROUNDS] [WIDTH HEIGHT]
set -euo pipefail
rounds=${1:-9}
width=${2:-6000}
height=${3:-4000}
source "$(dirname "$0")/common.sh"
bench_setup cpu_decode rle_make

status=0
compare() {
  local label=$1 file=$2 bmp=$3 aim=$4
  local ours="$work/ours.txt" ref="$work/ref.txt"
  alternate "$ours" "$ref" "$build/bench/cpu_decode" "$file" 1 -- "$build/bench/cpu_decode" "$bmp" 1
  local a b
  a=$(median <"$ours")
  b=$(median <"$ref")
  awk -v label="$label" -v a="$a" -v b="$b" -v aim="$aim" -v size="$(stat -c %s "$file")" 'BEGIN {
    r = a / b
    verdict = aim ? (r <= 2 ? "(aim <= 2.00) ok" : "(aim <= 2.00) SLOW") : "(worst case, no aim)"
    printf "%-12s (%9d bytes): %7.1f ms, BMP %6.1f ms, ratio %5.2f %s\n", label, size, a, b, r, verdict
    exit aim && r > 2 ? 1 : 0
  }' || status=1
}

echo "rle_bench: ${width}x${height}, $rounds alternating rounds"
for content in scene grain; do
  "$build/bench/rle_make" bmp24 "$work/$content.bmp" "$width" "$height" "$content"
  for kind in tga pcx24 pcx8; do
    "$build/bench/rle_make" "$kind" "$work/$content.$kind" "$width" "$height" "$content"
    compare "$kind $content" "$work/$content.$kind" "$work/$content.bmp" "$([ "$content" = scene ] && echo 1 || echo 0)"
    rm -f "$work/$content.$kind"
  done
  rm -f "$work/$content.bmp"
done
exit $status
