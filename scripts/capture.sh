#!/usr/bin/env bash
# The capture command: records the demo, frame by frame at exact music times,
# into an MP4 (H.264 video, the music as AAC, cut to the captured range).
#
# Usage: scripts/capture.sh [OUTPUT.mp4] [--fps N] [--size WxH] [--from S] [--to S]
# The output defaults to build/vexlar.mp4; the options go to vexlar-capture.exe
# (see its --help). With no display the capture runs on a virtual one.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

output="$BUILD_DIR/vexlar.mp4"
if [ $# -gt 0 ] && [[ "$1" != -* ]]; then
  output=$1
  shift
fi
output=$(realpath -m "$output")

# The encoder needs the frame size and rate, and the music's start; the
# capture program checks every option itself.
fps=60 size=1920x1080 from=0 to=""
args=("$@")
for ((i = 0; i < ${#args[@]}; i++)); do
  value=${args[i + 1]:-}
  case ${args[i]} in
    --fps) fps=$value ;;
    --size) size=$value ;;
    --from) from=$value ;;
    --to) to=$value ;;
    --help | -h)
      cmake --build "$BUILD_DIR" --parallel "$(nproc)" --target run_folder vexlar-capture >/dev/null
      echo "Usage: scripts/capture.sh [OUTPUT.mp4] [options], with these options of the capture program:"
      cd "$BUILD_DIR/run" && DISPLAY='' exec wine vexlar-capture.exe --help
      ;;
    --out | --png)
      echo "capture.sh: ${args[i]} is not taken here: the frames go to the encoder; name the MP4 first instead" >&2
      exit 2
      ;;
  esac
done
if ! mkdir -p "$(dirname "$output")" 2>/dev/null || [ ! -w "$(dirname "$output")" ]; then
  echo "capture.sh: cannot write into $(dirname "$output")" >&2
  exit 1
fi

cmake --build "$BUILD_DIR" --parallel "$(nproc)" --target run_folder vexlar-capture
RUN_DIR="$BUILD_DIR/run"
has_sound_card || use_silent_sound_device
if [ -z "${DISPLAY:-}" ] || ! xdotool getdisplaygeometry >/dev/null 2>&1; then
  start_virtual_display 1280x720
else
  # Wine's own services start now, so that they never hold the pipe to the encoder open.
  wine cmd.exe /c exit >/dev/null 2>&1 </dev/null || true
fi

audio_range=(-ss "$from")
[ -n "$to" ] && audio_range+=(-to "$to")
set +e
(cd "$RUN_DIR" && exec wine vexlar-capture.exe "$@" --out -) |
  ffmpeg -hide_banner -loglevel error -nostdin -y \
    -f rawvideo -pix_fmt bgra -s "$size" -r "$fps" -i - \
    "${audio_range[@]}" -i "$RUN_DIR/music.mp3" \
    -map 0:v:0 -map 1:a:0 -c:v libx264 -preset veryfast -pix_fmt yuv420p \
    -c:a aac -b:a 192k -shortest -movflags +faststart "$output"
codes=("${PIPESTATUS[@]}")
set -e

if [ "${codes[0]}" -ne 0 ] || [ "${codes[1]}" -ne 0 ]; then
  rm -f "$output"
  echo "capture.sh: the capture ended with exit code ${codes[0]} and the encoder with ${codes[1]}; no video was written" >&2
  [ "${codes[0]}" -ne 0 ] && exit "${codes[0]}"
  exit 1
fi
duration=$(ffprobe -v error -show_entries format=duration -of default=noprint_wrappers=1:nokey=1 "$output")
echo "The video is $output ($duration s)."
