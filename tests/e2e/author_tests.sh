#!/usr/bin/env bash
# The author's mode end to end, as an author meets it: the release package
# unzipped, `vexlar.exe --author` started from another folder, in a window on
# the test run's virtual display, watching the package's own shader sources:
# keys move the music's time (the title tells it, the picture follows it); a
# pixel shader saved shows at once; a broken one leaves the picture as it was
# and tells why, in the title and on standard error, while the program runs
# on; mended, the picture follows it. Before that, a FOLDER that does not
# exist, typed relative to where the program was started: it is told, and the
# demo runs.
# Usage: author_tests.sh <build folder> <test tools folder>
set -uo pipefail

build_dir=$1
tools=$2
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "${BASH_SOURCE[0]}")/e2e_helpers.sh"

zip=$("$root/scripts/zip-package.sh" "$build_dir" "$work/package") || exit 1
unzip -q "$zip" -d "$work/unzipped"
folder=$(echo "$work"/unzipped/vexlar-*)
shaders="$folder/shaders"
cp "$tools/offscreen_frame.exe" "$tools/display_layout.exe" "$folder/"
cd "$folder" || exit 1
size=640x360
wine offscreen_frame.exe 3 "$size" >/dev/null 2>&1
/usr/bin/convert -size "$size" -depth 8 "bgra:reference-$size.bgra" -alpha off "$work/at-3s.png"
cd "$work" || exit 1

title() { xdotool search --name '^Vexlar-engine' getwindowname 2>/dev/null | head -n 1; }

# Waits (up to ten seconds) for the title to hold the text; prints the title.
wait_for_title() {
  local now=""
  for _ in $(seq 1 50); do
    now=$(title)
    [[ "$now" == *"$1"* ]] && break
    sleep 0.2
  done
  echo "$now"
}

# "yes" once the whole title matches the regular expression, "no" after ten
# seconds (and the title last read, on standard error).
title_becomes() {
  local now=""
  for _ in $(seq 1 50); do
    now=$(title)
    [[ "$now" =~ ^$1$ ]] && echo yes && return
    sleep 0.2
  done
  echo "the title: $now" >&2
  echo no
}

# "yes" once the screen changes from one look to the next, half a second
# apart, with the program still there; "no" after ten seconds.
runs_on() {
  for _ in $(seq 1 20); do
    [ "$(picture_moves)" = yes ] && kill -0 "$program" 2>/dev/null && echo yes && return
  done
  echo no
}

# The picture (the window's client area) as $work/shot.png.
shoot() { xwd -root -silent | /usr/bin/convert xwd:- -crop "$area" +repage "$work/shot.png"; }

# The pixels of the picture that differ from the image, once they are none or after ten seconds.
pixels_unlike() {
  local count end=$((SECONDS + 10))
  while [ $SECONDS -lt $end ]; do
    shoot
    count=$(compare -metric AE "$work/shot.png" "$1" null: 2>&1)
    [ "$count" = 0 ] && break
    sleep 0.2
  done
  echo "$count"
}

# The most pixels of the picture unlike the image over a second of looks:
# 0 only if the picture stays that image.
pixels_unlike_for_a_second() {
  local count most=0 end=$((SECONDS + 2))
  while [ $SECONDS -lt $end ]; do
    shoot
    count=$(compare -metric AE "$work/shot.png" "$1" null: 2>&1)
    [ "$count" = 0 ] || most=$count
    sleep 0.2
  done
  echo "$most"
}

# The pixels of the picture of exactly that colour (#RRGGBB).
pixels_of() {
  shoot
  /usr/bin/convert "$work/shot.png" -fill black +opaque "$1" -fill white -opaque "$1" \
    -format '%[fx:round(mean*w*h)]' info:
}

# "yes" once the picture has more than a hundred pixels of the colour, "no"
# after ten seconds. Only a colour the picture never had before the change is
# evidence of it.
shows_colour() {
  local end=$((SECONDS + 10))
  while [ $SECONDS -lt $end ]; do
    [ "$(pixels_of "$1")" -gt 100 ] && echo yes && return
    sleep 0.2
  done
  echo no
}

# The picture as the image $1, once two looks in a row agree (a look may
# meet a frame on its way to the screen).
keep_settled_picture() {
  local end=$((SECONDS + 10))
  shoot
  while [ $SECONDS -lt $end ]; do
    cp "$work/shot.png" "$1"
    sleep 0.2
    shoot
    [ "$(compare -metric AE "$work/shot.png" "$1" null: 2>&1)" = 0 ] && return
  done
}

