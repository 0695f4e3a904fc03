#!/usr/bin/env bash
# End-to-end tests of the demo over several monitors, on an Xorg server of the
# test's own whose dummy outputs Wine sees as monitors: left of or above the
# primary from the start, taken away, plugged in and set to another resolution
# while the program runs. Each time a screenshot of the whole X screen, whose
# corner is the virtual screen's, must be exactly the offscreen frame of the
# same music time and size. Without its music the program's time stands still
# at -1 s. Then the viewer's options: --monitor 2 covers that monitor only and
# follows the primary when it goes away; --windowed 800x450 has that picture.
# Needs root for Xorg; skipped (77) otherwise.
# Usage: monitor_tests.sh <run folder> <folder of the test tools> <build folder>
set -uo pipefail

run_folder=$(cd "$1" && pwd)
tools=$(cd "$2" && pwd)
BUILD_DIR=$(cd "$3" && pwd)
[ "$(id -u)" -eq 0 ] || { echo "Xorg needs root: skipped"; exit 77; }
here=$(dirname "${BASH_SOURCE[0]}")
source "$here/e2e_helpers.sh"
# A prefix of its own: a Wine session belongs to the display it started on.
VEXLAR_WINE_PREFIX=wineprefix-monitors source "$here/../../scripts/wine-env.sh"
work=$(mktemp -d)
cleanup() {
  wineserver -k >/dev/null 2>&1
  wineserver -w >/dev/null 2>&1
  stop_dummy_xorg
  rm -rf "$work"
}
trap cleanup EXIT

create_wine_prefix
start_dummy_xorg "$BUILD_DIR/xorg-monitors" || exit 1
wineserver -p
wine cmd.exe /c exit >/dev/null 2>&1 </dev/null

cp -r "$run_folder" "$work/run"
rm "$work/run/music.mp3"
cp "$tools/display_layout.exe" "$tools/offscreen_frame.exe" "$work/run/"
cd "$work/run" || exit 1
sizes="2560x720 1280x1440 1280x720 1024x768 800x450"
# A process a size: Wine once hung for good between one device's end and the
# next one's making in the same process (its command thread ending inside
# the C library's allocator while the next device waited for OpenGL's lock).
for size in $sizes; do
  if ! timeout 120 wine offscreen_frame.exe -1 "$size"; then
    echo "FAIL the offscreen frame of $size was not drawn"
    exit 1
  fi
done
for size in $sizes; do
  /usr/bin/convert -size "$size" -depth 8 "bgra:reference-$size.bgra" -alpha off "reference-$size.png"
done

# The pixels of the screen, or of its part WxH+X+Y, that differ from the
# reference of that size, once they are none or after SECONDS (20): a minute
# for a program's first picture, which a busy machine's Wine may take that long
# to start and draw.
wrong_pixels() {
  local size count end=$((SECONDS + ${2:-20}))
  while [ $SECONDS -lt $end ]; do
    xwd -root -silent | /usr/bin/convert xwd:- ${1:+-crop "$1" +repage} "$work/shot.png"
    size=$(identify -format '%wx%h' "$work/shot.png")
    count="all of $size (no reference)"
    [ -f "reference-$size.png" ] && count=$(compare -metric AE "$work/shot.png" "reference-$size.png" null: 2>&1)
    [ "$count" = 0 ] && break
    sleep 0.2
  done
  echo "$count"
}

# The most pixels unlike the reference over two seconds of looks, once the
# picture has first been right: 0 only if it stays right. After a change that
# leaves the picture as it was, the first look may come before the program
# has seen the change at all.
stays_right() {
  local count most
  most=$(wrong_pixels "${1:-}")
  [ "$most" = 0 ] || { echo "$most"; return; }
  local end=$((SECONDS + 3))
  while [ $SECONDS -lt $end ]; do
    xwd -root -silent | /usr/bin/convert xwd:- ${1:+-crop "$1" +repage} "$work/shot.png"
    count=$(compare -metric AE "$work/shot.png" "reference-$(identify -format '%wx%h' "$work/shot.png").png" null: 2>&1)
    [ "$count" = 0 ] || most=$count
    sleep 0.2
  done
  echo "$most"
}

