#!/usr/bin/env bash
# End-to-end tests of the program on the test run's virtual display: it is
# started from a copy of its run folder, driven with real key presses and
# watched through screenshots. Usage: program_tests.sh <run folder>
set -uo pipefail

run_folder=$1
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

prepare shaders textures
if start_program; then
  green=$(corner_green)
  check "without shaders or texture the program still clears the screen" yes \
    "$([ "$green" -ge 0 ] && [ "$green" -le 141 ] && echo yes || echo no)"
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

finish
