# Shared by the decoding benchmarks; sourced, not run.
#
#   bench_setup TARGET...   builds the targets in a Release tree (build/bench)
#                           and makes a work folder, removed on exit; sets
#                           root, build and work
#   alternate OURS REF CMD1... -- CMD2...
#                           runs the two commands alternately, one run each
#                           per round, for $rounds rounds, appending their
#                           output to the files OURS and REF, so that load
#                           from elsewhere on the machine falls on both
#   median < FILE           the median of the median_ms= fields in FILE

bench_setup() {
  root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  build="$root/build/bench"
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DBRELVIX_APP=OFF -DBRELVIX_TESTS=OFF -DBRELVIX_BENCH=ON >/dev/null
  cmake --build "$build" -j2 --target "$@" >/dev/null
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
}

alternate() {
  local ours=$1 ref=$2
  shift 2
  local first=() second=()
  while [ "$1" != "--" ]; do
    first+=("$1")
    shift
  done
  shift
  second=("$@")
  : >"$ours"
  : >"$ref"
  for _ in $(seq "$rounds"); do
    "${first[@]}" >>"$ours"
    "${second[@]}" >>"$ref"
  done
}

median() {
  sed -n 's/.*median_ms=\([0-9.]*\).*/\1/p' | sort -g |
    awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
