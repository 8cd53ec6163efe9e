#!/usr/bin/env bash
# A 33-point cube applied to a 16-bit 6000 x 4000 TIFF, ours beside OpenColorIO's CPU processor,
# trilinear and tetrahedral, in one run:
#   ours   BM_ApplyLutToImage6000x4000 (bench_image; 1 and 2 threads), the floating-point work
#          of apply between decoding and writing
#   OCIO   applyRGB of the same cube on the same decoded samples (bench/ocio_apply.py), and the
#          largest difference of its result from ours (apply_tool: our apply to float OpenEXR)
# Usage: bench/compare_ocio.sh [build-dir]   (bench_image and apply_tool must be built)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
export TINTAVO_BENCH_TIFF16="${TINTAVO_BENCH_TIFF16:-/tmp/tintavo-bench-6000x4000-16.tif}"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# The cube bench_image builds in memory, as a file for OpenColorIO and apply_tool.
/usr/bin/python3 - "$tmp/bench.cube" <<'PY'
import sys
with open(sys.argv[1], "w") as f:
    f.write("LUT_3D_SIZE 33\n")
    for b in range(33):
        for g in range(33):
            for r in range(33):
                x, y, z = r / 32, g / 32, b / 32
                f.write("%.9f %.9f %.9f\n" % (0.9 * x ** 0.8 + 0.1 * z, 0.05 + 0.9 * y * y + 0.05 * x,
                                               0.5 * (z + y * x) ** 1.3))
PY
"$build/bench/bench_image" --benchmark_filter='BM_ApplyLutToImage6000x4000' --benchmark_repetitions=3 \
  --benchmark_report_aggregates_only=true 2>/dev/null | grep -E '_min|_mean|Benchmark' || true
mkdir -p "$tmp/tri" "$tmp/tet"
"$build/tests/interop/apply_tool" "$tmp/bench.cube" "$TINTAVO_BENCH_TIFF16" trilinear "$tmp/tri" >/dev/null
"$build/tests/interop/apply_tool" "$tmp/bench.cube" "$TINTAVO_BENCH_TIFF16" tetrahedral "$tmp/tet" >/dev/null
/usr/bin/python3 bench/ocio_apply.py "$tmp/bench.cube" "$tmp/tri/input.f32" "$tmp/tri/output.f32" "$tmp/tet/output.f32"
