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
work=$(mktemp -d)
exec 3<> "$work/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
cleanup() {
  kill "${viewer_pid:-}" "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

wait_for() {  # wait_for SECONDS COMMAND...: polls COMMAND until it succeeds
  local deadline=$((SECONDS + $1)); shift
  until "$@"; do
    ((SECONDS < deadline)) || { echo "Timed out waiting for: $*" >&2; exit 1; }
    sleep 0.1
  done
}
wait_for 15 grep -q . "$work/display"
export DISPLAY=:$(head -n 1 "$work/display")

"$viewer" "$@" >"$work/reports" &
viewer_pid=$!
reports() { grep -c '^Lattice 9:' "$work/reports" || true; }
wait_for 15 xdotool search --onlyvisible --name '^World$' >/dev/null
window=$(xdotool search --onlyvisible --name '^World$' | head -n 1)
xdotool windowfocus --sync "$window"
xdotool key --delay 10 $(printf 'f %.0s' {1..40})
wait_for 30 eval 'test "$(reports)" -ge 40'
sleep 0.2  # a few timer ticks, so that the last step's smoke has been painted
import -window "$window" "$here/world.png"
cat "$work/reports"
echo "The window after 40 steps is in $here/world.png"
