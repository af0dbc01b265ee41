#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors under
# AddressSanitizer and UndefinedBehaviorSanitizer, runs a brief fuzz pass over
# the decoders and then every test. The last line is CTest's summary.
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh

jobs=$(nproc)

# Fuzz smoke run: clang with libFuzzer, a fixed number of runs on the seeds.
cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DBRELVIX_FUZZ=ON -DBRELVIX_WERROR=ON -DBRELVIX_APP=OFF -DBRELVIX_TESTS=OFF -DBRELVIX_BENCH=OFF
cmake --build build/fuzz -j "$jobs"
fuzz/smoke.sh build/fuzz

cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DBRELVIX_SANITIZE=ON -DBRELVIX_WERROR=ON
cmake --build build/test -j "$jobs"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan_suppressions.txt:print_suppressions=0"
export QT_QPA_PLATFORM=offscreen
cd build/test
ctest --output-on-failure -j "$jobs"
