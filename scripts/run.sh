#!/usr/bin/env bash
# Installs what is missing, builds, and opens the viewer; its arguments go to the toolkit, which
# reads its own standard options (-geometry, -display, ...). Without a display it runs the viewer
# on a private virtual X server, presses f 40 times, prints the reports and saves world.png here.
set -euo pipefail
here=$PWD
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc)" >/dev/null
viewer=$PWD/build/viewer/smoke-viewer

if [[ -n ${DISPLAY:-} ]] && xdpyinfo >/dev/null 2>&1; then
  exec "$viewer" "$@"
fi

echo "No display found: running the viewer on a private virtual X server instead."
source scripts/private-x.sh
start_private_display
start_viewer "$@"
capture_first_frame "$work/frame.ppm"
for _ in {1..40}; do step_and_capture "$work/frame.ppm" "$work/frame.ppm"; done
convert "$work/frame.ppm" "$here/world.png"
cat "$work/reports"
echo "The window after 40 steps is in $here/world.png"
