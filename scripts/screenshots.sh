#!/bin/bash
# Takes the screenshots of docs/screenshots/ from the real program under Xvfb (xdotool drives
# it, ImageMagick's import grabs the screen). Usage: bash scripts/screenshots.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
app=$build/app/tintavo
out=docs/screenshots
work=$(mktemp -d)
display=:87
export XDG_CONFIG_HOME=$work/config   # fresh settings: no tips, no recent files
mkdir -p "$XDG_CONFIG_HOME/vornsoft"
printf '[General]\nDoNotShowTips=1\n' > "$XDG_CONFIG_HOME/vornsoft/Tintavo.conf"

Xvfb $display -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $app_pid $xvfb 2>/dev/null; rm -rf "$work"' EXIT
export DISPLAY=$display QT_QPA_PLATFORM=xcb
sleep 1
"$app" samples/classic.jpg >/dev/null 2>&1 &
app_pid=$!
sleep 4
window=$(xdotool search --sync --name '^Vorn Tintavo$' | head -1)
xdotool windowmove "$window" 0 0 windowsize "$window" 1600 1000
sleep 1.5

shot() { import -window root "$out/$1"; echo "$out/$1"; }

# Where the 1500 x 1000 working image is drawn: the bounding box of what is not the viewer's
# white background, left of the side panel.
import -window root "$work/detect.png"
read -r left top right bottom < <(convert "$work/detect.png" ppm:- | /usr/bin/python3 -c '
import sys, numpy as np
data = sys.stdin.buffer.read()
parts = data.split(maxsplit=4)
w, h = int(parts[1]), int(parts[2])
img = np.frombuffer(parts[4][: w * h * 3], np.uint8).reshape(h, w, 3)[:, : w - 240]
mask = (img.min(axis=2) < 235)
full = mask.sum(axis=1) > 0.8 * mask.shape[1]
# the longest run of such rows is the picture (the menu bar is a short one)
best, start = (0, 0), None
for y, f in enumerate(list(full) + [False]):
    if f and start is None: start = y
    if not f and start is not None:
        if y - start > best[1] - best[0]: best = (start, y)
        start = None
top, bottom = best
cols = np.where(mask[top:bottom].sum(axis=0) > 0.8 * (bottom - top))[0]
print(cols[0], top, cols[0] + round(1.5 * (bottom - top)), bottom)')
at() {  # working-image pixel -> screen point
    echo $((left + $1 * (right - left) / 1500)) $((top + $2 * (bottom - top) / 1000))
}
drag() {
    xdotool mousemove $(at "$1" "$2") mousedown 1
    for step in 1 2 3 4 5 6; do
        xdotool mousemove $(at $(($1 + ($3 - $1) * step / 6)) $(($2 + ($4 - $2) * step / 6)))
        sleep 0.05
    done
    xdotool mouseup 1
}

click() { xdotool mousemove "$1" "$2" click 1; sleep "${3:-0.5}"; }
# The side panel's buttons, for the 1600 x 1000 window.
preview_button="1451 428"
model_box="1505 396"

# A selection over the chart; the status bar names the pixel under the pointer.
drag 300 200 1200 800
xdotool mousemove $(at 520 430)
sleep 0.5
shot main-selection.png

click $preview_button 1.5
xdotool mousemove $(at 880 560)
sleep 0.3
shot main-preview.png

# Before and after, the divider dragged left of the middle.
xdotool key ctrl+b
sleep 0.5
xdotool mousemove 683 500 mousedown 1 mousemove 600 500 mousemove 560 500 mouseup 1
sleep 0.5
shot main-split-view.png
xdotool key ctrl+b

# 1:1 around the pointer: the selection and its markers stay on their patches.
xdotool mousemove $(at 560 430)
xdotool key ctrl+1
sleep 0.8
xdotool mousemove $(at 600 450)
sleep 0.3
shot main-zoom-1to1.png
xdotool key ctrl+0
sleep 0.5

xdotool key alt+v
sleep 0.5
shot main-view-menu.png
xdotool key Escape
sleep 0.3

# Saving at 101 points: the progress dialog while the table is computed on a worker thread.
xdotool key ctrl+s
sleep 1.5
xdotool type --delay 80 "Nucoda"
xdotool key Tab space
sleep 1
xdotool type --delay 20 "$work/large.cms"
xdotool key Return
sleep 0.8
xdotool key Tab
xdotool type --delay 80 "101"
xdotool key Return
sleep 0.9
shot save-progress.png
for i in $(seq 40); do [ -e "$work/large.cms" ] && break; sleep 0.5; done
sleep 1
xdotool key Return   # the "saved" message
sleep 0.5

# A LUT file looked at: read by content, applied, described in the status bar.
/usr/bin/python3 - "$work/warm.cube" <<'PY'
import sys
n = 17
with open(sys.argv[1], "w") as f:
    f.write("LUT_3D_SIZE %d\n" % n)
    for b in range(n):
        for g in range(n):
            for r in range(n):
                x, y, z = r / (n - 1), g / (n - 1), b / (n - 1)
                f.write("%.6f %.6f %.6f\n" % (min(1, x * 1.12 + 0.03), y * 0.98, z * 0.8))
PY
xdotool windowfocus --sync "$window"
click 20 8          # the File menu
xdotool key l       # Open LUT...
sleep 1.5
xdotool type --delay 20 "$work/warm.cube"
xdotool key Return
sleep 1.5
xdotool mousemove $(at 880 560)
sleep 0.3
shot main-lut-preview.png

# Another calibration model, previewed; then View > Patches with the models compared. A click
# beside the chart ends the selection first (a drag from its corner would move the corner).
click $(at 100 100)
drag 300 200 1200 800
click $model_box 0.7
click 1505 485 0.5          # rootpoly3 in the open list
click $preview_button 2
xdotool mousemove $(at 880 560)
sleep 0.3
shot main-model.png
xdotool key alt+v
sleep 0.5
xdotool key p
sleep 2.5
click 1117 630 4            # Compare Models
shot patches.png
