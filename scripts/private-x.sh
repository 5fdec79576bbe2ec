# Shell functions for running the viewer on a private virtual X server and catching its frames,
# shared by run.sh and record-animation.sh. Source it; it sets `work`, and removes it on exit.
# The caller provides `viewer` (the program's path) and bash's `set -euo pipefail`.

work=$(mktemp -d)
xvfb_pid= viewer_pid= tee_pid=
cleanup() {
  kill ${viewer_pid:+"$viewer_pid"} ${xvfb_pid:+"$xvfb_pid"} 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

say() { echo "$(basename "$0"): $*" >&2; }
die() { say "$@"; exit 1; }

# show_viewer STEPS FOLDER [ARGUMENTS...]: run.sh's work once the viewer is built. The viewer runs
# with ARGUMENTS on the display they name, or on $DISPLAY when that opens. Without either it runs on
# a private virtual X server: f is pressed STEPS times, the reports pass to standard output as they
# come, and the window after the last step is saved as FOLDER/world.png, or when FOLDER cannot take
# it in a new temporary folder.
show_viewer() {
  local steps=$1 folder=$2 step
  shift 2
  if names_display "$@" || { [[ -n ${DISPLAY:-} ]] && xdpyinfo >/dev/null 2>&1; }; then
    # exec skips the exit trap.
    trap - EXIT
    rm -rf "$work"
    exec "$viewer" "$@"
  fi
  start_private_display
  pass_reports=1 start_viewer "$@"
  say "no display found: the viewer runs on a private virtual X server, and f is pressed $steps times"
  capture_first_frame "$work/frame.ppm"
  for ((step = 0; step < steps; step++)); do step_and_capture "$work/frame.ppm" "$work/frame.ppm"; done
  convert "ppm:$work/frame.ppm" "png:$work/world.png"
  local error fallback
  if error=$(cp -T "$work/world.png" "$folder/world.png" 2>&1); then
    say "the window after $steps steps is in $folder/world.png"
    return
  fi
  # Outside $work, which goes on exit.
  fallback=$(mktemp -d "${TMPDIR:-/tmp}/smoke-world.XXXXXX") && cp "$work/world.png" "$fallback/world.png" ||
    die "could not save the screenshot as $folder/world.png (${error##*: }), nor in a temporary folder"
  say "could not save the screenshot as $folder/world.png (${error##*: }); saved it as $fallback/world.png instead"
}

# names_display ARGUMENTS...: whether the arguments name a display as the toolkit reads them: -display
# or an abbreviation of it down to -di, in any case, and a value. The toolkit's other options with a
# value are skipped with it, so that a title "-display" names none.
names_display() {
  local option name
  while (($# > 1)); do
    option=${1,,}
    shift
    [[ $option == -[!-]* ]] || continue
    option=${option#-}
    for name in geometry:1 display:2 title:2 name:2 bg2:3 background2:11 bg:2 background:10 fg:2 foreground:10 scheme:1; do
      if ((${#option} >= ${name#*:})) && [[ ${name%:*} == "$option"* ]]; then
        [[ ${name%:*} != display ]] || return 0
        shift
        break
      fi
    done
  done
  return 1
}

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

# Starts the viewer with the given arguments and waits for its window: sets `window`. Its reports go
# to $work/reports, and with pass_reports=1 to standard output as well. A viewer that ends before its
# window shows has refused its arguments, printed its help or found no OpenGL: it has said why on its
# own, and its status is passed on.
start_viewer() {
  if ((${pass_reports:-0})); then
    mkfifo "$work/stdout"
    tee "$work/reports" <"$work/stdout" &
    tee_pid=$!
    "$viewer" "$@" >"$work/stdout" &
  else
    "$viewer" "$@" >"$work/reports" &
  fi
  viewer_pid=$!
  local deadline=$((SECONDS + 30)) status
  until window_shown; do
    if ! kill -0 "$viewer_pid" 2>/dev/null; then
      wait "$viewer_pid" && status=0 || status=$?
      viewer_pid=
      [[ -z $tee_pid ]] || wait "$tee_pid" || true
      exit "$status"
    fi
    ((SECONDS < deadline)) || die "timed out waiting for the window"
    sleep 0.05
  done
  window=$(xdotool search --onlyvisible --name '^World$' | head -n 1)
  xdotool windowfocus --sync "$window"
}

window_shown() { xdotool search --onlyvisible --name '^World$' >/dev/null; }
# Each report ends with an empty line, whatever the world's width; nothing else the viewer prints does.
reports() { grep -c '^$' "$work/reports" || true; }
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
