#!/usr/bin/env bash
# The scripts around the programs: a build folder's lock, the sanitizers' options in a folder with a
# space, and run.sh's handling of its arguments and its output.
# Usage: scripts_test.sh VIEWER
set -euo pipefail
viewer=$1
scripts=$(cd "$(dirname "$0")/../scripts" && pwd)
fail() { echo "FAILED: $*" >&2; exit 1; }
# until_true SECONDS COMMAND...
until_true() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do ((SECONDS < deadline)) || return 1; sleep 0.05; done
}

# The test's own X server, and scratch space in a folder with a space, both gone on exit.
source "$scripts/private-x.sh"
start_private_display
out="$work/a folder"
mkdir "$out"
source "$scripts/building.sh"
# run_sh ARGUMENTS...: run.sh's work once the viewer is built, without a display.
run_sh() {
  env -u DISPLAY bash -c 'set -euo pipefail; viewer=$1; source "$2/private-x.sh"; shift 2; show_viewer "$@"' \
    run.sh "$viewer" "$scripts" "$@"
}

# A second build in a folder waits for the first, says so in one line, and then builds.
mkfifo "$out/release"
(exec {lock}>"$out/.build-lock" && flock "$lock" && read -r _ <"$out/release") &
holder=$!
trap 'kill "$holder" 2>/dev/null || true; cleanup' EXIT
until_true 10 eval '! flock -n "$out/.build-lock" true' || fail "the lock was never taken"
(cmake() { echo "cmake $*"; } && build_in "$out") >"$out/second.out" 2>"$out/second.err" &
second=$!
until_true 10 grep -q "waiting for another run to finish building in $out" "$out/second.err" || fail "no word of the wait"
[[ ! -s $out/second.out ]] || fail "built while another run held the lock"
echo >"$out/release"
wait "$holder" "$second"
grep -q '^cmake --build' "$out/second.out" && [[ $(wc -l <"$out/second.err") == 1 ]] ||
  fail "after the wait: $(cat "$out/second.out" "$out/second.err")"

# LeakSanitizer reads a suppressions file whose path holds a space.
printf '#include <cstdlib>\nvoid* volatile kept;\nvoid leaky_function() { kept = std::malloc(8); kept = nullptr; }\nint main() { leaky_function(); }\n' |
  g++ -O0 -fsanitize=address -x c++ - -o "$out/leaky"
echo 'leak:leaky_function' >"$out/leaks.supp"
(export_sanitizer_options "$out/leaks.supp" && "$out/leaky") 2>"$out/leaky.err" || fail "$(cat "$out/leaky.err")"

# run.sh: without a display, what the viewer says and its status when it ends before its window
# (help, a refusal) come through unchanged.
for argument in --help -foo; do
  want=0 got=0
  env -u DISPLAY "$viewer" "$argument" >"$out/want.out" 2>"$out/want.err" || want=$?
  run_sh 1 "$out" "$argument" >"$out/got.out" 2>"$out/got.err" || got=$?
  ((got == want)) && cmp -s "$out/want.out" "$out/got.out" && cmp -s "$out/want.err" "$out/got.err" ||
    fail "run.sh $argument: status $got (the viewer's: $want), standard error: $(cat "$out/got.err")"
done

# A display named in the arguments is used as it is, with no private server.
mkdir "$out/bin"
printf '#!/bin/sh\ntouch "%s/private server"\nexit 1\n' "$out" >"$out/bin/Xvfb"
chmod +x "$out/bin/Xvfb"
PATH="$out/bin:$PATH" run_sh 1 "$out" -geometry 200x200 -Di "$DISPLAY" >"$out/named.out" 2>&1 &
named=$!
until_true 30 window_shown || fail "no window on the named display: $(cat "$out/named.out")"
xdotool windowfocus --sync "$(xdotool search --onlyvisible --name '^World$' | head -n 1)"
xdotool key q
status=0
wait "$named" || status=$?
((status == 1)) && [[ ! -e "$out/private server" && ! -s $out/named.out ]] ||
  fail "-Di $DISPLAY: status $status, output: $(cat "$out/named.out")"

# Without a display the reports come as they are made, and a screenshot that cannot be saved where
# asked is saved in a temporary folder instead, said in one line. A world narrower than the report's
# ten columns has shorter reports.
touch "$out/file"
TMPDIR=$out run_sh 40 "$out/file" --size 5 --source 2,4,0,1 --report-row 2 >"$out/run.out" 2>"$out/run.err" &
run=$!
until_true 60 grep -q '^Lattice 4:' "$out/run.out" || fail "no report came: $(cat "$out/run.err")"
(($(grep -c '^Lattice 4:' "$out/run.out") < 40)) || fail "the reports came all at once at the end"
wait "$run" || fail "run.sh failed: $(cat "$out/run.err")"
[[ $(grep -c '^Lattice 4:' "$out/run.out") == 40 ]] || fail "not 40 reports: $(cat "$out/run.out")"
png=$(sed -n "s|^.*: could not save the screenshot as $out/file/world.png (Not a directory); saved it as \(.*\) instead$|\1|p" "$out/run.err")
[[ -n $png && $(head -c 4 "$png" | tail -c 3) == PNG ]] || fail "the screenshot: $(cat "$out/run.err")"
echo "scripts: passed"
