#!/usr/bin/env bash
# A progressive JPEG whose scans times picture size is huge: by default
# 8000 x 8000 grey in 704 scans (each coefficient in eleven steps), about
# 2 MB. libjpeg used directly decodes it for tens of seconds; the viewer
# counts the cost from the markers and turns the file down at once.
# Written with the tests' JPEG writer (libjpeg's own encoder), which takes
# a minute or two at this size.
#
# usage: bench/jpeg_scan_cost.sh [WIDTH HEIGHT STEPS]
set -euo pipefail
rounds=1
width=${1:-8000}
height=${2:-8000}
steps=${3:-11}
source "$(dirname "$0")/common.sh"
bench_setup scan_cost_make pxbench ref_decode
file="$work/scans.jpg"
"$build/bench/scan_cost_make" "$file" "$width" "$height" "$steps"

echo "jpeg_scan_cost: ${width}x${height} grey, $((64 * steps)) scans"
# The viewer's load fails, as it should: five runs, then libjpeg once.
compare_with "refusing the costly JPEG vs libjpeg decoding it" "$file" 0.01 libjpeg \
  "$build/bench/pxbench" refuse "$file" 5 -- "$build/bench/ref_decode" jpeg "$file" 1
