#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; does nothing
# when everything is there already.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  zlib1g-dev libjpeg62-turbo-dev
  qt6-base-dev libqt6opengl6-dev libgl-dev libglu1-mesa-dev
  libgtest-dev
  xvfb xauth openbox
  netpbm giflib-tools gifsicle imagemagick libtiff-tools python3-pil libjpeg-turbo-progs
)
# Fuzz targets are built with clang when it is there; it is not required.

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
