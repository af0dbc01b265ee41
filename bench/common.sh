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
#   compare_with LABEL FILE TARGET NAME OURS... -- REFERENCE...
#                           runs both alternately and prints their medians
#                           and the ratio ours / reference against TARGET;
#                           NAME names the reference in that line

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

compare_with() {
  local label=$1 file=$2 target=$3 name=$4
  shift 4
  alternate "$work/ours.txt" "$work/ref.txt" "$@"
  local a b
  a=$(median <"$work/ours.txt")
  b=$(median <"$work/ref.txt")
  awk -v label="$label" -v name="$name" -v a="$a" -v b="$b" -v t="$target" -v size="$(stat -c %s "$file")" 'BEGIN {
    r = a / b
    printf "%s (%d bytes): brelvix %.1f ms, %s %.1f ms, ratio %.3f (target <= %.2f) %s\n",
      label, size, a, name, b, r, t, r <= t ? "ok" : "SLOW"
  }'
}
