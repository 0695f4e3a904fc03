#!/usr/bin/env bash
# The author's mode's two latencies on a virtual 1280x720 display, with the
# demo's music on the silent ALSA device: save to the first frame drawn with
# the new shader, and key press to the first frame at the new time, medians
# of repeated runs (author_bench.exe). Prints figures; asserts nothing.
# Usage: bench/author_bench.sh [runs (default 9)]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/setup.sh"
runs=${1:-9}

cmake --build "$BUILD_DIR" --parallel "$(nproc)" --target run_folder author_bench >/dev/null
use_silent_sound_device
start_virtual_display 1280x720
out=$(mktemp -d)
trap 'rm -rf "$out"; stop_virtual_display' EXIT
cp -r "$VEXLAR_ROOT/shaders" "$out/shaders"
cd "$BUILD_DIR/run"
wine ../bench/author_bench.exe "Z:$out/shaders" "$runs" 2>/dev/null | tr -d '\r'
