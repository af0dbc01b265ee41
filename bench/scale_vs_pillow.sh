#!/usr/bin/env bash
# Scaling against Pillow's bilinear resize, measured in the same run on the
# same pictures: 6000x4000 -> 1920x1280 and 4000x3000 -> 4400x3300. Prints
# both medians and the ratio Pillow / Brelvix (above 1: Brelvix is faster).
# Quarter turns and mirrors follow, for information.
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

median() {  # median_ms from a line "op=... median_ms=M ..."
  sed -n 's/.*median_ms=\([0-9.]*\).*/\1/p'
}

compare_scale() {
  local file=$1 width=$2 height=$3 ours theirs
  ours=$("$pxbench" scale "$file" "$width" "$height" "$runs" | median)
  theirs=$("$python" bench/pillow_reference.py resize "$file" "$width" "$height" "$runs" | median)
  local size
  size=$("$python" -c "import struct,sys; d=open(sys.argv[1],'rb').read(26); print('%dx%d' % struct.unpack('<ii', d[18:26]))" "$file")
  awk -v s="$size" -v w="$width" -v h="$height" -v a="$ours" -v b="$theirs" 'BEGIN {
    printf "scale %s -> %dx%d: brelvix %.1f ms, pillow %.1f ms, pillow/brelvix %.2f\n", s, w, h, a, b, b / a }'
}

compare_transpose() {
  local file=$1 op=$2 arg=$3 name=$4 ours theirs
  ours=$("$pxbench" "$op" "$file" "$arg" "$runs" | median)
  theirs=$("$python" bench/pillow_reference.py transpose "$file" "$name" "$runs" | median)
  awk -v n="$op $arg" -v a="$ours" -v b="$theirs" 'BEGIN {
    printf "%-9s 6000x4000: brelvix %.1f ms, pillow %.1f ms, pillow/brelvix %.2f\n", n, a, b, b / a }'
}

"$python" bench/pillow_reference.py make "$work/large.bmp" 6000 4000
"$python" bench/pillow_reference.py make "$work/medium.bmp" 4000 3000

echo "median of $runs runs each"
compare_scale "$work/large.bmp" 1920 1280
compare_scale "$work/medium.bmp" 4400 3300
compare_transpose "$work/large.bmp" rotate 1 rotate1
compare_transpose "$work/large.bmp" rotate 2 rotate2
compare_transpose "$work/large.bmp" rotate 3 rotate3
compare_transpose "$work/large.bmp" flip 0 flip0
compare_transpose "$work/large.bmp" flip 1 flip1
