#!/usr/bin/env bash
# Time from a display change to the first frame presented at the new size: the
# demo's loop on virtual monitors of an Xorg dummy server, while a second
# monitor is plugged in left of the primary and taken away again in turn.
# Needs root (Xorg). Prints figures; asserts nothing.
# Usage: bench/display_change_bench.sh [changes (default 8)]
set -euo pipefail
# The monitors' own prefix: a Wine session belongs to the display it started on.
export VEXLAR_WINE_PREFIX=wineprefix-monitors
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/setup.sh"
changes=${1:-8}

cmake --build "$BUILD_DIR" --parallel "$(nproc)" --target run_folder display_change_bench >/dev/null
use_silent_sound_device
start_dummy_xorg "$BUILD_DIR/xorg-monitors"
trap 'wineserver -k >/dev/null 2>&1 || true; wineserver -w || true; stop_dummy_xorg' EXIT
wineserver -p
wine cmd.exe /c exit >/dev/null 2>&1 </dev/null || true

cd "$BUILD_DIR/run"
wine ../bench/display_change_bench.exe "$changes" &
bench=$!
until xdotool search --name '^Vexlar-engine$' >/dev/null 2>&1; do sleep 0.2; done
sleep 2
for ((i = 1; i <= changes; i++)); do
  if ((i % 2)); then
    arrange_monitors --output DUMMY1 --mode 1280x720 --left-of DUMMY0
  else
    arrange_monitors --output DUMMY1 --off
  fi
  sleep 1.5
done
wait "$bench"
