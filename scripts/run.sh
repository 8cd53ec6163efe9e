#!/usr/bin/env bash
# Installs what is needed, builds Tintavo and starts the desktop program with the sample chart
# photograph (or the picture named on the command line).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DTINTAVO_BUILD_TESTS=OFF -DTINTAVO_BUILD_BENCH=OFF
cmake --build build --target tintavo

picture="${1:-samples/classic.jpg}"
exec build/app/tintavo "$picture"
