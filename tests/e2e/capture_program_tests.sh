#!/usr/bin/env bash
# End-to-end tests of the capture program and the capture command: exit codes
# and messages for bad input, exact outputs, names outside the ANSI code page,
# a reader that goes away, Ctrl+C, and an MP4 checked with ffprobe.
# Usage: capture_program_tests.sh <run folder> <capture.sh>
set -uo pipefail
# Wine takes its ANSI code page from the Unix locale: under this one it is
# 1252, while Unix file names are UTF-8, so the Chinese and emoji names below
# lie outside the code page and can still be stored.
export LC_ALL=C.UTF-8

run_folder=$1
capture_script=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "${BASH_SOURCE[0]}")/e2e_helpers.sh"

# Runs the capture program in a copy of the run folder; sets code and err.
cp -r "$run_folder" "$work/run"
capture() {
  (cd "$work/run" && timeout 120 wine vexlar-capture.exe "$@" 2>"$work/err" </dev/null)
  code=$?
  err=$(cat "$work/err")
}
mentions() { grep -qF -- "$1" <<<"$err" && echo yes || echo no; }
size_of() { stat -c %s "$1" 2>/dev/null || echo missing; }
# The frames drawn before the capture stopped, as its message says.
drawn() { grep -o 'after drawing [0-9]*' <<<"$err" | grep -o '[0-9]*$' || echo none; }

# Runs a capture of the whole demo in the background and sends it Ctrl+C
# (Wine turns SIGINT into the console's event) once the file $1 has bytes;
# the rest are the arguments. Sets code and err.
interrupt_capture() {
  (cd "$work/run" && exec wine vexlar-capture.exe "${@:2}" 2>"$work/err" </dev/null >/dev/null) &
  local pid=$!
  for _ in $(seq 1 600); do [ -s "$1" ] || ! kill -0 "$pid" 2>/dev/null && break; sleep 0.1; done
  kill -INT "$pid" 2>/dev/null
  for _ in $(seq 1 600); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -KILL "$pid" 2>/dev/null
  wait "$pid"
  code=$?
  err=$(cat "$work/err")
}

capture --help >"$work/help"
check "--help exits with 0" 0 "$code"
check "--help names the options" yes "$(grep -q -- '--png FOLDER' "$work/help" && echo yes || echo no)"
interrupted_code=$(awk '/Ctrl\+C/ { print $1 }' "$work/help")

for bad in "--speed 2 --out -" "--out - --fps" "--out - --fps 0" "--out - --size 0x720" \
  "--out - --size 20000x20" "--out - --from -1" "--out - --from 5 --to 2" "--out - --to 99" "--size 64x36"; do
  # shellcheck disable=SC2086
  capture $bad >/dev/null
  check "bad arguments '$bad' exit with 2 and a message" "2 yes" "$code $(mentions vexlar-capture:)"
done

capture --size 64x36 --from 1 --to 1.1 --fps 30 --out a.bgra
check "raw file: exit code" 0 "$code"
check "raw file: three whole frames of 64x36" $((3 * 64 * 36 * 4)) "$(size_of "$work/run/a.bgra")"
capture --size 64x36 --from 1 --to 1.1 --fps 30 --out 片段🎬.bgra
check "two captures of one range are byte-identical, the second under a Unicode name" yes \
  "$(cmp -s "$work/run/a.bgra" "$work/run/片段🎬.bgra" && echo yes || echo no)"
check "the progress ends with the count and the name" "yes yes" \
  "$(mentions 'Captured 3 frames') $(mentions 'Frames are in 片段🎬.bgra')"

capture --size 64x36 --to 0.05 --out 无此文件夹/a.bgra
check "an unwritable output exits with 1 and a message naming it" "1 yes" "$code $(mentions 'cannot open 无此文件夹')"

capture --size 64x36 --to 0.05 --png 帧🎞
check "PNG: three numbered files in a folder of a Unicode name" "0 3" \
  "$code $(find "$work/run/帧🎞" -name 'frame_*.png' | wc -l)"
check "PNG: the last is frame_000002.png" yes "$([ -s "$work/run/帧🎞/frame_000002.png" ] && echo yes || echo no)"
check "PNG: the picture is 64x36" "64x36" "$(identify -format '%wx%h' "$work/run/帧🎞/frame_000000.png" 2>/dev/null)"
capture --size 64x36 --to 0.05 --png 帧🎞
check "PNG: a folder that holds frames is refused with 1" "1 yes" "$code $(mentions '帧🎞 already holds frames')"

# Ctrl+C stops between frames with the code the help states: a raw file is
# deleted, and every PNG file written is whole (the one being written is
# finished).
interrupt_capture "$work/run/stopped.bgra" --size 320x180 --out stopped.bgra
check "Ctrl+C: exit code $interrupted_code, the raw file deleted" "$interrupted_code yes no" \
  "$code $(mentions 'interrupted') $([ -e "$work/run/stopped.bgra" ] && echo yes || echo no)"
