#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite: the normal build, then a second build with
# AddressSanitizer and UndefinedBehaviorSanitizer (clang), then the threaded scan-session tests
# under ThreadSanitizer. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

scripts/setup.sh
echo "== tests (build/)"
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/)"
CC=clang CXX=clang++ cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DSALVORA_WERROR=ON -DSALVORA_SANITIZE=address,undefined \
  -DSALVORA_BUILD_GUI=OFF -DSALVORA_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"
echo "== statistics and scan-session tests under ThreadSanitizer (build-tsan/)"
CC=clang CXX=clang++ cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DSALVORA_WERROR=ON -DSALVORA_SANITIZE=thread \
  -DSALVORA_BUILD_GUI=OFF -DSALVORA_BUILD_BENCH=OFF >/dev/null
cmake --build build-tsan --target core_tests scan_tests
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan --output-on-failure -j "$jobs" \
  -R '^(StatisticsObjTest|ConversationRowsTest|StatisticsLabelTest|ShownPercentTest|ScanSessionTest|EngineFactoryTest)[.]'
echo "== all tests passed"
