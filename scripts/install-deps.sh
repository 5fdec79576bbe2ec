#!/usr/bin/env bash
# Installs the Debian/Ubuntu packages that the build and the tests need, skipping those already there;
# given package names, those instead.
set -euo pipefail

# fluid: Debian's FLTK CMake files check that it exists, though nothing here runs it.
# libgomp1: OpenMP's runtime, for the fluid's threads (g++ brings it too).
packages=(
  g++ make cmake pkg-config libgomp1
  libfltk1.3-dev fluid libglu1-mesa-dev libgl-dev libgl1-mesa-dri
  libgtest-dev libbenchmark-dev libcli11-dev libtomlplusplus-dev
  libx11-dev libxtst-dev xvfb xdotool x11-utils imagemagick valgrind
  emscripten chromium fonts-dejavu-core
)
(($#)) && packages=("$@")

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[[ $(id -u) -ne 0 ]] && sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
