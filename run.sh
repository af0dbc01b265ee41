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

# A folder opens on its first picture; the program itself finds it.
exec "$root"/build/release/app/brelvix "${1:-$root/res/samples}"
