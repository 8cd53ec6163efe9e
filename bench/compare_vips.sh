#!/usr/bin/env bash
# Times libvips on the same 6000 x 4000 JPEG as bench_image and prints both side by side:
#   decode            vips jpegload in.jpg x.v          / BM_DecodeJpeg6000x4000
#   Lanczos3 reduce   vips resize x.v out.v 0.25        / BM_ResampleToWorking (1 and 2 threads)
#                     --kernel lanczos3 on the already decoded image
#   whole open        vips resize in.jpg out.v 0.25     / BM_OpenCalibrationPicture
# Every vips figure is the best of 7 runs minus the start-up time of the vips program itself
# (the best of 7 runs of a trivial command), so it is the operation's own time.
#
# Usage: bench/compare_vips.sh [build-dir]   (default: build; bench_image must be built)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
bench="$build/bench/bench_image"
[ -x "$bench" ] || { echo "build $bench first" >&2; exit 1; }
export TINTAVO_BENCH_JPEG="${TINTAVO_BENCH_JPEG:-/tmp/tintavo-bench-6000x4000.jpg}"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Our figures (this also writes the test JPEG when it is missing).
"$bench" --benchmark_filter='BM_DecodeJpeg|BM_ResampleToWorking/threads:[12]/scalar:0|BM_OpenCalibrationPicture$' \
  --benchmark_repetitions=5 --benchmark_report_aggregates_only=true --benchmark_format=json >"$tmp/ours.json"

best_ms() {  # best wall time of 7 runs of the command, in ms
  local best=999999 start end ms
  for _ in 1 2 3 4 5 6 7; do
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s%N)
    ms=$(( (end - start) / 1000000 ))
    (( ms < best )) && best=$ms
  done
  echo "$best"
}

vips jpegload "$TINTAVO_BENCH_JPEG" "$tmp/decoded.v"
startup=$(best_ms vips black "$tmp/black.v" 1 1)
decode=$(best_ms vips jpegload "$TINTAVO_BENCH_JPEG" "$tmp/d.v")
resize1=$(VIPS_CONCURRENCY=1 best_ms vips resize "$tmp/decoded.v" "$tmp/r.v" 0.25 --kernel lanczos3)
resize2=$(VIPS_CONCURRENCY=2 best_ms vips resize "$tmp/decoded.v" "$tmp/r.v" 0.25 --kernel lanczos3)
open1=$(VIPS_CONCURRENCY=1 best_ms vips resize "$TINTAVO_BENCH_JPEG" "$tmp/o.v" 0.25 --kernel lanczos3)
open2=$(VIPS_CONCURRENCY=2 best_ms vips resize "$TINTAVO_BENCH_JPEG" "$tmp/o.v" 0.25 --kernel lanczos3)
vips_size=$(vips header -f width "$tmp/r.v")x$(vips header -f height "$tmp/r.v")

/usr/bin/python3 - "$tmp/ours.json" "$startup" "$decode" "$resize1" "$resize2" "$open1" "$open2" "$vips_size" <<'PY'
import json, sys
ours = {}
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    if b.get("aggregate_name") == "median":
        ours[b["run_name"]] = b["real_time"]
startup, decode, r1, r2, o1, o2 = (float(v) for v in sys.argv[2:8])
def net(v): return max(v - startup, 0.0)
rows = [
    ("JPEG decode 6000x4000", ours.get("BM_DecodeJpeg6000x4000"), net(decode)),
    ("Lanczos3 6000x4000 -> 1500x1000, 1 thread", ours.get("BM_ResampleToWorking/threads:1/scalar:0"), net(r1)),
    ("Lanczos3 6000x4000 -> 1500x1000, 2 threads", ours.get("BM_ResampleToWorking/threads:2/scalar:0"), net(r2)),
    ("whole open (read, decode, reduce), vips 1 thread", ours.get("BM_OpenCalibrationPicture"), net(o1)),
    ("whole open (read, decode, reduce), vips 2 threads", ours.get("BM_OpenCalibrationPicture"), net(o2)),
]
print(f"vips start-up subtracted: {startup:.0f} ms; vips output {sys.argv[8]}")
print(f"{'step':52} {'tintavo ms':>11} {'vips ms':>8} {'ratio':>6}")
for name, t, v in rows:
    ratio = f"{t / v:.2f}" if t and v else "-"
    print(f"{name:52} {t:11.1f} {v:8.0f} {ratio:>6}")
PY
