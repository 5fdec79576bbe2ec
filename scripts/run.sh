#!/usr/bin/env bash
# Installs what is missing, builds, and opens the viewer with the arguments given. Without a display
# (none named with -display, none in DISPLAY that opens) it runs the viewer on a private virtual X
# server, presses f 40 times, passes the reports on as they come and saves world.png here.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# The build happens in the repository, in a subshell of its own: the viewer starts from the caller's
# folder, so that a relative path among the arguments means what it means to the caller.
(
  cd "$root"
  ./scripts/install-deps.sh
  source scripts/building.sh
  build_in build -DCMAKE_BUILD_TYPE=Release >/dev/null
)
viewer=$root/build/viewer/smoke-viewer
source "$root/scripts/private-x.sh"
show_viewer 40 "$PWD" "$@"
