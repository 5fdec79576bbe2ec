#!/usr/bin/env bash
# The scripts around the programs, one case a run, each in a folder whose path holds a space:
#   build-lock         a second build in a folder waits for the first, says so in one line, then builds
#   sanitizer-options  LeakSanitizer reads a suppressions file whose path holds a space
#   arguments          run.sh passes its arguments on unchanged, from the caller's folder: relative
#                      paths, help and refusals, a display named in them
#   no-display         run.sh without a display: the reports as they come, the screenshot in the
#                      caller's folder, or in a temporary folder when that cannot take it
# run.sh runs from a stand-in repository: its own scripts, the viewer given, and stubs for the
# package installation and cmake, so that no case builds anything.
# Usage: scripts_test.sh CASE [VIEWER]
set -euo pipefail
case_name=$1
viewer=${2:+$(realpath "$2")}
scripts=$(cd "$(dirname "$0")/../scripts" && pwd)
fail() { echo "FAILED: $*" >&2; exit 1; }
# until_true SECONDS COMMAND...: polls COMMAND until it succeeds, for at most SECONDS.
until_true() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do ((SECONDS < deadline)) || return 1; sleep 0.05; done
}
# ends_within SECONDS PID: waits for a background process to end, at most SECONDS, and answers its
# status.
ends_within() {
  local deadline=$((SECONDS + $1))
  while kill -0 "$2" 2>/dev/null; do
    ((SECONDS < deadline)) || fail "process $2 still running after $1 s"
    sleep 0.05
  done
  wait "$2"
}

# Scratch space and, for the cases that ask, an X server of the test's own: both gone on exit.
source "$scripts/private-x.sh"
out="$work/a folder"
mkdir "$out"
background=()
trap 'kill ${background[@]+"${background[@]}"} 2>/dev/null || true; cleanup' EXIT

