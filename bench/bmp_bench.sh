#!/usr/bin/env bash
# Bitmap decoding speed, as ratios against references measured in the same run:
#   1-, 4-, 8-bit and run-length 8-bit decodes against the 24-bit decode (aim: within 2x),
#   the 24-bit decode against reading the file plus one copy of the store (aim: within 2x).
# usage: bench/bmp_bench.sh [WIDTH HEIGHT [RUNS]]   (default 6000 4000 7)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
width=${1:-6000}
height=${2:-4000}
runs=${3:-7}
build=build/bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBRELVIX_TESTS=OFF -DBRELVIX_APP=OFF >/dev/null
nice cmake --build "$build" -j2 --target pxbench bmp_bench_helper >/dev/null
data="$build/bmp-data"
mkdir -p "$data"
"$build"/bench/bmp_bench_helper generate "$data" "$width" "$height"

median() { sed -n 's/.*median_ms=\([0-9.]*\).*/\1/p'; }
store=$(( (3 * width + 3) / 4 * 4 * height ))
declare -A ms
for kind in pal1 pal4 pal8 rle8 rgb24; do
  ms[$kind]=$("$build"/bench/pxbench decode "$data/$kind.bmp" "$runs" | median)
done
ms[readcopy]=$("$build"/bench/bmp_bench_helper readcopy "$data/rgb24.bmp" "$store" "$runs" | median)

printf '%-8s %10s %12s\n' file median_ms ratio
for kind in pal1 pal4 pal8 rle8; do
  printf '%-8s %10s %12s\n' "$kind" "${ms[$kind]}" \
    "$(awk -v a="${ms[$kind]}" -v b="${ms[rgb24]}" 'BEGIN { printf "%.2f x rgb24", a / b }')"
done
printf '%-8s %10s %12s\n' rgb24 "${ms[rgb24]}" \
  "$(awk -v a="${ms[rgb24]}" -v b="${ms[readcopy]}" 'BEGIN { printf "%.2f x readcopy", a / b }')"
printf '%-8s %10s\n' readcopy "${ms[readcopy]}"
rm -rf "$data"
