#!/usr/bin/env bash
# Installs what is missing, builds, and runs 40 steps of the smoke lattice headless.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc)" >/dev/null
exec build/tools/smoke-steps "${@:-40}"
