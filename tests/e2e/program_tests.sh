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
  (cd "$work/run" && exec timeout 60 wine vexlar.exe) &
  program=$!
  wait_for_first_frames
}

prepare
if start_program; then
  before=$(screen_digest); sleep 0.5; after=$(screen_digest)
  check "the picture moves with the music" yes "$([ "$before" != "$after" ] && echo yes || echo no)"
  hold_escape; wait_for_exit
  check "Escape held ends the program with exit code 0" 0 "$exit_code"
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
  before=$(screen_digest); sleep 0.5; after=$(screen_digest)
  check "without music the picture stays frozen" yes "$([ "$before" = "$after" ] && echo yes || echo no)"
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

finish