# A stand-in repository, $repo: run.sh and the scripts it sources as they are, the viewer already
# built, and nothing to install. cmake is a stub on PATH that records its folder and arguments.
make_repository() {
  repo=$out/repo
  mkdir -p "$repo/scripts" "$repo/build/viewer" "$repo/scenarios" "$out/bin"
  for script in run.sh building.sh private-x.sh; do ln -s "$scripts/$script" "$repo/scripts/$script"; done
  printf '#!/bin/sh\n' >"$repo/scripts/install-deps.sh"
  ln -s "$viewer" "$repo/build/viewer/smoke-viewer"
  printf '#!/bin/sh\necho "$PWD: cmake $*" >>"%s/cmake.calls"\n' "$out" >"$out/bin/cmake"
  chmod +x "$repo/scripts/install-deps.sh" "$out/bin/cmake"
  caller=$out/caller
  mkdir -p "$caller/scenarios"
}
# run_sh ARGUMENTS...: run.sh from $caller, by a relative path, without a display.
run_sh() { (cd "$caller" && exec env -u DISPLAY PATH="$out/bin:$PATH" ../repo/scripts/run.sh "$@"); }
# scenario COLUMNS ROWS REPORT_ROW: a one-plane world with a source at the top of column 2.
scenario() {
  printf '[world]\ncolumns = %s\nrows = %s\nreport_row = %s\n\n[[source]]\ncolumn = 2\nrow = %s\nplane = 0\nsmoke = 1.0\n' \
    "$1" "$2" "$3" "$(($2 - 1))"
}
# The build ran in the repository's build folder, configured once and built once.
built_in_repository() {
  [[ $(cat "$out/cmake.calls") == "$repo: cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
$repo: cmake --build build -j $(nproc)" ]] || fail "the build: $(cat "$out/cmake.calls")"
}

build_lock() {
  source "$scripts/building.sh"
  # The stub cmake records each call. A run's build that has a gate opens it before it says so, then
  # waits for a line there, at most 30 s: opened for reading and writing, a fifo takes a line
  # without blocking, and keeps it while the stub holds it open.
  mkdir "$out/bin"
  printf '#!/bin/bash\ngate="%s/gate.$RUN"\n[[ $1 == --build && -p $gate ]] && exec 3<>"$gate" || gate=\necho "$RUN $1" >>"%s/calls"\n[[ -z $gate ]] || read -t 30 -r _ <&3\n' \
    "$out" "$out" >"$out/bin/cmake"
  chmod +x "$out/bin/cmake"
  mkfifo "$out/gate.first"
  touch "$out/calls"
  build() { RUN=$1 PATH="$out/bin:$PATH" bash -c 'set -euo pipefail; source "$1/building.sh"; build_in "$2"' run.sh "$scripts" "$out/build"; }

  build first >"$out/first.out" 2>"$out/first.err" &
  local first=$! second
  background+=("$first")
  until_true 20 grep -qx 'first --build' "$out/calls" || fail "the first run never built: $(cat "$out/calls" "$out/first.err")"
  build second >"$out/second.out" 2>"$out/second.err" &
  second=$!
  background+=("$second")
  until_true 20 grep -q "^run.sh: waiting for another run to finish building in $out/build\$" "$out/second.err" ||
    fail "no word of the wait: $(cat "$out/second.err")"
  ! grep -q '^second' "$out/calls" || fail "the second run ran cmake while the first was building: $(cat "$out/calls")"
  echo 3<>"$out/gate.first" >&3
  ends_within 20 "$first" || fail "the first run failed: $(cat "$out/first.err")"
  ends_within 20 "$second" || fail "the second run failed: $(cat "$out/second.err")"
  [[ $(cat "$out/calls") == $'first -S\nfirst --build\nsecond -S\nsecond --build' ]] ||
    fail "cmake's calls: $(cat "$out/calls")"
  [[ $(wc -l <"$out/second.err") == 1 && ! -s $out/first.err ]] ||
    fail "more said than the wait: $(cat "$out/first.err" "$out/second.err")"
}

sanitizer_options() {
  source "$scripts/building.sh"
  printf '#include <cstdlib>\nvoid* volatile kept;\nvoid leaky_function() { kept = std::malloc(8); kept = nullptr; }\nint main() { leaky_function(); }\n' |
    g++ -O0 -fsanitize=address -x c++ - -o "$out/leaky"
  echo 'leak:leaky_function' >"$out/leaks.supp"
  (export_sanitizer_options "$out/leaks.supp" && "$out/leaky") 2>"$out/leaky.err" || fail "$(cat "$out/leaky.err")"
  # Without the suppression the leak is found: the run above proves the file was read.
  echo 'leak:another_function' >"$out/leaks.supp"
  # Its abort is the expected end; the shell's word of it is not wanted.
  ! { (export_sanitizer_options "$out/leaks.supp" && "$out/leaky") 2>"$out/leaky.err"; } 2>/dev/null ||
    fail "a leak went unreported"
  grep -q 'leaky_function' "$out/leaky.err" || fail "the leak's report: $(cat "$out/leaky.err")"
}

arguments() {
  make_repository
  # Relative paths are the caller's: a file that exists only there, and one whose name the
  # repository has too, holding another world.
  scenario 3 4 0 >"$caller/only-here.toml"
  scenario 6 7 0 >"$caller/scenarios/block.toml"
  scenario 9 9 0 >"$repo/scenarios/block.toml"
  local file columns got
  for file in only-here.toml:3 scenarios/block.toml:6; do
    columns=${file#*:} file=${file%:*}
    : >"$out/cmake.calls"
    got=0
    run_sh --scenario "$file" --print-scenario >"$out/got.out" 2>"$out/got.err" || got=$?
    ((got == 0)) && grep -qx "columns = $columns" "$out/got.out" ||
      fail "--scenario $file: status $got, printed: $(cat "$out/got.out" "$out/got.err")"
    built_in_repository
  done

  # What the viewer says and its status when it ends before its window (help, a refusal) come
  # through unchanged.
  local argument want
  for argument in --help -foo; do
    want=0 got=0
    (cd "$caller" && env -u DISPLAY "$viewer" "$argument") >"$out/want.out" 2>"$out/want.err" || want=$?
    run_sh "$argument" >"$out/got.out" 2>"$out/got.err" || got=$?
    ((got == want)) && cmp -s "$out/want.out" "$out/got.out" && cmp -s "$out/want.err" "$out/got.err" ||
      fail "run.sh $argument: status $got (the viewer's: $want), standard error: $(cat "$out/got.err")"
  done

  # A display named in the arguments is used as it is, with no private server.
  start_private_display
  mkdir "$out/xvfb"
  printf '#!/bin/sh\ntouch "%s/private server"\nexit 1\n' "$out" >"$out/xvfb/Xvfb"
  chmod +x "$out/xvfb/Xvfb"
  PATH="$out/xvfb:$PATH" run_sh -geometry 200x200 -Di "$DISPLAY" >"$out/named.out" 2>&1 &
  local named=$! status=0
  background+=("$named")
  until_true 30 window_shown || fail "no window on the named display: $(cat "$out/named.out")"
  xdotool windowfocus --sync "$(xdotool search --onlyvisible --name '^World$' | head -n 1)"
  xdotool key q
  ends_within 20 "$named" || status=$?
  ((status == 1)) && [[ ! -e "$out/private server" && ! -s $out/named.out ]] ||
    fail "-Di $DISPLAY: status $status, output: $(cat "$out/named.out")"
}

no_display() {
  make_repository
  # A world of 5 columns, narrower than the report's ten, and tall enough that every step changes
  # the picture, so that no capture waits out its patience.
  scenario 5 50 2 >"$caller/narrow.toml"
  run_sh --scenario narrow.toml >"$out/run.out" 2>"$out/run.err" &
  local run=$!
  background+=("$run")
  until_true 30 grep -qs '^Lattice 4:' "$out/run.out" || fail "no report came: $(cat "$out/run.err")"
  (($(grep -c '^Lattice 4:' "$out/run.out") < 40)) || fail "the reports came all at once at the end"
  ends_within 45 "$run" || fail "run.sh failed: $(cat "$out/run.err")"
  [[ $(grep -c '^Lattice 4:' "$out/run.out") == 40 && $(grep -c '^Lattice' "$out/run.out") == 200 ]] ||
    fail "not 40 reports of 5 columns: $(cat "$out/run.out")"
  grep -qx "run.sh: the window after 40 steps is in $caller/world.png" "$out/run.err" &&
    [[ $(head -c 4 "$caller/world.png" | tail -c 3) == PNG && ! -e $repo/world.png ]] ||
    fail "the screenshot: $(cat "$out/run.err")"
  built_in_repository

  # A screenshot that cannot be saved where asked is saved in a temporary folder instead, said in
  # one line.
  touch "$out/file"
  (cd "$caller" && TMPDIR=$out env -u DISPLAY bash -c \
    'set -euo pipefail; viewer=$1; source "$2/private-x.sh"; shift 2; show_viewer "$@"' \
    run.sh "$viewer" "$scripts" 2 "$out/file" --scenario narrow.toml) >"$out/saved.out" 2>"$out/saved.err" ||
    fail "the run with a file for a folder: $(cat "$out/saved.err")"
  local png
  png=$(sed -n "s|^run.sh: could not save the screenshot as $out/file/world.png (Not a directory); saved it as \(.*\) instead$|\1|p" "$out/saved.err")
  [[ -n $png && $png == "$out"/smoke-world.*/world.png && $(head -c 4 "$png" | tail -c 3) == PNG ]] ||
    fail "the screenshot: $(cat "$out/saved.err")"
}

case $case_name in
  build-lock) build_lock ;;
  sanitizer-options) sanitizer_options ;;
  arguments) arguments ;;
  no-display) no_display ;;
  *) echo "scripts_test.sh: no case '$case_name'" >&2; exit 2 ;;
esac
echo "scripts $case_name: passed"
