#!/usr/bin/env bash
# Makes the Debian package tintavo_<version>_<architecture>.deb with CPack.
#
#   bash scripts/package.sh                      # a Release build in build-pkg/, the package here
#   bash scripts/package.sh BUILD_DIR [OUT_DIR]  # package a folder that is already built
#
# The second form is how the tests package the build they run in, without building again.
set -euo pipefail
cd "$(dirname "$0")/.."

build="${1:-}"
out="$(realpath -m "${2:-.}")"
if [ -z "$build" ]; then
  bash scripts/install-deps.sh
  build=build-pkg
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTINTAVO_BUILD_TESTS=OFF -DTINTAVO_BUILD_BENCH=OFF
  cmake --build "$build"
fi
build="$(realpath "$build")"
[ -f "$build/CPackConfig.cmake" ] || { echo "package.sh: $build is not a configured build folder" >&2; exit 1; }

mkdir -p "$out"
work="$(mktemp -d "$out/.cpack-XXXXXX")"
trap 'rm -rf "$work"' EXIT
(cd "$build" && cpack -G DEB -B "$work" >"$work/cpack.log") || { cat "$work/cpack.log" >&2; exit 1; }
deb=$(find "$work" -maxdepth 1 -name 'tintavo_*.deb')
[ -n "$deb" ] || { cat "$work/cpack.log" >&2; echo "package.sh: CPack made no package" >&2; exit 1; }
mv -f "$deb" "$out/"
echo "$out/$(basename "$deb")"
