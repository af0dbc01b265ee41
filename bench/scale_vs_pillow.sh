#!/usr/bin/env bash
# Scaling against Pillow's bilinear resize, measured in the same run on the
# same pictures: 6000x4000 -> 1920x1280 and 4000x3000 -> 4400x3300. Prints
# the median and the fastest run of each and the ratios Pillow / Brelvix
# (above 1: Brelvix is faster); on a busy machine the fastest runs are the
# steadier figure. Quarter turns and mirrors follow, for information.
#
#   bench/scale_vs_pillow.sh [RUNS]      (default 7)
#
# Builds a Release tree in build/bench. Pillow comes from Debian's
# python3-pil, installed with apt-get when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-7}
python=/usr/bin/python3

if ! "$python" -c 'import PIL' 2>/dev/null; then
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
  fi
  echo "Installing python3-pil"
  $sudo apt-get update -q
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q python3-pil
fi

cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DBRELVIX_APP=OFF -DBRELVIX_TESTS=OFF >/dev/null
nice cmake --build build/bench -j2 --target pxbench >/dev/null
pxbench=build/bench/bench/pxbench

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

figures() {  # "M N" from a line "op=... median_ms=M min_ms=N ..."
  sed -n 's/.*median_ms=\([0-9.]*\) min_ms=\([0-9.]*\).*/\1 \2/p'
}

# report LABEL "OURS_MEDIAN OURS_MIN" "THEIRS_MEDIAN THEIRS_MIN"
report() {
  awk -v label="$1" -v ours="$2" -v theirs="$3" 'BEGIN {
    split(ours, a, " "); split(theirs, b, " ")
    printf "%-30s brelvix %7.1f ms (min %6.1f), pillow %7.1f ms (min %6.1f), pillow/brelvix %5.2f (min %5.2f)\n",
      label, a[1], a[2], b[1], b[2], b[1] / a[1], b[2] / a[2] }'
}

compare_scale() {
  local file=$1 size=$2 width=$3 height=$4 ours theirs
  ours=$("$pxbench" scale "$file" "$width" "$height" "$runs" | figures)
  theirs=$("$python" bench/pillow_reference.py resize "$file" "$width" "$height" "$runs" | figures)
  report "scale $size -> ${width}x$height:" "$ours" "$theirs"
}

compare_transpose() {
  local file=$1 op=$2 arg=$3 name=$4 ours theirs
  ours=$("$pxbench" "$op" "$file" "$arg" "$runs" | figures)
  theirs=$("$python" bench/pillow_reference.py transpose "$file" "$name" "$runs" | figures)
  report "$op $arg 6000x4000:" "$ours" "$theirs"
}

"$python" bench/pillow_reference.py make "$work/large.bmp" 6000 4000
"$python" bench/pillow_reference.py make "$work/medium.bmp" 4000 3000

echo "$runs runs of each"
compare_scale "$work/large.bmp" 6000x4000 1920 1280
compare_scale "$work/medium.bmp" 4000x3000 4400 3300
compare_transpose "$work/large.bmp" rotate 1 rotate1
compare_transpose "$work/large.bmp" rotate 2 rotate2
compare_transpose "$work/large.bmp" rotate 3 rotate3
compare_transpose "$work/large.bmp" flip 0 flip0
compare_transpose "$work/large.bmp" flip 1 flip1
