#!/usr/bin/env bash
# Makes docs/explore.png, the README's picture of explore mode: the viewer's window on a private
# virtual X server, playing, with a cell selected, as the smoke front crosses the sheet.
# BUILD_DIR chooses the build folder (default build).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
source scripts/building.sh
build=${BUILD_DIR:-build}
build_in "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
viewer=$PWD/$build/viewer/smoke-viewer
output=$PWD/docs/explore.png

source scripts/private-x.sh
start_private_display
start_viewer --explore
capture_first_frame "$work/first.ppm"
# Cell 25,40, nine rows below the source, as the first view shows it.
xdotool mousemove --window "$window" 400 175 click 1
wait_for 10 "the cell's line" grep -q '^Cell 25,40,0 at step 0: ' "$work/reports"
xdotool key space
wait_for 30 "step 25" has_reports 25
capture "$work/explore.ppm"

# Few colours and no dithering: the picture is text, points and black.
convert "ppm:$work/explore.ppm" +dither -colors 64 "png:$output.part"
mv "$output.part" "$output"
echo "$(du -k "$output" | cut -f1) KB: $output"
