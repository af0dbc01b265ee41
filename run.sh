#!/usr/bin/env bash
# Installs what is missing, builds, and decodes every picture of the sample
# folder (or the pictures given) with pxdump.
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)
cd "$root"
scripts/deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DBRELVIX_TESTS=OFF >/dev/null
cmake --build build/release -j "$(nproc)" >/dev/null
if [ $# -eq 0 ]; then
  set -- "$root"/res/samples/*
fi
status=0
for picture in "$@"; do
  printf '%s: ' "$picture"
  "$root"/build/release/tools/pxdump "$picture" || status=1
done
exit $status
