#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the unit tests, the command-line tests,
# the real-window tests (each starts its own virtual X server) and the page's (node, Chromium),
# then all but the page in node and Chromium again under AddressSanitizer and
# UndefinedBehaviorSanitizer, and the headless tool under valgrind.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
source scripts/building.sh
jobs=$(nproc)

# Every part on, whatever an earlier configure left in the cache; a build without tests fails.
parts=(-DSMOKE_BUILD_VIEWER=ON -DSMOKE_BUILD_TESTS=ON -DSMOKE_BUILD_BENCHMARKS=ON)

echo "== build (Release) and all tests"
build_in build -DCMAKE_BUILD_TYPE=Release -DSMOKE_SANITIZE=OFF -DSMOKE_BUILD_WEB=ON "${parts[@]}"
ctest --test-dir build --output-on-failure --no-tests=error -j "$jobs"

echo "== sanitizers: address, undefined behaviour, leaks"
# The page is proved in the Release build; its emscripten build gains nothing from the sanitizers.
build_in build-sanitize -DCMAKE_BUILD_TYPE=Debug -DSMOKE_SANITIZE=ON -DSMOKE_BUILD_WEB=OFF "${parts[@]}"
export_sanitizer_options "$PWD/tests/lsan.supp"
# The physics benchmarks run thousands of steps: too slow without optimisation, and proved in Release.
ctest --test-dir build-sanitize --output-on-failure --no-tests=error -j "$jobs" -LE physics
build-sanitize/tools/smoke-steps 1000 >/dev/null
build-sanitize/tools/smoke-steps 100 --size 96 >/dev/null  # on threads

echo "== valgrind"
valgrind --quiet --error-exitcode=1 --leak-check=full build/tools/smoke-steps 200 >/dev/null
# A world whose rows the step shares among threads; the suppression is libgomp's own thread pool.
valgrind --quiet --error-exitcode=1 --leak-check=full --suppressions=tests/valgrind.supp \
  build/tools/smoke-steps 20 --size 96 >/dev/null

echo "All tests passed."
