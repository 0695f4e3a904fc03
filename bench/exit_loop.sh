#!/usr/bin/env bash
# Exits under load: the audio exit probe of the tests (our bass.dll played
# through a PulseAudio server of its own, scripts/wine-env.sh) plays the music
# for a second and returns from main with the music still playing, never
# calling BASS_Free, as a program may leave it. Both cores are kept
# busy meanwhile, and in every other run the sink it plays on is taken away
# and plugged in again while it plays. Counts the exit codes (42 is the
# probe's own, 6 a library that had not ended by the runtime's exit, 139 a
# crash) and prints how long a run took. Prints figures; asserts nothing.
# Usage: bench/exit_loop.sh [runs (default 100)] [folder with bass.dll and
#        audio_exit_probe.exe (default: the build's, built first)]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/setup.sh"
runs=${1:-100}
from=${2:-}

if [ -z "$from" ]; then
  cmake --build "$BUILD_DIR" --parallel "$(nproc)" --target bass audio_exit_probe >/dev/null
  from="$BUILD_DIR/tests"
fi
work=$(mktemp -d)
server="$BUILD_DIR/sound-server-exits"
busy=()
cleanup() {
  for pid in "${busy[@]}"; do kill "$pid" 2>/dev/null || true; done
  stop_sound_server
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
cp "$from/bass.dll" "$from/audio_exit_probe.exe" "$VEXLAR_ROOT/audio/music.mp3" "$work"
if ! start_sound_server "$server"; then
  echo "PulseAudio did not start; its log is $server/pulseaudio.log" >&2
  exit 1
fi
export PULSE_SERVER=$VEXLAR_PULSE_SERVER
ulimit -c 0
wineserver -p
for _ in $(seq 1 "$(nproc)"); do
  (while :; do :; done) &
  busy+=($!)
done

declare -A codes
total_ms=0
worst_ms=0
cd "$work"
for ((run = 1; run <= runs; run++)); do
  : >positions
  start=$(date +%s%N)
  (exec wine audio_exit_probe.exe -1 music.mp3 1 >positions 2>/dev/null) &
  probe=$!
  if ((run % 2 == 0)); then
    # Once the music plays: the sink goes, and another comes 0.3 s later.
    for _ in $(seq 1 100); do
      tr -d '\r' <positions | awk '$2 > 0 { found = 1 } END { exit !found }' && break
      sleep 0.05
    done
    module=$(pactl list short modules | awk '/sink_name=speakers/ { print $1 }')
    pactl unload-module "$module"
    sleep 0.3
    pactl load-module module-null-sink sink_name=speakers >/dev/null
  fi
  code=0
  wait "$probe" || code=$?
  elapsed_ms=$((($(date +%s%N) - start) / 1000000))
  total_ms=$((total_ms + elapsed_ms))
  ((elapsed_ms > worst_ms)) && worst_ms=$elapsed_ms
  kind=$([ $((run % 2)) = 0 ] && echo "with a change of sink" || echo "on the same sink")
  codes["$kind: exit code $code"]=$((${codes["$kind: exit code $code"]:-0} + 1))
  [ "$code" = 42 ] || echo "run $run ($kind): exit code $code"
done
echo "$runs exits under load (half with a change of sink), from $from:"
for key in "${!codes[@]}"; do
  echo "  $key: ${codes[$key]}"
done | sort
echo "  a run took $((total_ms / runs)) ms on average, $worst_ms ms at most (a second of music, then the exit)"
