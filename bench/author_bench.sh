#!/usr/bin/env bash
# The author's mode's two latencies on a virtual 1280x720 display, with the
# demo's music on the silent ALSA device: save to the first frame drawn with
# the new shader, and key press to the first frame at the new time, medians
# of repeated runs (author_bench.exe), with the seeks back and a passage's
# repeats near the music's end. Then, through a PulseAudio server of its own
# whose null sink is kept busy (as a sound card's sink that takes a new
# stream at once) and recorded, the passage's repeats again: where its seam
# was heard, and the gap there between the passage's end and its start
# (av_alignment.exe seam; 0 for a seamless repeat). Prints figures; asserts
# nothing. VEXLAR_BASS_DLL names another bass.dll to measure (an older build).
# Usage: bench/author_bench.sh [runs (default 9)]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/setup.sh"
runs=${1:-9}

cmake --build "$BUILD_DIR" --parallel "$(nproc)" --target run_folder author_bench av_alignment >/dev/null
use_silent_sound_device
start_virtual_display 1280x720
out=$(mktemp -d)
# The silent stream that keeps the sink busy ends with its server.
trap 'stop_sound_server; wineserver -k >/dev/null 2>&1 || true; rm -rf "$out"; stop_virtual_display' EXIT
cp -r "$VEXLAR_ROOT/shaders" "$out/shaders"
# Beside the library it is to load, which is found in the program's own folder first.
mkdir "$out/bench"
cp "$BUILD_DIR/bench/author_bench.exe" "${VEXLAR_BASS_DLL:-$BUILD_DIR/bench/bass.dll}" "$out/bench/"
bench="Z:$out/bench/author_bench.exe"
cd "$BUILD_DIR/run"
wine "$bench" "Z:$out/shaders" "$runs" 2>/dev/null | tr -d '\r'

# The passage's seam as heard.
ffmpeg -hide_banner -loglevel error -i "$VEXLAR_ROOT/audio/music.mp3" -f s16le -ar 44100 -ac 2 "$out/music.raw"
if ! start_sound_server "$BUILD_DIR/sound-server-author"; then
  echo "PulseAudio did not start; its log is $BUILD_DIR/sound-server-author/pulseaudio.log" >&2
  exit 1
fi
export PULSE_SERVER=$VEXLAR_PULSE_SERVER
# shellcheck source=scripts/sink-recording.sh
source "$VEXLAR_ROOT/scripts/sink-recording.sh"
pacat --latency-msec=5 --raw /dev/zero &
keeper=$!
sleep 2.5  # an idle null sink has rendered up to 2 s ahead: only then is it busy
record_sink speakers "$out/sink.raw"
wine "$bench" "Z:$out/shaders" "$runs" passage 2>/dev/null | tr -d '\r' | tee "$out/passage" | grep -v '^repeat '
sleep 1
stop_recording "$recorder"
kill "$keeper" 2>/dev/null || true
read -r _ from to < <(grep '^passage ' "$out/passage") || true
if [ -z "${to:-}" ]; then
  echo "the passage's marks were not printed"
  exit 0
fi
echo "each repeat as heard (the recording's start known within $((recorded_within / 1000)) ms):"
# 2.8 s of the recording around each repeat, the seam and a second either side of it.
while read -r _ at; do
  first=$(((at - recorded_from) * 441 / 10000 - 61740))
  ((first >= 0)) || continue
  dd if="$out/sink.raw" of="$out/around.raw" bs=4 skip="$first" count=123480 status=none
  wine ../bench/av_alignment.exe seam "Z:$out/music.raw" "Z:$out/around.raw" \
    "$((recorded_from + first * 10000 / 441))" "$from" "$to" 2>/dev/null | tr -d '\r'
done < <(grep '^repeat ' "$out/passage")
