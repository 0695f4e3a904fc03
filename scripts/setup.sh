#!/usr/bin/env bash
# Installs what the build, the program and the tests need on Debian 12, and
# configures the build folder. Safe to run again: it only does what is missing.
# Sourced by run.sh and test.sh; sets VEXLAR_ROOT and BUILD_DIR.
set -euo pipefail

VEXLAR_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${VEXLAR_BUILD_DIR:-$VEXLAR_ROOT/build}
mkdir -p "$BUILD_DIR"
BUILD_DIR=$(cd "$BUILD_DIR" && pwd)

vexlar_packages=(cmake make ninja-build g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev wine wine64
  xvfb xauth x11-apps gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  imagemagick xdotool xclip googletest clang-format clang-tidy zip unzip ffmpeg clang libclang-rt-14-dev
  xserver-xorg-core xserver-xorg-video-dummy x11-xserver-utils pulseaudio pulseaudio-utils gdb)

# shellcheck source=scripts/install-packages.sh
source "$VEXLAR_ROOT/scripts/install-packages.sh"
install_missing_packages "${vexlar_packages[@]}"

# shellcheck source=scripts/wine-env.sh
source "$VEXLAR_ROOT/scripts/wine-env.sh"
create_wine_prefix

# Configured every time (quick once cached) so that new targets are known.
cmake -S "$VEXLAR_ROOT" -B "$BUILD_DIR" \
  -DCMAKE_TOOLCHAIN_FILE="$VEXLAR_ROOT/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
