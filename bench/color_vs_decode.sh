#!/usr/bin/env bash
# What showing a photo in its profile's colours costs: the conversion of a
# decoded 24 MP JPEG from its embedded profile to sRGB (cached transform,
# rows on all cores) against the decode of the same file, both measured
# alternately in one run; the medians are compared against the target of a
# quarter of the decode. The first conversion, which makes the transform,
# is shown beside it. Then the same picture untagged, which must cost
# nothing. The picture is the tests' sample with a sensor's grain of GRAIN
# levels (default 12, which gives a file of about the size a camera writes;
# 0 gives a drawn picture whose smooth areas decode far faster than a photo).
#
# usage: bench/color_vs_decode.sh [ROUNDS] [WIDTH HEIGHT] [GRAIN]
set -euo pipefail
rounds=${1:-9}
width=${2:-6000}
height=${3:-4000}
grain=${4:-12}
source "$(dirname "$0")/common.sh"
bench_setup color_bench

echo "color_vs_decode: ${width}x${height}, grain $grain, $rounds alternating rounds"
for profile in p3 adobe none; do
  file="$work/photo-$profile.jpg"
  "$build/bench/color_bench" make "$file" "$width" "$height" "$profile" "$grain"
  alternate "$work/convert.txt" "$work/decode.txt" \
    "$build/bench/color_bench" convert "$file" 1 -- "$build/bench/color_bench" decode "$file" 1
  "$build/bench/color_bench" convert "$file" 1 >"$work/first.txt"
  awk -v p="$profile" -v a="$(median <"$work/convert.txt")" -v b="$(median <"$work/decode.txt")" \
    -v f="$(sed -n 's/.*first_ms=\([0-9.]*\).*/\1/p' "$work/first.txt")" -v size="$(stat -c %s "$file")" 'BEGIN {
    printf "profile %s (%d bytes): conversion %.1f ms (first, making the transform, %.1f ms), decode %.1f ms, ratio %.3f (target <= 0.25) %s\n",
      p, size, a, f, b, a / b, a / b <= 0.25 ? "ok" : "SLOW"
  }'
done
