#!/usr/bin/env bash
# Installs what is needed, builds Tintavo and starts the desktop program with the sample chart
# photograph (or the picture named on the command line). It builds in build-run/, a folder of its
# own, so that build/ keeps whatever options you configured there (tests, benchmarks).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build-run -G Ninja -DCMAKE_BUILD_TYPE=Release -DTINTAVO_BUILD_TESTS=OFF -DTINTAVO_BUILD_BENCH=OFF
cmake --build build-run --target tintavo tintavo-cli

picture="${1:-samples/classic.jpg}"
exec build-run/app/tintavo "$picture"
