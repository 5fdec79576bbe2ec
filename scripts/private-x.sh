# Shell functions for running the viewer on a private virtual X server and catching its frames,
# shared by run.sh and record-animation.sh. Source it; it sets `work`, and removes it on exit.
# The caller provides `viewer` (the program's path) and bash's `set -euo pipefail`.

work=$(mktemp -d)
xvfb_pid= viewer_pid=
cleanup() {
  kill ${viewer_pid:+"$viewer_pid"} ${xvfb_pid:+"$xvfb_pid"} 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

die() { echo "$(basename "$0"): $*" >&2; exit 1; }

# wait_for SECONDS WHAT COMMAND...: polls COMMAND until it succeeds; fails early when the viewer has
# ended, since nothing would change then.
wait_for() {
  local deadline=$((SECONDS + $1)) what=$2 status; shift 2
  until "$@"; do
    if [[ -n $viewer_pid ]] && ! kill -0 "$viewer_pid" 2>/dev/null; then
      wait "$viewer_pid" && status=0 || status=$?
      die "the viewer ended (status $status) while waiting for $what"
    fi
    ((SECONDS < deadline)) || die "timed out waiting for $what"
    sleep 0.05
  done
}

# Starts Xvfb on a fresh display number and exports DISPLAY. A number is named, not left to Xvfb to
# find: a server that searches for a free one takes no lock, and its probes can cut a neighbour's
# socket. A named number that is taken makes the server give up, and another is tried.
start_private_display() {
  local try number
  # Made at boot on a normal system; without it an X server started by a user listens on an
  # abstract socket alone.
  [[ -d /tmp/.X11-unix ]] || mkdir -m 1777 /tmp/.X11-unix 2>/dev/null || true
  for try in 1 2 3 4 5 6 7 8; do
    number=$((1000 + (RANDOM * 32768 + RANDOM) % 30000))
    : >"$work/display"
    # It writes the number to descriptor 3 once it accepts connections. Without -noreset it would
    # reset when its last client leaves, and refuse connections meanwhile: the check below is such
    # a client, and the viewer comes right after it.
    Xvfb ":$number" -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/display" >/dev/null 2>&1 &
    xvfb_pid=$!
    local deadline=$((SECONDS + 15))
    until grep -q . "$work/display" || ! kill -0 "$xvfb_pid" 2>/dev/null || ((SECONDS >= deadline)); do sleep 0.05; done
    export DISPLAY=:$number
    if grep -qx "$number" "$work/display" && xdpyinfo >/dev/null 2>&1; then return 0; fi
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  done
  die "could not start a virtual X server (Xvfb)"
}

# Starts the viewer with the given arguments, its reports going to $work/reports, and waits for its
# window: sets `window`.
start_viewer() {
  "$viewer" "$@" >"$work/reports" &
  viewer_pid=$!
  wait_for 30 "the window" window_shown
  window=$(xdotool search --onlyvisible --name '^World$' | head -n 1)
  xdotool windowfocus --sync "$window"
}

window_shown() { xdotool search --onlyvisible --name '^World$' >/dev/null; }
reports() { grep -c '^Lattice 9:' "$work/reports" || true; }
has_reports() { (($(reports) >= $1)); }

# The window's pixels as PPM, which holds nothing but its size and pixels, so that equal pictures
# are equal files.
capture() { import -window "$window" "ppm:$1"; }
differs_from() { capture "$work/now.ppm" && ! cmp -s "$work/now.ppm" "$1"; }
not_black() { capture "$work/now.ppm" && [[ $(convert "$work/now.ppm" -format '%[fx:maxima]' info:) != 0 ]]; }

# Captures the first frame into FILE: the window is black until the first paint.
capture_first_frame() {
  wait_for 30 "the first frame" not_black
  mv "$work/now.ppm" "$1"
}

# Presses f, waits for that step's report, then captures into FILE the first frame that differs from
# PREVIOUS: the picture changes at the first repaint after a step, so that frame shows the step. A
# step may change no pixel, though (all smoke saturated, say); then PREVIOUS shows it as well, and
# it is taken once four times the longest wait for a repaint so far, and at least half a second,
# has passed without a change.
longest_repaint=0  # microseconds
step_and_capture() {
  local previous=$1 file=$2 steps
  steps=$(($(reports) + 1))
  xdotool key f
  wait_for 30 "report $steps" has_reports "$steps"
  local start=${EPOCHREALTIME/./} now
  local patience=$((4 * longest_repaint > 500000 ? 4 * longest_repaint : 500000))
  until differs_from "$previous"; do
    now=${EPOCHREALTIME/./}
    if ((now - start > patience)); then cp "$previous" "$work/now.ppm" && break; fi
  done
  now=${EPOCHREALTIME/./}
  cmp -s "$work/now.ppm" "$previous" || ((now - start <= longest_repaint)) || longest_repaint=$((now - start))
  mv "$work/now.ppm" "$file"
}
