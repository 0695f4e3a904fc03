#!/usr/bin/env bash
# End-to-end tests of the program on the test run's virtual display: it is
# started from a copy of its run folder, driven with real key presses and
# watched through screenshots. Usage: program_tests.sh <run folder>
set -uo pipefail

run_folder=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0
failed=0

# Copies the run folder, leaving out the given relative paths.
prepare() {
  rm -rf "$work/run"
  cp -r "$run_folder" "$work/run"
  for missing in "$@"; do rm -rf "${work:?}/run/$missing"; done
}

# The green of the pixel at the screen's top-left corner (background).
corner_green() { xwd -root -silent | /usr/bin/convert xwd:- -crop 1x1+2+2 -format '%[fx:round(255*g)]' info:; }

# Starts the program and waits for its first frames: the window opens black
# and the background is cleared once set-up is over.
start_program() {
  (cd "$work/run" && exec timeout 60 wine vexlar.exe) &
  program=$!
  for _ in $(seq 1 150); do
    if xdotool search --name '^Vexlar-engine$' >/dev/null 2>&1 && [ "$(corner_green)" -gt 0 ]; then
      sleep 0.5
      return 0
    fi
    sleep 0.2
  done
  return 1
}

# Waits for the program to end; sets exit_code to its code, or "timeout".
wait_for_exit() {
  for _ in $(seq 1 75); do
    if ! kill -0 "$program" 2>/dev/null; then
      wait "$program"
      exit_code=$?
      return
    fi
    sleep 0.2
  done
  kill "$program" 2>/dev/null
  exit_code=timeout
}

hold_escape() { xdotool keydown Escape; sleep 0.5; xdotool keyup Escape; }

# Digest of the pixels only: the padding bytes of a raw dump vary between identical pictures.
screen_digest() { xwd -root -silent | /usr/bin/convert xwd:- rgb:- | md5sum | cut -d' ' -f1; }


check() {
  local name=$1 expected=$2 actual=$3
  if [ "$expected" = "$actual" ]; then
    echo "PASS $name"
    passed=$((passed + 1))
  else
    echo "FAIL $name: expected $expected, got $actual"
    failed=$((failed + 1))
  fi
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

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
