#!/usr/bin/env bash
# Records what a PulseAudio sink plays, with a long latency that leaves the
# sink's pace alone, for bench/av_alignment.sh and the tests that listen to
# the sound. Sourced, not run; PULSE_SERVER names the server.

# Records SINK's monitor into FILE as 16-bit stereo PCM at 44.1 kHz. Sets
# recorder (its process id), recorded_from (the Unix time in microseconds at
# which its first sample was played on the sink's clock) and recorded_within
# (how well that is known, in microseconds either way).
#
# A null sink's monitor hands on each sample as the sink renders it, and the
# sink renders up to its latency ahead of its clock: the first sample recorded
# is the next one rendered after the recorder's stream came, which plays at
# that moment plus the sink's latency then. The moment comes from the
# server's own notice of the new stream (pactl subscribe, read as it
# arrives); the latency from one query just after. An idle null sink renders
# nothing more until its latency has run out, so there the query's own time
# plus what was left of it counts instead.
# shellcheck disable=SC2034 # recorder, recorded_from and recorded_within are the caller's
record_sink() {
  local sink=$1 file=$2 events watcher line created="" asked latency answered
  exec {events}< <(exec stdbuf -oL pactl subscribe)
  watcher=$!
  sleep 0.3  # its subscription in place
  parecord --device="$sink.monitor" --latency-msec=2000 --raw --channels=2 --format=s16le --rate=44100 "$file" &
  recorder=$!
  while read -r -t 5 -u "$events" line; do
    if [[ $line == *"'new' on source-output"* ]]; then
      created=$(date +%s%6N)
      break
    fi
  done
  asked=$(date +%s%6N)
  latency=$(pactl list sinks | awk -v name="$sink" '$1 == "Name:" { current = $2 }
    current == name && $1 == "Latency:" { print $2; exit }')
  answered=$(date +%s%6N)
  kill "$watcher" 2>/dev/null || true
  exec {events}<&-
  latency=${latency:-0}
  if ((latency > 100000)) || [ -z "$created" ]; then
    recorded_from=$(((asked + answered) / 2 + latency))
    recorded_within=$(((answered - asked) / 2))
  else
    recorded_from=$((created + latency))
    recorded_within=$((latency + 2000))
  fi
}

# Stops a recorder so that its last fragment is written.
stop_recording() {
  kill -INT "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}

# Milliseconds that a player's stream ('audio stream #N', as Wine names it)
# ran dry at the server, in all, from line FIRST of the server's log on (the
# log of start_sound_server, which times each line): from each "Implicit
# underrun" to the next "end of underrun". A stream that runs dry plays
# silence, and the server then drops what comes late, so the sound runs
# ahead of the player's position by up to that much.
# Usage: stream_dry_ms LOG FIRST
# The server's threads may write into each other's lines: a line without its
# time takes that of the line before.
stream_dry_ms() {
  tail -n +"$2" "$1" | awk -F'[(|]' '
    /^\(/ { now = $2 + 0 }
    /Implicit underrun of .audio stream/ { since = now }
    /Requesting rewind due to end of underrun/ && since != "" { total += now - since; since = "" }
    END { printf "%.0f\n", total * 1000 }'
}
