#!/usr/bin/env bash
# Through the test command's sound server (run by through_sound_server.sh),
# with its sink kept busy by a silent stream, as a sound card's sink that
# takes a new stream at once: our bass.dll plays the music while the sink is
# recorded, and the recording is matched against the music
# (av_alignment.exe, see bench/av_alignment.cpp). The music is heard from its
# first note; the music time heard less the position read is told (the
# figures, idle and busy, are in docs/benchmarks.md).
# Usage: first_note.sh <av_alignment.exe> <folder with bass.dll> <music.mp3>
set -uo pipefail
tool=$1
library=$2
music=$3
# shellcheck source=scripts/sink-recording.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/sink-recording.sh"
work=$(mktemp -d)
keeper=""
trap '[ -z "$keeper" ] || kill "$keeper" 2>/dev/null; rm -rf "$work"' EXIT
cp "$tool" "$library/bass.dll" "$work/"
cp "$music" "$work/music.mp3"
cd "$work" || exit 1
ffmpeg -hide_banner -loglevel error -i music.mp3 -t 10 -f s16le -ar 44100 -ac 2 music.raw

pacat --latency-msec=5 --raw /dev/zero &
keeper=$!
# An idle null sink has rendered up to 2 s ahead, which a new stream cannot
# take back: only after that is it busy.
sleep 2.5
# One measurement: plays the music while the sink is recorded, matches the
# recording and checks that the first note was heard.
measure() {
  record_sink speakers sink.raw
  # A stream started just as the recorder comes lost its start as well.
  sleep 0.5
  wine "$(basename "$tool")" play music.mp3 3 2>/dev/null | tr -d '\r' >positions
  sleep 2
  stop_recording "$recorder"
  result=$(wine "$(basename "$tool")" match music.raw sink.raw positions "$recorded_from" | tr -d '\r')
  echo "$result"

  failed=0
  check() {
    if [ "$2" = yes ]; then
      echo "PASS $1"
    else
      echo "FAIL $1"
      failed=1
    fi
  }
  # "the sound began at music time 0.011 s; ..." A start a little before 0 is
  # the error of dating the recording's first sample, seen up to 0.08 s when the
  # first quarter second matched nothing on a loaded machine: only a start lost
  # (after 0.1 s) or a match that went astray (before -0.25 s) fail.
  began=$(echo "$result" | awk '/the sound began at music time/ { print $7 }')
  check "the music is heard from its first note (heard from ${began:-nowhere} s)" \
    "$(awk -v t="${began:-9}" 'BEGIN { print (t >= -0.25 && t <= 0.1 ? "yes" : "no") }')"
  # "from 1 s after the first sound: heard - position median +6.2 ms". Quiet,
  # within 10 ms; but with clang-tidy and the build beside it the test
  # command's runs read medians of +139 to +456 ms, so the offset is told
  # here and measured by bench/av_alignment.sh, not asserted.
  median=$(echo "$result" | awk '/heard - position median/ { print $12 + 0 }')
  echo "NOTE once it plays, the music heard less the position read: median ${median:-none} ms"
  return $failed
}

# The test command's other work can starve the recorder or the player for a
# moment, and the match then goes astray: a real fault fails every
# measurement, a disturbed one rarely twice in a row.
for attempt in 1 2 3; do
  if measure; then
    exit 0
  fi
  echo "measurement $attempt of 3 failed"
done
exit 1
