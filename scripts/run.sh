#!/usr/bin/env bash
# The run command: builds the program and starts it from its run folder.
#
# On a display (DISPLAY set and reachable) the program runs full screen until
# Escape or Alt+F4. With no display it runs on a virtual one for the number of
# seconds given as the first argument (default 10), saves a screenshot every
# second into build/screenshots, then ends the program with Escape.
# Arguments that start with "-" are the program's options instead
# (scripts/run.sh --author: the author's mode on the source tree's shaders).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
options=()
if [[ "${1:-}" == -* ]]; then
  options=("$@")
  set --
fi

cmake --build "$BUILD_DIR" --parallel "$(nproc)" --target run_folder
RUN_DIR="$BUILD_DIR/run"
has_sound_card || use_silent_sound_device

if [ -n "${DISPLAY:-}" ] && xdotool getdisplaygeometry >/dev/null 2>&1; then
  cd "$RUN_DIR"
  set +e
  wine vexlar.exe "${options[@]}"
  code=$?
  wineserver -w
  echo "The program ended with exit code $code."
  exit $code
fi

seconds=${1:-10}
shots="$BUILD_DIR/screenshots"
rm -rf "$shots" && mkdir -p "$shots"
start_virtual_display 1280x720

cd "$RUN_DIR"
wine vexlar.exe "${options[@]}" &
program=$!
for ((i = 1; i <= seconds; i++)); do
  sleep 1
  xwd -root -silent | /usr/bin/convert xwd:- "$shots/$(printf 'frame-%03d' "$i").png" || true
done
# Held across several frames so that a frame sees the key down.
xdotool keydown Escape; sleep 0.5; xdotool keyup Escape
set +e
wait "$program"
code=$?
echo "Screenshots are in $shots"
echo "The program ended with exit code $code."
exit $code
