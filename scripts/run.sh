#!/usr/bin/env bash
# Installs what is missing, builds, and opens the viewer with the arguments given. Without a display
# (none named with -display, none in DISPLAY that opens) it runs the viewer on a private virtual X
# server, presses f 40 times, passes the reports on as they come and saves world.png here.
set -euo pipefail
here=$PWD
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
source scripts/building.sh
build_in build -DCMAKE_BUILD_TYPE=Release >/dev/null
viewer=$PWD/build/viewer/smoke-viewer
source scripts/private-x.sh
show_viewer 40 "$here" "$@"
