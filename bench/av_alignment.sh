#!/usr/bin/env bash
# The music heard against the position read, through a PulseAudio server of
# its own (scripts/wine-env.sh) with one null sink: its monitor is recorded
# with a long latency, which leaves the sink's pace alone, while
# av_alignment.exe plays audio/music.mp3 through our bass.dll and reads the
# position every 4 ms; then each quarter second of the recording is matched
# against the decoded music (see bench/av_alignment.cpp for what is printed).
# Cases: "idle" (the sink idle), "busy" (kept busy by a silent stream),
# "native" and "busy-native" (a native PulseAudio client, pacat, in our
# library's place, on the idle or busy sink),
# "change" (the sink replaced 4 s into the music, the new one recorded from
# its start), and "device" and "busy-device": the idle or busy sink played
# straight through WASAPI without our library, printing what the device said
# in the first 1.5 s and matching its own position (GetPosition) against the
# sound. VEXLAR_DEVICE_START="FIRST DELAY" starts that device with FIRST
# frames queued and the rest DELAY ms later, as a player whose decoder has not
# caught up.
# The recording's first sample is taken as played when the sink's latency
# (what it had rendered ahead) at the recorder's connection had run out,
# within the printed uncertainty.
# Prints figures; asserts nothing.
# VEXLAR_BASS_DLL names another bass.dll to measure (an older build);
# VEXLAR_BUSY_AFTER how long the busy cases wait for the silent stream (2.5 s).
# Usage: bench/av_alignment.sh [runs per case (default 2)] [seconds (default 12)]
#        [cases (default "idle busy change device busy-device native busy-native")]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/setup.sh"
runs=${1:-2}
seconds=${2:-12}
cases=${3:-idle busy change device busy-device native busy-native}

cmake --build "$BUILD_DIR" --parallel "$(nproc)" --target bass av_alignment >/dev/null
work=$(mktemp -d)
server="$BUILD_DIR/sound-server-alignment"
keeper=""
cleanup() {
  [ -z "$keeper" ] || kill "$keeper" 2>/dev/null || true
  stop_sound_server
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
cp "${VEXLAR_BASS_DLL:-$BUILD_DIR/run/bass.dll}" "$BUILD_DIR/bench/av_alignment.exe" "$VEXLAR_ROOT/audio/music.mp3" "$work"
ffmpeg -hide_banner -loglevel error -i "$work/music.mp3" -f s16le -ar 44100 -ac 2 "$work/music.raw"
if ! start_sound_server "$server"; then
  echo "PulseAudio did not start; its log is $server/pulseaudio.log" >&2
  exit 1
fi
export PULSE_SERVER=$VEXLAR_PULSE_SERVER
wineserver -p
cd "$work"

# shellcheck source=scripts/sink-recording.sh
source "$VEXLAR_ROOT/scripts/sink-recording.sh"

record() {
  local before
  before=$(date +%s%6N)
  record_sink "$@"
  echo "  (recording from $(((recorded_from - before) / 1000)) ms after the recorder started, known within" \
    "±$((recorded_within / 1000)) ms)"
}

# A native PulseAudio client (pacat, 5 ms latency) plays the music's first
# SECONDS; its position is taken as the time since the server's notice of its
# stream, written as av_alignment.exe play would.
play_natively() {
  local seconds=$1 events watcher line started=""
  head -c "$((176400 * ${seconds%.*}))" music.raw >native.raw
  exec {events}< <(exec stdbuf -oL pactl subscribe)
  watcher=$!
  sleep 0.3
  pacat --latency-msec=5 --raw native.raw &
  local player=$!
  while read -r -t 5 -u "$events" line; do
    if [[ $line == *"'new' on sink-input"* ]]; then
      started=$(date +%s%6N)
      break
    fi
  done
  kill "$watcher" 2>/dev/null || true
  exec {events}<&-
  wait "$player" || true
  awk -v from="${started:-0}" -v span="${seconds%.*}" \
    'BEGIN { for (t = 0; t <= span * 1000000; t += 4000) printf "%.0f %.0f\n", from + t, int(t * 0.0441) * 4 }' >positions
}

for case in $cases; do
  for ((run = 1; run <= runs; run++)); do
    echo "$case sink, run $run:"
    if [[ $case == busy* ]]; then
      pacat --latency-msec=5 --raw /dev/zero &
      keeper=$!
      # An idle null sink has rendered up to 2 s ahead, which a new stream
      # cannot take back: only after that is it busy.
      sleep "${VEXLAR_BUSY_AFTER:-2.5}"
    fi
    record speakers speakers.raw
    first=$recorder
    first_from=$recorded_from
    sleep 0.5
    if [[ $case == *native ]]; then
      play_natively "$seconds" &
    elif [[ $case == *device ]]; then
      # shellcheck disable=SC2086
      wine av_alignment.exe device music.raw "$seconds" ${VEXLAR_DEVICE_START:-} | tr -d '\r' >device.log &
    else
      wine av_alignment.exe play music.mp3 "$seconds" | tr -d '\r' >positions &
    fi
    player=$!
    if [ "$case" = change ]; then
      sleep 4
      module=$(pactl list short modules | awk '/sink_name=speakers/ { print $1 }')
      pactl unload-module "$module"
      sleep 0.5
      headphones=$(pactl load-module module-null-sink sink_name=headphones)
      record headphones headphones.raw
    fi
    wait "$player" || true
    sleep 3
    stop_recording "$first"
    if [ "$case" = change ]; then
      stop_recording "$recorder"
      echo "  before the change:"
      wine av_alignment.exe match music.raw speakers.raw positions "$first_from" | tr -d '\r' | sed 's/^/    /'
      echo "  on the new sink:"
      wine av_alignment.exe match music.raw headphones.raw positions "$recorded_from" | tr -d '\r' | sed 's/^/    /'
      pactl unload-module "$headphones"
      pactl load-module module-null-sink sink_name=speakers >/dev/null
    else
      if [[ $case == *device ]]; then
        awk '{ print $1, $4 * 4 }' device.log >positions
        echo "  ms since the first wake-up: frames written, padding, GetPosition (frames), its time - the call's (ms)"
        awk 'NR == 1 { t0 = $1 } ($1 - t0) / 1000 <= 1500 && ($1 - t0) / 1000 >= next_ms {
               printf "    %5.0f: %6d %5d %6d %+6.1f\n", ($1 - t0) / 1000, $2, $3, $4, ($5 - $1) / 1000; next_ms += 100 }' device.log
      fi
      wine av_alignment.exe match music.raw speakers.raw positions "$first_from" | tr -d '\r' | sed 's/^/  /'
    fi
    if [ -n "$keeper" ]; then
      kill "$keeper" 2>/dev/null || true
      wait "$keeper" 2>/dev/null || true
      keeper=""
    fi
  done
done
