#!/usr/bin/env bash
# Brief fuzz run over seeds from the shared conformance files. Fails when the
# fuzzer finds a crash, a leak or a sanitizer report.
# usage: fuzz/smoke.sh BUILD_DIR [RUNS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$1
runs=${2:-20000}
testdata="$root/../shared/testdata"
seeds=$(mktemp -d)
trap 'rm -rf "$seeds" "${log:-}"' EXIT
# A bounded, fixed seed set: small files of every format, from the suites.
find "$testdata" -type f -size -64k \
  \( -iname '*.bmp' -o -iname '*.tga' -o -iname '*.pcx' -o -iname '*.jpg' -o -iname '*.jpeg' \
     -o -iname '*.png' -o -iname '*.gif' -o -iname '*.tif' -o -iname '*.tiff' \) \
  | sort | awk 'NR % 3 == 1' | while read -r f; do cp "$f" "$seeds/"; done
cp -r "$root"/res/samples/. "$seeds/" 2>/dev/null || true
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
