#!/usr/bin/env bash
# End-to-end tests of the program on the test run's virtual display: it is
# started from a copy of its run folder, driven with real key presses and
# watched through screenshots; and, where the test command's PulseAudio server
# runs, the demo and the audio library while the sink they play on is replaced.
# Usage: program_tests.sh <run folder> <audio probe>
set -uo pipefail

run_folder=$1
audio_probe=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "${BASH_SOURCE[0]}")/e2e_helpers.sh"

# Copies the run folder, leaving out the given relative paths.
prepare() {
  rm -rf "$work/run"
  cp -r "$run_folder" "$work/run"
  for missing in "$@"; do rm -rf "${work:?}/run/$missing"; done
}

start_program() {
  (cd "$work/run" && exec timeout 60 wine vexlar.exe "$@") &
  program=$!
  wait_for_first_frames
}

prepare
if start_program; then
  check "the picture moves with the music" yes "$(picture_moves)"
  hold_escape; wait_for_exit
  check "Escape held ends the program with exit code 0" 0 "$exit_code"
else
  check "the program opens its window" yes no
fi

prepare
if start_program; then
  # Pressed and released with no time between: within one drain of the queue.
  xdotool key Escape; wait_for_exit
  check "Escape tapped ends the program with exit code 0" 0 "$exit_code"
else
  check "the program opens its window" yes no
fi

prepare
if start_program; then
  xdotool key alt+F4; wait_for_exit
  check "Alt+F4 ends the program with exit code 0" 0 "$exit_code"
else
  check "the program opens its window" yes no
fi

prepare music.mp3
if start_program; then
  check "without music the picture stays frozen" no "$(picture_moves)"
  # t = -1: green = (sin(-1) * 0.5 + 0.5) * 0.55
  check "without music the background is that of t = -1" 11 "$(corner_green)"
  hold_escape; wait_for_exit
  check "without music Escape still ends the program with exit code 0" 0 "$exit_code"
else
  check "the program opens its window without music" yes no
fi

# The first frames are the background cleared (wait_for_first_frames); then
# the background must go on pulsing with the music.
prepare shaders textures
if start_program; then
  check "without shaders or texture the program clears the screen with the music's colour" yes "$(picture_moves)"
  hold_escape; wait_for_exit
  check "without shaders or texture Escape still ends the program with exit code 0" 0 "$exit_code"
else
  check "the program opens its window without shaders or texture" yes no
fi

# The viewer's options. A bad one is told on standard error when that goes
# somewhere, as here (a message box when started from a shortcut).
prepare
(cd "$work/run" && timeout 20 wine vexlar.exe --monitor 0 2>"$work/stderr" >/dev/null)
check "a malformed option ends the program with exit code 2" 2 $?
check "a malformed option is told" yes "$(grep -q -- "--monitor takes a monitor's number" "$work/stderr" && echo yes || echo no)"
(cd "$work/run" && timeout 20 wine vexlar.exe --help 2>"$work/stderr" >/dev/null)
check "--help ends the program with exit code 0" 0 $?
check "--help tells the options" yes "$(grep -q -- "--windowed \[WxH\]" "$work/stderr" && echo yes || echo no)"

# A music file of 2 s: looping, the picture moves on past its end.
prepare music.mp3
ffmpeg -loglevel error -f lavfi -i sine=frequency=440:duration=2 -ac 2 -ar 44100 -b:a 128k "$work/run/music.mp3"
if start_program --loop; then
  sleep 3
  check "--loop: the picture moves after the music's end" yes "$(picture_moves)"
  hold_escape; wait_for_exit
  check "--loop: Escape held ends the program with exit code 0" 0 "$exit_code"
else
  check "the program opens its window with --loop" yes no
fi

# The sink that a program's stream plays on, by its index ("" when none); the
# program by the name Wine gives the server (the demo's is its product name).
sink_of() {
  pactl list sink-inputs | awk -v name="\"$1\"" '/^[[:space:]]*Sink:/ { sink = $2 }
    $1 == "application.name" && $3 == name { print sink }'
}

