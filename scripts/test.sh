#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the unit tests, the command-line tests and
# the real-window tests (each starts its own virtual X server), then all of them again under
# AddressSanitizer and UndefinedBehaviorSanitizer, and the headless tool under valgrind.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
jobs=$(nproc)

# Every part on, whatever an earlier configure left in the cache; a build without tests fails.
parts=(-DSMOKE_BUILD_VIEWER=ON -DSMOKE_BUILD_TESTS=ON -DSMOKE_BUILD_BENCHMARKS=ON)

echo "== build (Release) and all tests"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DSMOKE_SANITIZE=OFF "${parts[@]}" >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure --no-tests=error -j "$jobs"

echo "== sanitizers: address, undefined behaviour, leaks"
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DSMOKE_SANITIZE=ON "${parts[@]}" >/dev/null
cmake --build build-sanitize -j "$jobs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
ctest --test-dir build-sanitize --output-on-failure --no-tests=error -j "$jobs"
build-sanitize/tools/smoke-steps 1000 >/dev/null

echo "== valgrind"
valgrind --quiet --error-exitcode=1 --leak-check=full build/tools/smoke-steps 200 >/dev/null

echo "All tests passed."
