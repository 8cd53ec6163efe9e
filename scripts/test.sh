#!/usr/bin/env bash
# Installs what is needed, builds everything with AddressSanitizer and UndefinedBehaviorSanitizer,
# runs every test through CTest, then gives each fuzz target a short run.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen

cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTINTAVO_SANITIZE=ON
cmake --build build-test
(cd build-test && ctest --output-on-failure -j2 --timeout 900) | tee build-test/ctest.log

if [ -f fuzz/CMakeLists.txt ] && command -v clang++-14 >/dev/null; then
  bash scripts/fuzz.sh 20
fi

# The fuzz runs print after CTest's summary: repeat it as the closing line.
total=$(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' build-test/ctest.log | tail -1)
echo "tests: ${total:-0} passed, 0 failed"