# Through the test command's sound server: the only sink, on which the demo's
# music and the audio probe's play, is taken away and another one plugged in.
# The demo's stream comes back on the new sink and its picture moves on; the
# probe's position, which it prints beside the time, never goes back. The
# server is left with its sink as it was.
if [ -n "${VEXLAR_PULSE_SERVER:-}" ]; then
  export PULSE_SERVER=$VEXLAR_PULSE_SERVER
  prepare
  cp "$audio_probe" "$work/run/"
  demo=""
  if start_program; then
    demo=$program
  fi
  check "the demo plays on the sink to be replaced" yes "$([ -n "$(sink_of Vexlar)" ] && echo yes || echo no)"
  : >"$work/probe-output"
  # Its lines end in CR LF, as Windows' console writes them.
  (cd "$work/run" && exec timeout 60 wine "$(basename "$audio_probe")" -1 music.mp3 9 \
    >"$work/probe-output") &
  program=$!
  for _ in $(seq 1 100); do
    tr -d '\r' <"$work/probe-output" | awk '$2 > 0 { found = 1 } END { exit !found }' && break
    sleep 0.1
  done
  speakers=$(pactl list short modules | awk '/sink_name=speakers/ { print $1 }')
  pactl unload-module "$speakers"
  at_change=$(tr -d '\r' <"$work/probe-output" | awk 'END { print $2 + 0 }')
  sleep 0.5
  headphones=$(pactl load-module module-null-sink sink_name=headphones)
  timeout 4 parecord --device=headphones.monitor --raw --channels=2 \
    --format=s16le --rate=44100 "$work/headphones.raw"
  new_sink=$(pactl list short sinks | awk '$2 == "headphones" { print $1 }')
  for _ in $(seq 1 40); do
    [ "$(sink_of Vexlar)" = "$new_sink" ] && break
    sleep 0.1
  done
  check "after the sink in use is replaced, the demo's music plays on the new sink" "$new_sink" "$(sink_of Vexlar)"
  check "after the sink in use is replaced, the demo's picture moves on" yes "$(picture_moves)"
  wait_for_exit
  check "the audio probe plays on through a change of sink to the end of its 9 s" yes \
    "$(tr -d '\r' <"$work/probe-output" | awk 'END { print ($1 >= 8900 ? "yes" : "no") }')"
  # It returns from main with the music playing and never ends the library
  # itself: a crash on the way out (139) or a hang fails here.
  check "after the change of sink the audio probe ends with its own exit code" 42 "$exit_code"
  check "after the sink in use is replaced, the sound comes from the new sink" yes \
    "$([ "$(tr -d '\000' <"$work/headphones.raw" | wc -c)" -gt 44100 ] && echo yes || echo no)"
  check "the position never goes back while the sink is replaced, and moves on after it" yes \
    "$(tr -d '\r' <"$work/probe-output" |
      awk -v from="$at_change" '$2 < last { back = 1 } { last = $2 } END { print ((!back && last > from) ? "yes" : "no") }')"
  if [ -n "$demo" ]; then
    program=$demo
    hold_escape; wait_for_exit
    check "after the change of sink Escape ends the demo with exit code 0" 0 "$exit_code"
  fi
  pactl unload-module "$headphones"
  pactl load-module module-null-sink sink_name=speakers >/dev/null
else
  echo "SKIP the change of sink: no sound server of the test command (scripts/test.sh starts one)"
fi

# Tracks read at start from shaders/tracks.txt. Without music the frame stays
# at t = -1, before every key: a track's value there is its first key's.
start_with_tracks() {
  prepare music.mp3
  printf '%b' "$1" >"$work/run/shaders/tracks.txt"
  (cd "$work/run" && exec timeout 60 wine vexlar.exe 2>"$work/tracks-err") &
  program=$!
  wait_for_first_frames
}
if start_with_tracks 'track clear.g\n0 0.8\n'; then
  check "a tracks file at start keys the background" 204 "$(corner_green)"
  hold_escape; wait_for_exit
else
  check "the program opens its window with a tracks file" yes no
fi
if start_with_tracks 'track clear.g\n0 0.8 cubic\n'; then
  check "a refused tracks file at start: today's background, and the message on standard error" "11 yes" \
    "$(corner_green) $(grep -qF 'shaders\tracks.txt:2: HOW is step, linear, smooth or ramp, not "cubic"' \
      "$work/tracks-err" && echo yes || echo no)"
  hold_escape; wait_for_exit
else
  check "the program opens its window with a refused tracks file" yes no
fi

finish
