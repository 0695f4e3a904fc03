#!/usr/bin/env bash
# Silent gaps in the music as a sound server plays it: a PulseAudio server of
# its own (scripts/wine-env.sh) with one null sink, whose monitor is recorded
# while our bass.dll plays audio/music.mp3 (through the audio exit probe of the
# tests). Prints, for each run, the silences longer than 5 ms between the
# recording's first and last sound, and which of them the music does not have
# itself, how long the sound lasted and where the position ended. Prints
# figures; asserts nothing.
# Usage: bench/sound_gaps.sh [seconds of music (default 10)] [runs (default 3)]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/setup.sh"
seconds=${1:-10}
runs=${2:-3}

cmake --build "$BUILD_DIR" --parallel "$(nproc)" --target bass audio_exit_probe >/dev/null
work=$(mktemp -d)
server="$BUILD_DIR/sound-server-bench"
trap 'stop_sound_server; wineserver -k >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
cp "$BUILD_DIR/run/bass.dll" "$BUILD_DIR/tests/audio_exit_probe.exe" "$VEXLAR_ROOT/audio/music.mp3" "$work"
if ! start_sound_server "$server"; then
  echo "PulseAudio did not start; its log is $server/pulseaudio.log" >&2
  exit 1
fi

# "start end" of each silence longer than 5 ms in 16-bit stereo PCM at
# 44.1 kHz read from standard input; a silence still running at the end has no end.
silences() {
  ffmpeg -hide_banner -nostats -f s16le -ar 44100 -ac 2 -i - -af silencedetect=noise=-70dB:d=0.005 -f null - 2>&1 |
    awk '/silence_start/ { start = $NF } /silence_end/ { print start, $5; start = "" }
         END { if (start != "") print start, "-" }'
}

ffmpeg -hide_banner -loglevel error -i "$work/music.mp3" -f s16le -ar 44100 -ac 2 - | silences >"$work/music-silences"
echo "The music's own silences longer than 5 ms (s):"
awk '{ printf "  %s to %s (%.1f ms)\n", $1, $2, ($2 - $1) * 1000 }' "$work/music-silences"

cd "$work"
for ((run = 1; run <= runs; run++)); do
  rm -f "$work/sink.raw"
  PULSE_SERVER="$VEXLAR_PULSE_SERVER" parecord --device=speakers.monitor --raw --channels=2 --format=s16le \
    --rate=44100 "$work/sink.raw" &
  recorder=$!
  sleep 0.5
  PULSE_SERVER="$VEXLAR_PULSE_SERVER" wine audio_exit_probe.exe -1 music.mp3 "$seconds" | tr -d '\r' >"$work/positions" || true
  sleep 2
  kill "$recorder"
  wait "$recorder" 2>/dev/null || true
  # Inside the recording: after the sound began and before it stopped. The
  # music's own silence is one of about the same length at about the same
  # time into the music (later by the gaps before it).
  silences <"$work/sink.raw" | awk -v run="$run" -v music="$work/music-silences" \
    -v recorded="$(stat -c %s "$work/sink.raw")" '
    BEGIN { recorded /= 176400; while ((getline line < music) > 0) { split(line, m, " "); if (m[2] != "-") { at[++n] = m[1]; own[n] = m[2] - m[1] } } }
    $1 == 0 && $2 != "-" { began = $2; next }
    $2 == "-" || $2 > recorded - 0.01 { ended = $1; next }
    {
      length_ms = ($2 - $1) * 1000; mine = 0
      for (i = 1; i <= n; i++) {
        into = $1 - began - total / 1000
        if (length_ms > own[i] * 1000 - 5 && length_ms < own[i] * 1000 + 5 && into > at[i] - 0.1 && into < at[i] + 0.1) mine = 1
      }
      printf "run %d: silence at %.3f s into the sound, %.1f ms%s\n", run, $1 - began, length_ms, mine ? " (the music'\''s own)" : ""
      if (!mine) { gaps++; total += length_ms }
    }
    END {
      printf "run %d: %d gaps the music does not have, %.1f ms in all\n", run, gaps, total
      if (ended != "") printf "run %d: the sound lasted %.3f s\n", run, ended - began
    }'
  # From the position's first step: how far it fell behind real time. Its
  # last value against the sound's length tells whether it followed the sound.
  awk '$2 > 0 && !t0 { t0 = $1; p0 = $2 } END { printf "run %d: the position moved %.3f s in %.3f s of real time, and ended at %.3f s\n", run, ($2 - p0) / 176400, ($1 - t0) / 1000, $2 / 176400 }' run="$run" "$work/positions"
done
