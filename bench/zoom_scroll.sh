#!/usr/bin/env bash
# Zooming and scrolling a 24-megapixel photo against decoding it, and the
# memory that zooming costs, measured in the same run (see bench/zoom_probe.cpp):
# one Zoom In step at 400 % and one line of scrolling at 400 % each against
# the photo's decode time (aim: at most 0.1), and the peak memory after
# zooming to 400 % and scrolling across the picture against the peak at
# 100 % (aim: at most 1.2).
#
# usage: bench/zoom_scroll.sh [RUNS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-9}
"$root"/scripts/deps.sh
cmake -S "$root" -B "$root"/build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DBRELVIX_TESTS=OFF -DBRELVIX_BENCH=ON >/dev/null
cmake --build "$root"/build/release -j2 --target zoom_probe viewer_probe >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -m 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
"$root"/build/release/bench/viewer_probe pictures "$work/pictures"
# The photo alone in its folder: no neighbour is decoded ahead beside it.
mkdir "$work/alone"
mv "$work/pictures/large/1.jpg" "$work/alone/photo.jpg"
"$root"/build/release/bench/zoom_probe "$work/alone/photo.jpg" "$runs"
