#!/usr/bin/env bash
# Installs what is missing, builds, and starts Brelvix: on the picture given,
# on the first picture of the folder given, or on the first picture of the
# sample folder res/samples/ when nothing is given.
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)
"$root"/scripts/deps.sh
cmake -S "$root" -B "$root"/build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DBRELVIX_TESTS=OFF \
  -DBRELVIX_BENCH=OFF >/dev/null
cmake --build "$root"/build/release -j "$(nproc)" >/dev/null

# The first picture of a folder, in the order the viewer lists it (names
# compared without regard to case, numbers by value).
first_picture() {
  find "$1" -maxdepth 1 -type f \
    \( -iname '*.jpg' -o -iname '*.jpeg' -o -iname '*.bmp' -o -iname '*.gif' -o -iname '*.tif' \
    -o -iname '*.tiff' -o -iname '*.png' -o -iname '*.tga' -o -iname '*.webp' -o -iname '*.avif' \
    -o -iname '*.heic' -o -iname '*.heif' -o -iname '*.jxl' \) -printf '%f\n' |
    LC_ALL=C sort -f -V | head -n 1
}

target=${1:-"$root/res/samples"}
if [ -d "$target" ]; then
  name=$(first_picture "$target")
  if [ -n "$name" ]; then
    target="${target%/}/$name"
  else
    echo "no picture in $target; choose one in the Open dialog" >&2
    target=""
  fi
fi
if [ -n "$target" ]; then
  exec "$root"/build/release/app/brelvix "$target"
fi
exec "$root"/build/release/app/brelvix
