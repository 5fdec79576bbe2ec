#!/usr/bin/env bash
# Makes docs/plume.png, the README's picture of the speed view: the viewer in explore mode on
# scenarios/plume.toml, on a private virtual X server, paused after the plume has risen, its smoke
# on the left and its speed on the right. BUILD_DIR chooses the build folder (default build).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
source scripts/building.sh
build=${BUILD_DIR:-build}
build_in "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
viewer=$PWD/$build/viewer/smoke-viewer
output=$PWD/docs/plume.png
steps=${STEPS:-3000}

source scripts/private-x.sh
start_private_display
start_viewer --explore --scenario scenarios/plume.toml
capture_first_frame "$work/first.ppm"
# Steps by f rather than by playing, so that the picture is of the same step every time.
xdotool key --repeat "$steps" --delay 1 f
wait_for 600 "step $steps" has_reports "$steps"
# The cell above the source, in the plume's stem.
xdotool mousemove --window "$window" 400 420 click 1
wait_for 10 "the cell's line" grep -q '^Cell ' "$work/reports"
# Paused, the window repaints the same frame once the click's has shown: two captures alike, each
# longer than a repaint's interval, are that frame.
capture "$work/smoke.ppm"
settled() { cp "$work/now.ppm" "$work/smoke.ppm" 2>/dev/null || true; ! differs_from "$work/smoke.ppm"; }
wait_for 10 "the smoke view" settled
mv "$work/now.ppm" "$work/smoke.ppm"
xdotool key v
wait_for 10 "the speed view" differs_from "$work/smoke.ppm"
mv "$work/now.ppm" "$work/speed.ppm"

# Few colours and no dithering: text, points and black.
convert "ppm:$work/smoke.ppm" "ppm:$work/speed.ppm" +append +dither -colors 96 "png:$output.part"
mv "$output.part" "$output"
echo "$(du -k "$output" | cut -f1) KB: $output"
