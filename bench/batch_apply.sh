#!/usr/bin/env bash
# Batch apply against one file at a time: a 33-point cube (calibrated from the sample chart) on
# FRAMES frames of 1920 x 1080 16-bit TIFF (ImageMagick makes one, the others are copies).
#
#   loop      one `tintavo-cli apply CUBE FRAME -o OUT` per frame, one after the other
#   jobs:1    `tintavo-cli apply CUBE frame.%04d.tif --out-dir DIR --jobs 1`
#   jobs:2    the same with --jobs 2 (two pictures at once)
#   jobs:2/N  --jobs 2 on the first N frames only: peak memory must not grow with the frames
#
# Each line gives wall time, processor time (user + system, all threads) and peak resident
# memory of the whole run, from /usr/bin/time. The runs alternate (jobs:2, loop, jobs:1, jobs:2)
# so that a change of the machine's load shows as a difference between the two jobs:2 runs.
#
# Usage: bench/batch_apply.sh [build-dir] [frames]   (default: build 200; tintavo-cli built)
set -euo pipefail
cd "$(dirname "$0")/.."
build="$(realpath "${1:-build}")"
frames="${2:-200}"
cli="$build/cli/tintavo-cli"
[ -x "$cli" ] || { echo "build $cli first" >&2; exit 1; }
command -v convert >/dev/null || { echo "ImageMagick's convert is needed" >&2; exit 1; }
tmp=$(mktemp -d /tmp/tintavo-batch-XXXXXX)
trap 'rm -rf "$tmp"' EXIT

"$cli" calibrate samples/classic.jpg --chart classic --rect 300,200,1200,800 --full \
  --profile "Cube 3D Davinci" -o "$tmp/camera.cube" >/dev/null
mkdir "$tmp/in"
convert -size 1920x1080 gradient:'#200000-#f0ffe0' \( -size 1080x1920 gradient:'#000080-#ff0000' -rotate 90 \) \
  -compose blend -define compose:args=50 -composite -depth 16 -compress none "$tmp/in/frame.0001.tif"
for ((i = 2; i <= frames; i++)); do cp "$tmp/in/frame.0001.tif" "$(printf "$tmp/in/frame.%04d.tif" "$i")"; done
echo "frames: $frames x $(identify -format '%w x %h, %z-bit %m' "$tmp/in/frame.0001.tif"), $(du -sh "$tmp/in" | cut -f1)"
echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"

measure() {  # label, command...: prints "label  wall s  cpu s  peak MB"
  local label=$1
  shift
  rm -rf "$tmp/out"
  mkdir "$tmp/out"
  /usr/bin/time -f "%e %U %S %M" -o "$tmp/time" "$@" >/dev/null
  awk -v l="$label" '{printf "%-10s wall %7.2f s   cpu %7.2f s   peak %6.1f MB\n", l, $1, $2 + $3, $4 / 1024}' \
    "$tmp/time"
  awk '{print $1}' "$tmp/time" >"$tmp/wall.${label//\//_}"
}

loop() {
  for f in "$tmp"/in/frame.*.tif; do "$cli" apply "$tmp/camera.cube" "$f" -o "$tmp/out/$(basename "$f")"; done
}
export -f loop
export cli tmp

measure jobs:2 "$cli" apply "$tmp/camera.cube" "$tmp/in/frame.%04d.tif" --out-dir "$tmp/out" --jobs 2
measure loop bash -c loop
measure jobs:1 "$cli" apply "$tmp/camera.cube" "$tmp/in/frame.%04d.tif" --out-dir "$tmp/out" --jobs 1
measure jobs:2b "$cli" apply "$tmp/camera.cube" "$tmp/in/frame.%04d.tif" --out-dir "$tmp/out" --jobs 2
few=$(( frames / 4 > 0 ? frames / 4 : 1 ))
rm -rf "$tmp/few" && mkdir "$tmp/few"
for ((i = 1; i <= few; i++)); do ln "$(printf "$tmp/in/frame.%04d.tif" "$i")" "$tmp/few/"; done
measure "jobs:2/$few" "$cli" apply "$tmp/camera.cube" "$tmp/few" --out-dir "$tmp/out" --jobs 2

best2=$(sort -n "$tmp/wall.jobs:2" "$tmp/wall.jobs:2b" | head -1)
awk -v l="$(cat "$tmp/wall.loop")" -v j1="$(cat "$tmp/wall.jobs:1")" -v j2="$best2" \
  'BEGIN {printf "speed-up of jobs:2 (best of two): %.2fx over the loop, %.2fx over jobs:1\n", l / j2, j1 / j2}'
