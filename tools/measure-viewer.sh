#!/usr/bin/env bash
# Measures the viewer on a private virtual X server: its idle CPU share while it repaints 40 times a
# second, the time from a press of f to the end of that step's report on a pipe, and the time from a
# drag's move to the frame that shows it.
# Usage: tools/measure-viewer.sh [SECONDS] [PRESSES] [-- VIEWER OPTIONS...]
#   (defaults: 10 100 and the running system's world; build first with scripts/test.sh)
#   e.g. tools/measure-viewer.sh 10 100 -- --size 512
set -euo pipefail
cd "$(dirname "$0")/.."
[[ -x build/tools/viewer-measure ]] || { echo "measure-viewer: build first (./scripts/test.sh)" >&2; exit 2; }
exec build/tools/viewer-measure build/viewer/smoke-viewer "$@"
