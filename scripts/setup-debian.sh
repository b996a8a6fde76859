#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build and test Tovrela.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config ccache
  libgtest-dev libgmock-dev libbenchmark-dev
  libavutil-dev libavcodec-dev libavformat-dev libswscale-dev libswresample-dev libavfilter-dev
  libgpod-dev libgdk-pixbuf-2.0-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
