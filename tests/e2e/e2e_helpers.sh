# Helpers of the end-to-end scripts: watching the virtual display, keys,
# waiting for the program and counting checks. Sourced, not run.

passed=0
failed=0

# The green of the pixel at the screen's top-left corner (background).
corner_green() { xwd -root -silent | /usr/bin/convert xwd:- -crop 1x1+2+2 -format '%[fx:round(255*g)]' info:; }

# Digest of the pixels only: the padding bytes of a raw dump vary between identical pictures.
screen_digest() { xwd -root -silent | /usr/bin/convert xwd:- rgb:- | md5sum | cut -d' ' -f1; }

# "yes" when the screen changes within half a second, else "no".
picture_moves() {
  local before after
  before=$(screen_digest)
  sleep 0.5
  after=$(screen_digest)
  [ "$before" != "$after" ] && echo yes || echo no
}

# Waits for the program started as $program to show its first frames: the
# window opens black and the background is cleared once set-up is over.
wait_for_first_frames() {
  for _ in $(seq 1 "${1:-150}"); do
    if xdotool search --name '^Vexlar-engine$' >/dev/null 2>&1 && [ "$(corner_green)" -gt 0 ]; then
      sleep 0.5
      return 0
    fi
    kill -0 "$program" 2>/dev/null || return 1
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

finish() {
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}
