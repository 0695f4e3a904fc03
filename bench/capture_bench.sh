#!/usr/bin/env bash
# Capture throughput against the live demo, on one virtual 1280x720 display in
# one run: raw frames to a file and through the encoder at 1280x720 and
# 1920x1080, the encoder alone on the same frames, and the capture's memory
# over the whole demo. Prints figures; asserts nothing.
# Usage: bench/capture_bench.sh [seconds of music per figure (default 5)] [--no-whole]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/setup.sh"
seconds=${1:-5}
whole=${2:-}

cmake --build "$BUILD_DIR" --parallel "$(nproc)" --target run_folder vexlar-capture frame_bench >/dev/null
use_silent_sound_device
start_virtual_display 1280x720
out=$(mktemp -d)
trap 'rm -rf "$out"; stop_virtual_display' EXIT
cd "$BUILD_DIR/run"

echo "== live demo on the virtual display"
wine ../bench/frame_bench.exe 200 2>/dev/null | grep -E '^(screen|demo:)'

summary() { grep -E '^Captured' "$1" | sed 's/^/  /'; }
encode() {
  ffmpeg -hide_banner -loglevel error -nostdin -y -f rawvideo -pix_fmt bgra -s "$1" -r 60 -i - \
    -ss 0 -to "$seconds" -i music.mp3 -map 0:v:0 -map 1:a:0 -c:v libx264 -preset veryfast -pix_fmt yuv420p \
    -c:a aac -b:a 192k -shortest -movflags +faststart "$2"
}
frames=$(awk -v s="$seconds" 'BEGIN { print int(s * 60) }')
for size in 1280x720 1920x1080; do
  echo "== $size, $frames frames"
  wine vexlar-capture.exe --size "$size" --to "$seconds" --out "Z:$out/frames.bgra" 2>"$out/log"
  echo "raw to a file:"
  summary "$out/log"

  start=$(date +%s.%N)
  encode "$size" "$out/alone.mp4" <"$out/frames.bgra"
  awk -v s="$start" -v e="$(date +%s.%N)" -v f="$frames" \
    'BEGIN { printf "encoder alone from the file: %.2f s, %.1f frames/s\n", e - s, f / (e - s) }'
  rm -f "$out/frames.bgra"

  start=$(date +%s.%N)
  wine vexlar-capture.exe --size "$size" --to "$seconds" --out - 2>"$out/log" | encode "$size" "$out/piped.mp4"
  awk -v s="$start" -v e="$(date +%s.%N)" -v f="$frames" \
    'BEGIN { printf "through the encoder: %.2f s, %.1f frames/s end to end; the capture side:\n", e - s, f / (e - s) }'
  summary "$out/log"
done

if [ "$whole" != "--no-whole" ]; then
  echo "== memory over the whole demo, 1280x720 raw (to /dev/null)"
  wine vexlar-capture.exe --size 1280x720 --out - 2>"$out/log" >/dev/null
  grep -E '^frame' "$out/log" | awk 'NR == 1 || NR % 10 == 0 { print "  " $0 }'
  summary "$out/log"
fi
