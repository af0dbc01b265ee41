#!/usr/bin/env bash
# Brief fuzz run over seeds from the shared conformance files, or, in a clone
# without them, from the bundled samples and cut-off copies of them. Fails
# when the fuzzer finds a crash, a leak or a sanitizer report.
# usage: fuzz/smoke.sh BUILD_DIR [RUNS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$1
runs=${2:-20000}
testdata=$(realpath -m "$root/../shared/testdata")
seeds=$(mktemp -d)
trap 'rm -rf "$seeds" "${log:-}"' EXIT
if [ -d "$testdata" ]; then
  # A bounded, fixed seed set: small files of every format, from the suites.
  find "$testdata" -type f -size -64k \
    \( -iname '*.bmp' -o -iname '*.tga' -o -iname '*.pcx' -o -iname '*.jpg' -o -iname '*.jpeg' \
       -o -iname '*.png' -o -iname '*.gif' -o -iname '*.tif' -o -iname '*.tiff' \) \
    | sort | awk 'NR % 3 == 1' | while read -r f; do cp "$f" "$seeds/"; done
else
  echo "fuzz smoke: no folder $testdata; seeds from res/samples and cut-off copies of them"
  # Each sample cut after its header, at a quarter and at half: the paths
  # that files ending early take through every decoder.
  for f in "$root"/res/samples/*; do
    size=$(stat -c %s "$f")
    for cut in 64 $((size / 4)) $((size / 2)); do
      head -c "$cut" "$f" >"$seeds/cut$cut-$(basename "$f")"
    done
  done
fi
cp -r "$root"/res/samples/. "$seeds/"
echo "fuzz smoke: $(ls "$seeds" | wc -l) seeds, $runs runs"
log=$(mktemp)
# An input may legitimately take seconds (a 1 GiB store filled row by row
# under the sanitizers on a busy machine); only a real hang should trip the
# time limit.
if ! "$build"/fuzz/fuzz_load -runs="$runs" -seed=1 -max_len=65536 -rss_limit_mb=2048 -timeout=60 \
  "$seeds" >"$log" 2>&1; then
  tail -n 80 "$log"
  echo "fuzz smoke: FAILED"
  exit 1
fi
tail -n 2 "$log"
echo "fuzz smoke: no findings"
