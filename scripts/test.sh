#!/usr/bin/env bash
# Installs what is needed, builds everything but the benchmarks with AddressSanitizer,
# UndefinedBehaviorSanitizer and warnings as errors, runs every test through CTest, then gives
# each fuzz target a short run. The last line counts CTest's passed and failed tests; the script
# fails when a test or a fuzz run does.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen

# Benchmarks measure nothing useful under the sanitizers; they are built in a Release folder.
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTINTAVO_SANITIZE=ON -DTINTAVO_WERROR=ON \
  -DTINTAVO_BUILD_BENCH=OFF
cmake --build build-test

ctest_status=0
(cd build-test && ctest --output-on-failure -j2 --timeout 900) | tee build-test/ctest.log || ctest_status=$?

fuzz_status=0
if [ -f fuzz/CMakeLists.txt ] && command -v clang++-14 >/dev/null; then
  bash scripts/fuzz.sh 20 || fuzz_status=$?
fi

# The fuzz runs print after CTest's summary: repeat its counts as the closing line.
summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' build-test/ctest.log | tail -1 || true)
if [ -z "$summary" ]; then
  echo "tests: CTest gave no summary (exit status $ctest_status)"
  exit 1
fi
failed=$(sed -E 's/.* ([0-9]+) tests? failed out of.*/\1/' <<<"$summary")
total=$(sed -E 's/.*failed out of ([0-9]+).*/\1/' <<<"$summary")
closing="tests: $((total - failed)) passed, $failed failed"
if [ "$fuzz_status" -ne 0 ]; then closing="$closing; a fuzz run failed"; fi
echo "$closing"
if [ "$ctest_status" -ne 0 ] || [ "$failed" -ne 0 ] || [ "$fuzz_status" -ne 0 ]; then exit 1; fi
