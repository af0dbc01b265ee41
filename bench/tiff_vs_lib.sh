#!/usr/bin/env bash
# TIFF decoding speed of the viewer against libtiff used directly on the same
# file (bench/ref_tiff.c: TIFFOpen and TIFFReadRGBAImage into a fresh
# raster). The files are large 8-bit RGB and RGBA pictures, LZW with the
# horizontal predictor, written by ref_tiff itself. The viewer's figure
# includes reading the file into memory and filling its 24-bit picture.
# The two are measured alternately, one run at a time, so that load from
# elsewhere on the machine falls on both; the medians are compared, once by
# the clock on the wall (pxbench) and once by CPU time (bench/cpu_decode),
# which a machine shared with other work disturbs far less.
#
# usage: bench/tiff_vs_lib.sh [ROUNDS] [WIDTH HEIGHT]
set -euo pipefail
rounds=${1:-9}
width=${2:-6000}
height=${3:-4000}
source "$(dirname "$0")/common.sh"
bench_setup pxbench cpu_decode ref_tiff
"$build/bench/ref_tiff" make "$work/rgb.tif" "$width" "$height" 3
"$build/bench/ref_tiff" make "$work/rgba.tif" "$width" "$height" 4

compare() {
  local label=$1 file=$2 target=$3 ourTool=$4 refMode=$5
  local tool=("$build/bench/cpu_decode" "$file" 1)
  [ "$ourTool" = pxbench ] && tool=("$build/bench/pxbench" decode "$file" 1)
  compare_with "$label" "$file" "$target" libtiff "${tool[@]}" -- "$build/bench/ref_tiff" "$refMode" "$file" 1
}

echo "tiff_vs_lib: ${width}x${height}, $rounds alternating rounds"
compare "TIFF LZW RGB vs TIFFReadRGBAImage, wall clock" "$work/rgb.tif" 1.30 pxbench rgba
compare "TIFF LZW RGB vs TIFFReadRGBAImage, CPU time" "$work/rgb.tif" 1.30 cpu_decode rgba-cpu
compare "TIFF LZW RGBA vs TIFFReadRGBAImage, wall clock" "$work/rgba.tif" 1.30 pxbench rgba
compare "TIFF LZW RGBA vs TIFFReadRGBAImage, CPU time" "$work/rgba.tif" 1.30 cpu_decode rgba-cpu