# The virtual screen as Windows should report it: the X screen, whose corner
# lies left of and above the primary monitor by the primary's offset.
expected_screen() {
  xrandr | awk '/ current / { w = $8; h = $10; sub(",", "", h) }
    / connected primary / { split($4, g, /[x+]/); x = 0 - g[3]; y = 0 - g[4] }
    END { print "screen", x, y, w, h }'
}

# Waits (up to ten seconds) for Windows to report the monitors as X has them.
wait_for_windows_layout() {
  local expected
  expected=$(expected_screen)
  for _ in $(seq 1 50); do
    [ "$(wine display_layout.exe | tr -d '\r')" = "$expected" ] && return
    sleep 0.2
  done
}

# Starts the program once Windows reports the monitors as X has them, stored
# as the user's layout.
start_program() {
  wait_for_windows_layout
  wine display_layout.exe store >/dev/null
  (exec timeout 240 wine vexlar.exe "$@") &
  program=$!
}

# Ends the program with the pointer at X Y (10 10), over its window.
end_program() {
  xdotool mousemove "${2:-10}" "${3:-10}"
  hold_escape
  wait_for_exit
  check "$1: Escape held ends the program with exit code 0" 0 "$exit_code"
}

arrange_monitors --output DUMMY1 --mode 1280x720 --left-of DUMMY0
start_program
check "a monitor left of the primary: the picture fills both" 0 "$(wrong_pixels "" 60)"
check "maximised, the window is maximised" zoomed "$(wine display_layout.exe maximise | tr -d '\r')"
check "maximised, the window still covers both monitors" 0 "$(stays_right)"
arrange_monitors --output DUMMY1 --off
check "the left monitor taken away while it runs" 0 "$(wrong_pixels)"
arrange_monitors --output DUMMY0 --mode 1024x768
check "the resolution changed while it runs" 0 "$(wrong_pixels)"
end_program "left"
arrange_monitors --output DUMMY0 --mode 1280x720

arrange_monitors --output DUMMY1 --mode 1280x720 --above DUMMY0
start_program
check "a monitor above the primary: the picture fills both" 0 "$(wrong_pixels "" 60)"
arrange_monitors --output DUMMY1 --off
sleep 1
arrange_monitors --output DUMMY1 --mode 1280x720 --right-of DUMMY0
check "a monitor plugged in right of the primary while it runs" 0 "$(wrong_pixels)"
# A dock: several changes in a row, ending with the monitor left of the primary.
arrange_monitors --output DUMMY1 --off
arrange_monitors --output DUMMY1 --mode 1280x720 --above DUMMY0
arrange_monitors --output DUMMY1 --left-of DUMMY0
# The last layout's X screen is the one before the dock's: the picture is
# judged once Windows has the layout, for as long as the program may take.
wait_for_windows_layout
check "several changes in a row end in the picture of the last layout" 0 "$(stays_right)"
end_program "above"

# Where the picture is as WxH+X+Y, once the window shows.
picture_area() {
  local client
  for _ in $(seq 1 50); do
    client=$(wine display_layout.exe client | tr -d '\r') && break
    sleep 0.2
  done
  echo "$client" | awk '{ print $4 "x" $5 "+" $2 "+" $3 }'
}

arrange_monitors --output DUMMY1 --mode 1280x720 --right-of DUMMY0
start_program --monitor 2
check "--monitor 2 covers the second monitor only" "1280x720+1280+0" "$(picture_area)"
check "--monitor 2: the picture on it" 0 "$(wrong_pixels 1280x720+1280+0 60)"
arrange_monitors --output DUMMY1 --off
check "--monitor 2 taken away: the picture on the primary" 0 "$(wrong_pixels)"
end_program "--monitor 2"

start_program --windowed 800x450
area=$(picture_area)
check "--windowed 800x450: the client area's size" 800x450 "${area%%+*}"
check "--windowed 800x450: the picture in it" 0 "$(wrong_pixels "$area" 60)"
IFS=+ read -r _ x y <<<"$area"
end_program "--windowed" $((x + 10)) $((y + 10))

finish
