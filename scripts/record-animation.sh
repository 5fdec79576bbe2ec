#!/usr/bin/env bash
# Records docs/smoke.gif, the README's animation: the viewer's window on a private virtual X
# server, one frame for the seeded state and one for each step, until the reported figures
# overflow to inf or nan.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
source scripts/building.sh
build_in build -DCMAKE_BUILD_TYPE=Release >/dev/null
viewer=$PWD/build/viewer/smoke-viewer
output=$PWD/docs/smoke.gif

source scripts/private-x.sh
start_private_display
start_viewer
capture_first_frame "$work/000.ppm"
step=0
until grep -qE 'inf|nan' "$work/reports"; do
  previous=$(printf '%s/%03d.ppm' "$work" "$step")
  step=$((step + 1))
  step_and_capture "$previous" "$(printf '%s/%03d.ppm' "$work" "$step")"
done

# The sheet's part of the window, in few colours and no dithering, each frame storing only what
# changed: about 130 KB. The last frame stays for 3 s.
convert -delay 8 "$work"/*.ppm -crop 480x490+160+80 +repage +dither -colors 32 \
  -set delay '%[fx:t==n-1 ? 300 : 8]' -loop 0 -layers Optimize "gif:$output.part"
mv "$output.part" "$output"
echo "$step steps, $(du -k "$output" | cut -f1) KB: $output"
