# Shell functions for the scripts that build and test, shared by run.sh, test.sh and
# record-animation.sh. Source it from the project's root; the caller provides `set -euo pipefail`.

# build_in FOLDER [CMAKE OPTIONS...]: configures and builds FOLDER, one run at a time. Two builds in
# one folder at once break each other (a cache half written, an archive replaced under the linker),
# so a run waits for the other's build, and says so.
build_in() {
  local folder=$1 lock
  shift
  mkdir -p "$folder"
  exec {lock}>"$folder/.build-lock"
  if ! flock -n "$lock"; then
    echo "$(basename "$0"): waiting for another run to finish building in $folder" >&2
    flock "$lock"
  fi
  cmake -S . -B "$folder" "$@" >/dev/null
  cmake --build "$folder" -j "$(nproc)"
  # Unlocks for the builders too, which share the descriptor.
  flock -u "$lock"
  exec {lock}>&-
}

# export_sanitizer_options SUPPRESSIONS: the sanitizers' settings for the tests, with LeakSanitizer's
# suppressions file. Its path is quoted: the runtime ends an unquoted value at a space and aborts.
export_sanitizer_options() {
  local quote='"'
  [[ $1 != *'"'* ]] || quote="'"
  [[ $1 != *"$quote"* ]] || { echo "$(basename "$0"): cannot pass a path with both kinds of quote to the sanitizers: $1" >&2; return 1; }
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  export LSAN_OPTIONS="suppressions=$quote$1$quote:print_suppressions=0"
}
