#!/usr/bin/env bash
# Makes docs/cylinder.gif, the README's animation of the vortex street: the viewer in explore mode
# on scenarios/cylinder.toml, on a private virtual X server, in the speed view (the smoke is too thin
# downstream to show the street), seen from behind so that the flow runs left to right; a frame
# every EVERY steps (default 100) from step FROM (default 6000) to step TO (default 10000), cropped
# to the sheet.
# BUILD_DIR chooses the build folder (default build).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
source scripts/building.sh
build=${BUILD_DIR:-build}
build_in "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
viewer=$PWD/$build/viewer/smoke-viewer
output=$PWD/docs/cylinder.gif
from=${FROM:-6000} to=${TO:-10000} every=${EVERY:-100}

source scripts/private-x.sh
start_private_display
start_viewer --explore --scenario scenarios/cylinder.toml
capture_first_frame "$work/first.ppm"
# Half a turn: a drag across half the window's width, held until a repaint has followed it.
xdotool mousemove --window "$window" 200 300 mousedown 1 mousemove --window "$window" 400 300 \
  mousemove --window "$window" 600 300
wait_for 10 "the turned view" differs_from "$work/first.ppm"
xdotool mouseup 1
mv "$work/now.ppm" "$work/turned.ppm"
xdotool key v
wait_for 10 "the speed view" differs_from "$work/turned.ppm"
mv "$work/now.ppm" "$work/first.ppm"

# Steps by f, so that each frame is of the same step every time; the frame after a step's report
# is the first that differs from the one before it (or, when nothing moved, the same).
previous=$work/first.ppm
step=0
while ((step < to)); do
  next=$((step < from ? from : step + every))
  xdotool key --repeat $((next - step - 1)) --delay 1 f
  wait_for 600 "step $((next - 1))" has_reports $((next - 1))
  file=$(printf '%s/frame-%06d.ppm' "$work" "$next")
  step_and_capture "$previous" "$file"
  previous=$file
  step=$next
done

# The sheet's band of the window at half size, in few colours and no dithering, each frame storing
# only what changed: about 500 KB. The last frame stays for 2 s.
convert "$work"/frame-*.ppm -crop 776x264+12+168 +repage -resize 50% +dither -colors 16 \
  -set delay '%[fx:t==n-1 ? 200 : 12]' -loop 0 -layers Optimize "gif:$output.part"
mv "$output.part" "$output"
echo "$(ls "$work"/frame-*.ppm | wc -l) frames, $(du -k "$output" | cut -f1) KB: $output"
