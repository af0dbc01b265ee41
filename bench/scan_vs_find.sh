#!/usr/bin/env bash
# Folder listing speed against find(1), measured in the same run.
#
#   bench/scan_vs_find.sh [PXBENCH] [RUNS]
#
# Builds two temporary folders: 100,000 empty files in one folder, and
# 10,000 empty files spread over 100 subfolders. Lists the first with
# `pxbench scan` and `find DIR -maxdepth 1 -type f`, the second with
# `pxbench scan --subfolders` and `find DIR -type f`, each RUNS times after a
# warm-up (so both read a warm directory cache), and prints the medians and
# the ratio scan / find. find's times include starting the process (about a
# millisecond); pxbench's do not.
set -euo pipefail
cd "$(dirname "$0")/.."

pxbench=${1:-build/bench/bench/pxbench}
runs=${2:-7}
if [[ ! -x $pxbench ]]; then
  echo "no pxbench at $pxbench; build it first, e.g.:" >&2
  echo "  cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DBRELVIX_APP=OFF -DBRELVIX_TESTS=OFF" >&2
  echo "  cmake --build build/bench -j2 --target pxbench" >&2
  exit 2
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/brelvix-scan-XXXXXX")
trap 'rm -rf "$work"' EXIT

flat=$work/flat
tree=$work/tree
mkdir -p "$flat" "$tree"
# Names with numbers of varying width, as cameras and exports produce them.
(cd "$flat" && seq -f 'img%.0f.jpg' 1 100000 | xargs touch)
for d in $(seq 1 100); do
  mkdir "$tree/album$d"
  (cd "$tree/album$d" && seq -f "photo%.0f.png" 1 100 | xargs touch)
done

# Median of the numbers on standard input.
median() {
  sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# Runs "$@" RUNS times after one warm-up and prints the median milliseconds.
time_find() {
  "$@" > /dev/null
  for _ in $(seq 1 "$runs"); do
    local start end
    start=$(date +%s%N)
    "$@" > /dev/null
    end=$(date +%s%N)
    echo "scale=3; ($end - $start) / 1000000" | bc
  done | median
}

# Prints pxbench's line and leaves its median in $scan_ms.
time_scan() {
  "$pxbench" scan "$@" 1 > /dev/null
  local line
  line=$("$pxbench" scan "$@" "$runs")
  echo "  $line"
  scan_ms=$(sed -n 's/.*median_ms=\([0-9.]*\).*/\1/p' <<< "$line")
}

report() {
  local name=$1 scan=$2 reference=$3
  printf '%s: scan_ms=%s find_ms=%s ratio=%.2f\n' "$name" "$scan" "$reference" \
    "$(echo "scale=4; $scan / $reference" | bc)"
}

echo "flat folder, 100000 files:"
time_scan "$flat"
flat_find=$(time_find find "$flat" -maxdepth 1 -type f)
report flat "$scan_ms" "$flat_find"

echo "tree, 100 subfolders of 100 files:"
time_scan "$tree" --subfolders
tree_find=$(time_find find "$tree" -type f)
report tree "$scan_ms" "$tree_find"
