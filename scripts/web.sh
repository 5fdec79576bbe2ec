#!/usr/bin/env bash
# Installs what is missing, builds the page into build/web and serves it on http://localhost:8000.
# The page is static files: build/web can be published on any web server as it is.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() { echo "usage: scripts/web.sh [--build] [--port N]  (--build only builds; the port defaults to 8000)"; }

serve=1
port=8000
while (($#)); do
  case $1 in
    --build) serve=0 ;;
    --port) (($# >= 2)) || { echo "web.sh: --port needs a number" >&2; usage >&2; exit 2; }; port=$2; shift ;;
    --port=*) port=${1#--port=} ;;
    -h | --help) usage; exit 0 ;;
    *) echo "web.sh: unexpected argument '$1'" >&2; usage >&2; exit 2 ;;
  esac
  shift
done
if ! [[ $port =~ ^[0-9]+$ ]] || ((10#$port < 1 || 10#$port > 65535)); then
  echo "web.sh: --port takes a number from 1 to 65535, not '$port'" >&2
  exit 2
fi

# emscripten brings node and python3; Chromium runs the page's tests.
./scripts/install-deps.sh emscripten chromium fonts-dejavu-core cmake make libcli11-dev libtomlplusplus-dev
source scripts/building.sh
# The folder and settings the native build's external project uses, so that either reuses the other's.
emscripten_root=$(dirname "$(readlink -f "$(command -v emcc)")")
build_in build/web-build -DCMAKE_TOOLCHAIN_FILE="$emscripten_root/cmake/Modules/Platform/Emscripten.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_CROSSCOMPILING_EMULATOR="$(command -v node)" -DSMOKE_WEB_DIR="$PWD/build/web"
echo "web.sh: the page is in $PWD/build/web" >&2
((serve)) || exit 0
exec node web/serve.js build/web "$((10#$port))"
