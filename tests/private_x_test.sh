#!/usr/bin/env bash
# The private X server of run.sh and record-animation.sh: several started at once each come up, and
# a viewer that ends before its window ends the wait at once, its status passed on and nothing added
# to what it said.
set -euo pipefail
scripts=$(cd "$(dirname "$0")/../scripts" && pwd)
fail() { echo "FAILED: $*" >&2; exit 1; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

for i in 1 2 3 4; do
  (source "$scripts/private-x.sh" && start_private_display && xdpyinfo >/dev/null && echo up) >"$out/up.$i" 2>&1 &
done
wait
for i in 1 2 3 4; do grep -qx up "$out/up.$i" || fail "display $i: $(cat "$out/up.$i")"; done

start=$SECONDS
status=0
(viewer=/bin/false && source "$scripts/private-x.sh" && start_private_display && start_viewer) 2>"$out/died" || status=$?
((status == 1)) || fail "a viewer that ended with status 1 before its window: status $status"
[[ ! -s $out/died ]] || fail "more said than the viewer said: $(cat "$out/died")"
((SECONDS - start < 10)) || fail "the wait went on after the viewer died"
echo "private X server: passed"
