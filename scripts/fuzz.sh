#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for the given number of seconds
# (default 20), starting from its seed corpus (fuzz/corpus/<target>) and the regression inputs
# kept under tests/fuzz-regressions/<target>. Any crash fails the script; the crashing input is
# left in fuzz-out/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-20}"

CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTINTAVO_BUILD_FUZZ=ON -DTINTAVO_BUILD_GUI=OFF -DTINTAVO_BUILD_TESTS=OFF -DTINTAVO_BUILD_BENCH=OFF >/dev/null
# Only the fuzz programs: the other programs would link the instrumented core without libFuzzer.
targets=()
for src in fuzz/fuzz_*.cpp; do targets+=("$(basename "$src" .cpp)"); done
cmake --build build-fuzz --target "${targets[@]}"

export ASAN_OPTIONS=detect_leaks=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
for bin in build-fuzz/fuzz/fuzz_*; do
  [ -x "$bin" ] || continue
  name=$(basename "$bin")
  work="fuzz-out/$name"
  mkdir -p "$work/corpus"
  dirs=("$work/corpus")
  [ -d "fuzz/corpus/$name" ] && dirs+=("fuzz/corpus/$name")
  [ -d "tests/fuzz-regressions/$name" ] && dirs+=("tests/fuzz-regressions/$name")
  echo "fuzz: $name for ${seconds}s"
  if ! "$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 -max_len=65536 \
      -artifact_prefix="$work/" -print_final_stats=1 "${dirs[@]}" 2>"$work/log.txt"; then
    echo "fuzz: $name FAILED; see $work/log.txt"
    tail -40 "$work/log.txt"
    status=1
  else
    grep -E "stat::number_of_executed_units|Done" "$work/log.txt" | tail -2
  fi
done
exit $status
