#!/usr/bin/env bash
# Brief fuzz run over seeds from the shared conformance files, or, in a clone
# without them, from the bundled samples and cut-off copies of them; then a
# brief run on each newer format alone, seeded with its sample (written by
# the format's own library) and cut-off copies of it; then a run on pictures
# with frames. Fails when the fuzzer finds a crash, a leak or a sanitizer
# report.
# usage: fuzz/smoke.sh BUILD_DIR [RUNS] [RUNS_PER_NEWER_FORMAT]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$1
runs=${2:-20000}
format_runs=${3:-1500}
testdata=$(realpath -m "$root/../shared/testdata")
seeds=$(mktemp -d)
trap 'rm -rf "$seeds" "${log:-}" "${format_seeds:-}"' EXIT

# Each file cut after its header, at a quarter and at half: the paths that
# files ending early take through every decoder.
cut_copies() {
  local file=$1 into=$2 size
  size=$(stat -c %s "$file")
  for cut in 64 $((size / 4)) $((size / 2)); do
    head -c "$cut" "$file" >"$into/cut$cut-$(basename "$file")"
  done
}

# Runs the fuzzer on a seed folder; prints the end of its log on a finding.
fuzz() {
  local folder=$1 count=$2
  log=$(mktemp)
  # An input may legitimately take seconds (a 1 GiB store filled row by row
  # under the sanitizers on a busy machine); only a real hang should trip
  # the time limit.
  if ! "$build"/fuzz/fuzz_load -runs="$count" -seed=1 -max_len=65536 -rss_limit_mb=2048 -timeout=60 \
    "$folder" >"$log" 2>&1; then
    tail -n 80 "$log"
    echo "fuzz smoke: FAILED"
    exit 1
  fi
  tail -n 2 "$log"
}

if [ -d "$testdata" ]; then
  # A bounded, fixed seed set: small files of every format, from the suites.
  find "$testdata" -type f -size -64k \
    \( -iname '*.bmp' -o -iname '*.tga' -o -iname '*.pcx' -o -iname '*.jpg' -o -iname '*.jpeg' \
       -o -iname '*.png' -o -iname '*.gif' -o -iname '*.tif' -o -iname '*.tiff' \) \
    | sort | awk 'NR % 3 == 1' | while read -r f; do cp "$f" "$seeds/"; done
else
  echo "fuzz smoke: no folder $testdata; seeds from res/samples and cut-off copies of them"
  for f in "$root"/res/samples/*; do
    cut_copies "$f" "$seeds"
  done
fi
cp -r "$root"/res/samples/. "$seeds/"
echo "fuzz smoke: $(ls "$seeds" | wc -l) seeds, $runs runs"
fuzz "$seeds" "$runs"

for extension in webp avif heic jxl; do
  format_seeds=$(mktemp -d)
  for f in "$root"/res/samples/*."$extension"; do
    cp "$f" "$format_seeds/"
    cut_copies "$f" "$format_seeds"
  done
  echo "fuzz smoke: .$extension alone, $(ls "$format_seeds" | wc -l) seeds, $format_runs runs"
  fuzz "$format_seeds" "$format_runs"
  rm -rf "$format_seeds"
done

# Pictures with frames in every format that has them, and cut-off copies:
# the frame paths, disposal and blending over the frames before.
format_seeds=$(mktemp -d)
"$build"/fuzz/animation_seeds "$format_seeds"
for f in "$format_seeds"/*; do
  cut_copies "$f" "$format_seeds"
done
echo "fuzz smoke: frames, $(ls "$format_seeds" | wc -l) seeds, $((2 * format_runs)) runs"
fuzz "$format_seeds" "$((2 * format_runs))"
rm -rf "$format_seeds"
echo "fuzz smoke: no findings"