interrupt_capture "$work/run/stopped/frame_000000.png" --size 640x360 --png stopped
pngs=$(find "$work/run/stopped" -name 'frame_*.png' | wc -l)
whole=$(identify -regard-warnings "$work/run/stopped"/*.png >/dev/null 2>&1 && echo yes || echo no)
check "Ctrl+C: PNG frames stop early, each file whole" "$interrupted_code yes yes" \
  "$code $([ "$pngs" -ge 1 ] && [ "$pngs" -lt 3840 ] && echo yes || echo no) $whole"

# A reader that goes away after the first bytes of the whole demo. The first
# or second frame is refused, and no more are drawn than it and those in
# flight (3) and queued (2) behind it.
(cd "$work/run" && timeout 120 wine vexlar-capture.exe --size 1280x720 --out - 2>"$work/err" | head -c 1000 >/dev/null)
code=${PIPESTATUS[0]}
err=$(cat "$work/err")
check "a reader that closes the pipe ends the capture with 1" "1 yes" "$code $(mentions 'went away')"
check "... after drawing at most 6 of 3840 frames" yes "$([ "$(drawn)" != none ] && [ "$(drawn)" -le 6 ] && echo yes || echo no)"

rm "$work/run/music.mp3"
capture --size 64x36 --out - >/dev/null
check "without music --to is required (exit 2)" "2 yes" "$code $(mentions 'give --to')"
capture --size 64x36 --to 0.1 --out c.bgra
check "without music a range with --to is captured" "0 $((6 * 64 * 36 * 4))" "$code $(size_of "$work/run/c.bgra")"

# The command end to end: a one-second clip at 30 frames a second.
"$capture_script" "$work/clip.mp4" --size 160x90 --fps 30 --from 2 --to 3 >"$work/out" 2>&1
code=$?
check "capture.sh: exit code" 0 "$code"
check "capture.sh: prints where the video is" yes "$(grep -qF "$work/clip.mp4" "$work/out" && echo yes || echo no)"
probe() { ffprobe -v error -select_streams "$1" -show_entries "$2" -of default=noprint_wrappers=1:nokey=1 "${@:3}" "$work/clip.mp4" 2>/dev/null | head -1; }
check "capture.sh: H.264 video" h264 "$(probe v:0 stream=codec_name)"
check "capture.sh: yuv420p" yuv420p "$(probe v:0 stream=pix_fmt)"
check "capture.sh: 160x90" "160" "$(probe v:0 stream=width)"
check "capture.sh: exactly 30 frames" 30 "$(probe v:0 stream=nb_read_frames -count_frames)"
check "capture.sh: AAC audio" aac "$(probe a:0 stream=codec_name)"
duration=$(ffprobe -v error -show_entries format=duration -of default=noprint_wrappers=1:nokey=1 "$work/clip.mp4")
check "capture.sh: about one second long" yes "$(awk -v d="$duration" 'BEGIN { print (d > 0.95 && d < 1.1) ? "yes" : "no" }')"

start=$SECONDS
"$capture_script" /proc/no-such-folder/clip.mp4 --size 160x90 --to 1 >"$work/out" 2>&1
code=$?
check "capture.sh: an unwritable video fails with a message" "1 yes" \
  "$code $(grep -q 'cannot write' "$work/out" && echo yes || echo no)"
"$capture_script" "$work/bad.mp4" --size 160x90 --fps 0 >"$work/out" 2>&1
code=$?
check "capture.sh: bad options exit with 2 and leave no video" "2 no" "$code $([ -e "$work/bad.mp4" ] && echo yes || echo no)"
check "... promptly" yes "$([ $((SECONDS - start)) -lt 90 ] && echo yes || echo no)"

# A capture draws the run folder's tracks; a refused file is told and the
# capture is the one without tracks.
printf 'track clear.r\n0 1\ntrack clear.g\n0 0\ntrack clear.b\n0 1\n' >"$work/run/shaders/tracks.txt"
capture --size 64x36 --from 1 --to 1.1 --fps 30 --out keyed.bgra
check "tracks: the capture's background is the keyed one" "0 ff00ffff" "$code $(head -c 4 "$work/run/keyed.bgra" | xxd -p)"
printf 'track clear.r\n0 1\n-1 0\n' >"$work/run/shaders/tracks.txt"
capture --size 64x36 --from 1 --to 1.1 --fps 30 --out refused.bgra
check "tracks: a refused file gives the capture without tracks and the message" "0 yes yes" \
  "$code $(cmp -s "$work/run/a.bgra" "$work/run/refused.bgra" && echo yes || echo no) \
$(mentions "vexlar-capture: shaders\tracks.txt:3: a key's time is not negative: -1")"
rm "$work/run/shaders/tracks.txt"

finish