(exec timeout 60 wine "$folder/vexlar.exe" --author nowhere --windowed 320x180 2>"$work/nowhere") &
program=$!
told="the shader folder Z:${work//\//\\}\\nowhere does not exist"
check "a FOLDER that does not exist, taken from where the program started, is told in the title" yes \
  "$([[ "$(wait_for_title 'nowhere')" == "Vexlar-engine | author | "*" s | $told" ]] && echo yes || echo no)"
check "and on standard error" yes "$(grep -qxF "vexlar: $told" "$work/nowhere" && echo yes || echo no)"
check "and the demo runs on" yes "$(runs_on)"
# Its window's top-left corner, "X,Y", from the line "Position: X,Y (screen: 0)".
position=$(xdotool search --name '^Vexlar-engine' getwindowgeometry 2>/dev/null | sed -n 's/.*Position: \([0-9,]*\).*/\1/p')
IFS=, read -r x y <<<"$position"
xdotool mousemove $((x + 20)) $((y + 20)) key Escape
wait_for_exit

# Without FOLDER, the shaders beside the program: the package's sources.
(exec timeout 120 wine "$folder/vexlar.exe" --author --windowed "$size" 2>"$work/stderr") &
program=$!
check "--author opens its window with the music's time, and no complaint, in the title" yes \
  "$([[ "$(wait_for_title ' s')" =~ ^"Vexlar-engine | author | "[0-9]+\.[0-9]{3}" s"$ ]] && echo yes || echo no)"
for _ in $(seq 1 50); do
  client=$(wine "$folder/display_layout.exe" client | tr -d '\r') && break
  sleep 0.2
done
area=$(echo "${client:-}" | awk '{ print $4 "x" $5 "+" $2 "+" $3 }')
check "--author opens as --windowed does" "$size" "${area%%+*}"
IFS=+ read -r _ x y <<<"$area"
# Keys go to the window under the pointer (there is no window manager).
xdotool mousemove $((x + 20)) $((y + 20))

# Paused first, so that the time stands while the keys come.
xdotool key space
xdotool key Home
xdotool key Right Right Right
check "Space, Home and Right three times: paused at 3.000 s" yes \
  "$([[ "$(wait_for_title '3.000 s | paused')" == *"| 3.000 s | paused"* ]] && echo yes || echo no)"
check "the picture is the frame of t = 3 s" 0 "$(pixels_unlike "$work/at-3s.png")"

# Orange (#FF8000, its green 128/255 exactly): the pyramids' faces are of
# full channels only, the background's red is 0.1 and the grass's at most
# 127/255, so no picture of the scene has it.
cp "$shaders/pyramid_pixel.hlsl" "$work/pyramid_pixel.hlsl"
cat >"$shaders/pyramid_pixel.hlsl" <<'HLSL'
float4 main(float4 position : SV_Position) : SV_Target
{
    return float4(1.0f, 128.0f / 255.0f, 0.0f, 1.0f);
}
HLSL
check "a pixel shader saved with a constant colour shows that colour" yes "$(shows_colour '#FF8000')"
keep_settled_picture "$work/orange.png"

# An editor's side files are no shaders: they change nothing.
echo "half a line" >"$shaders/.pyramid_pixel.hlsl.swp"
echo "float4" >"$shaders/pyramid_pixel.hlsl~"
cat >"$shaders/pyramid_pixel.hlsl" <<'HLSL'
float4 main(float4 position : SV_Position) : SV_Target
{
    return undefinedColour;
}
HLSL
# The compiler's first message names the file and the line (Wine's as file:line:column).
# The shell writes in two steps (the file emptied, then its text), as many
# editors do, and a look between them may compile the empty file first; the
# finished save is compiled next, so its message is the one waited for.
now=$(wait_for_title 'undefinedColour')
echo "the title: $now"
check "a broken shader's first message is in the title" yes \
  "$([[ "$now" == *"| pyramid_pixel.hlsl"[:\(]3[:,]*"undefinedColour"* ]] && echo yes || echo no)"
check "and on standard error" yes "$(grep -q 'pyramid_pixel.hlsl.3.*undefinedColour' "$work/stderr" && echo yes || echo no)"
check "a broken shader leaves the picture as it was" 0 "$(pixels_unlike_for_a_second "$work/orange.png")"
check "the program runs on after a broken shader" yes "$(kill -0 "$program" 2>/dev/null && echo yes || echo no)"

cp "$work/pyramid_pixel.hlsl" "$shaders/pyramid_pixel.hlsl"
check "mended, the picture follows the shader again" 0 "$(pixels_unlike "$work/at-3s.png")"
check "mended, the message leaves the title" yes "$(title_becomes 'Vexlar-engine \| author \| 3\.000 s \| paused')"

