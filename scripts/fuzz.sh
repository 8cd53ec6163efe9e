#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for the given number of seconds
# (default 20), one after the other, starting from seeds that our own writers make
# (write_fuzz_seeds, into build-fuzz/seeds/<target>), the kept seed corpus (fuzz/corpus/<target>)
# and the regression inputs kept under tests/fuzz-regressions/<target>. Any crash fails the
# script; the crashing input is left in fuzz-out/<target>/. The log of a target goes to
# fuzz-out/<target>/log.txt, or to $FUZZ_LOG_DIR/<target>.log when that is set.
#
#   bash scripts/fuzz.sh            # CI: 20 seconds each
#   FUZZ_LOG_DIR=/work/fuzz-logs nohup bash scripts/fuzz.sh 3600 &   # an hour each
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-20}"

CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTINTAVO_BUILD_FUZZ=ON -DTINTAVO_BUILD_GUI=OFF -DTINTAVO_BUILD_TESTS=OFF -DTINTAVO_BUILD_BENCH=OFF >/dev/null
# Only the fuzz programs and the seed writer: the other programs would link the instrumented
# core without libFuzzer.
targets=()
for src in fuzz/fuzz_*.cpp; do targets+=("$(basename "$src" .cpp)"); done
cmake --build build-fuzz --target "${targets[@]}" write_fuzz_seeds

export ASAN_OPTIONS=detect_leaks=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
build-fuzz/fuzz/write_fuzz_seeds build-fuzz/seeds

status=0
for name in "${targets[@]}"; do
  bin="build-fuzz/fuzz/$name"
  work="fuzz-out/$name"
  mkdir -p "$work/corpus"
  log="$work/log.txt"
  if [ -n "${FUZZ_LOG_DIR:-}" ]; then
    mkdir -p "$FUZZ_LOG_DIR"
    log="$FUZZ_LOG_DIR/$name.log"
  fi
  dirs=("$work/corpus" "build-fuzz/seeds/$name")
  [ -d "fuzz/corpus/$name" ] && dirs+=("fuzz/corpus/$name")
  # Both picture targets replay the picture regressions (each skips the other's types).
  kept="tests/fuzz-regressions/${name%_deep}"
  [ -d "$kept" ] && dirs+=("$kept")
  # LUT files of 16 KiB hold every header and enough data lines to reach every branch; longer
  # ones would only slow the runs down. Pictures keep room for larger images.
  maxlen=16384
  case "$name" in fuzz_pictures*) maxlen=65536 ;; esac
  echo "fuzz: $name for ${seconds}s"
  if ! "$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 -max_len="$maxlen" \
      -artifact_prefix="$work/" -print_final_stats=1 "${dirs[@]}" 2>"$log"; then
    echo "fuzz: $name FAILED; see $log"
    tail -40 "$log"
    status=1
  else
    grep -E "stat::number_of_executed_units|stat::average_exec_per_sec|Done" "$log" | tail -3
  fi
done
exit $status
