#!/usr/bin/env bash
# Release package figures: the zip's size, and the start-up time (start to
# first drawn frame) of the unzipped program in a clean Wine prefix against
# the program in build/run with the project's prefix. Runs on a virtual
# display of its own. Usage: bench/package_bench.sh [runs, default 3]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/setup.sh"

runs=${1:-3}
cmake --build "$BUILD_DIR" --parallel "$(nproc)" --target run_folder >/dev/null
work=$(mktemp -d)
zip_file=$("$VEXLAR_ROOT/scripts/zip-package.sh" "$BUILD_DIR" "$work/package")
unzip -q "$zip_file" -d "$work/unzipped"
unzipped_exe=$(echo "$work"/unzipped/vexlar-*/vexlar.exe)

use_silent_sound_device
start_virtual_display 1280x720
trap 'stop_virtual_display; for p in "$work"/prefix-*; do WINEPREFIX=$p wineserver -k 2>/dev/null || true; done; rm -rf "$work"' EXIT

corner_green() { xwd -root -silent | /usr/bin/convert xwd:- -crop 1x1+2+2 -format '%[fx:round(255*g)]' info:; }

# Seconds from starting the program to its first cleared frame; then ends it.
startup_seconds() {
  local exe=$1 start program
  start=$(date +%s.%N)
  (cd / && exec timeout 120 wine "$exe" >/dev/null 2>&1) &
  program=$!
  until xdotool search --name '^Vexlar-engine$' >/dev/null 2>&1 && [ "$(corner_green)" -gt 0 ]; do
    sleep 0.05
  done
  awk -v a="$(date +%s.%N)" -v b="$start" 'BEGIN { printf "%.2f", a - b }'
  xdotool keydown Escape; sleep 0.5; xdotool keyup Escape
  wait "$program" || true
}

echo "zip: $zip_file"
echo "zip size: $(stat -c %s "$zip_file") bytes"
for ((i = 1; i <= runs; i++)); do
  echo "build/run, project prefix, run $i: $(startup_seconds "$BUILD_DIR/run/vexlar.exe") s"
done
for ((i = 1; i <= runs; i++)); do
  prefix="$work/prefix-$i"
  created_start=$(date +%s.%N)
  WINEPREFIX=$prefix DISPLAY='' wineboot -i >/dev/null 2>&1
  WINEPREFIX=$prefix wineserver -w
  created=$(awk -v a="$(date +%s.%N)" -v b="$created_start" 'BEGIN { printf "%.1f", a - b }')
  echo "unzipped, clean prefix (made in $created s), run $i: $(WINEPREFIX=$prefix startup_seconds "$unzipped_exe") s"
  WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
done