# Shift takes the far step; sent past the end, the music stands at its last
# sample frame, still paused.
xdotool key shift+Right
check "Shift+Right: 10 s on" yes \
  "$([[ "$(wait_for_title '13.000 s | paused')" == *"| 13.000 s | paused"* ]] && echo yes || echo no)"
# Three at a time: the window's key queue keeps the newest 16 events (four a
# Shift+Right), and a frame slowed by a loaded machine may read it only once.
xdotool key shift+Right shift+Right shift+Right
wait_for_title '43.000 s | paused' >/dev/null
xdotool key shift+Right shift+Right shift+Right
check "Shift+Right past the end: the music's last millisecond" yes \
  "$([[ "$(wait_for_title '63.999 s | paused')" == *"| 63.999 s | paused"* ]] && echo yes || echo no)"

# Played on, it ends; sent back from its end, it plays again from there. It
# shows 63.x s for one second only, which a loaded machine's looks at the
# title may miss: "[" marks where Left put it, and the title keeps the mark
# once the music has played on to its end again.
xdotool key space
check "Space again: the music plays on to its end" yes \
  "$([[ "$(wait_for_title '64.000 s')" == *"| 64.000 s" ]] && echo yes || echo no)"
xdotool key Left bracketleft
check "Left from the end: the music plays on from 63 s" yes \
  "$([[ "$(wait_for_title '64.000 s | passage from 63.')" == *"| 64.000 s | passage from 63."[0-9][0-9][0-9]" s" ]] && echo yes || echo no)"
# Tapped, not held: the author's mode takes its keys from the queue the
# engine reads a tap of Escape from, and leaves Escape's there.
xdotool key Escape
wait_for_exit
check "Escape tapped ends the author's mode with exit code 0" 0 "$exit_code"


# Tracks and the clipboard, in a run of their own from the package's folder:
# a tracks.txt saved there moves the camera; a broken one keeps the last good
# tracks, its message in the title; C puts the time shown on the clipboard.
(exec timeout 120 wine "$folder/vexlar.exe" --author --windowed "$size" 2>"$work/tracks-stderr") &
program=$!
wait_for_title ' s' >/dev/null
for _ in $(seq 1 50); do
  client=$(wine "$folder/display_layout.exe" client | tr -d '\r') && break
  sleep 0.2
done
area=$(echo "${client:-}" | awk '{ print $4 "x" $5 "+" $2 "+" $3 }')
IFS=+ read -r _ x y <<<"$area"
xdotool mousemove $((x + 20)) $((y + 20))
xdotool key space Home Right Right Right
wait_for_title '3.000 s | paused' >/dev/null
check "paused at 3 s, the picture is the frame of t = 3 s before any tracks" 0 "$(pixels_unlike "$work/at-3s.png")"
printf 'track camera.x\n0 0.5\ntrack camera.z\n0 -15\n' >"$shaders/tracks.txt"
check "a saved tracks.txt is in force: the title tells its tracks" yes \
  "$([[ "$(wait_for_title '| 2 tracks')" == *"| 3.000 s | paused | 2 tracks" ]] && echo yes || echo no)"
# Another picture than t = 3 s's, once it is drawn (the picture differs by most of its pixels).
for _ in $(seq 1 50); do
  moved=$(compare -metric AE "$work/shot.png" "$work/at-3s.png" null: 2>&1)
  [ "${moved:-0}" -gt 1000 ] && break
  sleep 0.2
  shoot
done
check "and the camera moves: the picture is no longer the frame of t = 3 s" yes \
  "$([ "${moved:-0}" -gt 1000 ] && echo yes || echo no)"
cp "$work/shot.png" "$work/tracked.png"

printf 'track camera.x\n6 1\n4.5 2\n' >"$shaders/tracks.txt"
told="tracks.txt:3: the keys' times must increase: 4.5 after 6"
now=$(wait_for_title 'must increase')
echo "the title: $now"
check "a broken tracks.txt is told in the title, the last good tracks kept" yes \
  "$([[ "$now" == *"| 2 tracks | "*"$told" ]] && echo yes || echo no)"
check "and on standard error" yes "$(grep -qF "$told" "$work/tracks-stderr" && echo yes || echo no)"
check "and the picture stays as the last good tracks drew it" 0 "$(pixels_unlike "$work/tracked.png")"

printf 'before' | xclip -selection clipboard
xdotool key c
copied=""
for _ in $(seq 1 50); do
  copied=$(timeout 5 xclip -o -selection clipboard 2>/dev/null)
  [ "$copied" = 3.000 ] && break
  sleep 0.2
done
check "C puts the time shown on the clipboard" 3.000 "$copied"
xdotool key Escape
wait_for_exit
check "Escape ends it with exit code 0" 0 "$exit_code"

finish
