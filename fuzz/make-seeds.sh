#!/usr/bin/env bash
# Makes the committed seed inputs of the fuzz targets in fuzz/corpus: heads
# of the real music and of WAV and MP3 files made with sox and lame (which
# it installs itself, as scripts/make-music.sh does), image descriptions as
# the decoder and the texture builder meet them, the capture program's and
# the demo's command lines, and the run folder's marker of the source tree's
# shaders.
# Run by developers only; fuzzing needs neither tool.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
OUT=$ROOT/fuzz/corpus
# shellcheck source=scripts/install-packages.sh
source "$ROOT/scripts/install-packages.sh"
install_missing_packages sox lame

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rm -rf "$OUT"
mkdir -p "$OUT/audio" "$OUT/image_layout" "$OUT/capture_options" "$OUT/viewer_options" "$OUT/source_marker" \
  "$OUT/tracks"

# `value` as `bytes` little-endian bytes.
little() {
  local value=$1 bytes=$2 i
  for ((i = 0; i < bytes; i++)); do
    # shellcheck disable=SC2059
    printf "\\x$(printf %02x $(((value >> (8 * i)) & 255)))"
  done
}

# An audio seed: the file's size (8 bytes), then its first 1024 bytes.
audio_seed() {
  local file=$1 name=$2
  { little "$(stat -c %s "$file")" 8; head -c 1024 "$file"; } >"$OUT/audio/$name"
}

audio_seed "$ROOT/audio/music.mp3" music-head
cd "$work"
sox -q -n -r 44100 -c 2 -b 16 tone-stereo.wav synth 0.05 sine 440
sox -q -n -r 22050 -c 1 -b 16 tone-mono.wav synth 0.05 sine 440
sox -q -n -r 8000 -c 6 -b 16 tone-six.wav synth 0.02 sine 440
sox -q -n -r 44100 -c 1 -b 8 tone-8bit.wav synth 0.02 sine 440
sox -q -n -r 44100 -c 1 -e floating-point -b 32 tone-float.wav synth 0.02 sine 440
for wav in tone-*.wav; do
  audio_seed "$wav" "${wav%.wav}-wav"
done
lame --quiet -b 128 tone-stereo.wav mpeg1-cbr.mp3
lame --quiet -b 32 -m m --resample 22.05 tone-mono.wav mpeg2-mono.mp3
lame --quiet -b 8 -m m --resample 8 tone-mono.wav mpeg25-mono.mp3
lame --quiet -V 4 -p tone-stereo.wav mpeg1-vbr-crc.mp3
lame --quiet -b 64 --tt "Vexlar" --ta "Vexlar" tone-stereo.wav mpeg1-id3.mp3
for mp3 in *.mp3; do
  audio_seed "$mp3" "${mp3%.mp3}"
done

# An image description: format (4 bytes), width, height, depth, layers, mips (8 each), pitch flags (4), dimension (1).
image_seed() {
  local name=$1
  shift
  { little "$1" 4; little "$2" 8; little "$3" 8; little "$4" 8; little "$5" 8; little "$6" 8; little "$7" 4
    little "$8" 1; } >"$OUT/image_layout/$name"
}
image_seed grass-rgba 28 256 256 1 1 1 0 3            # the decoded texture: one level, as the decoder allocates it
image_seed full-chain-srgb 29 640 480 1 1 0 0 3       # mip count 0: the whole chain
image_seed frames-as-layers 87 7 5 1 6 1 0 3          # every frame of an animation a layer (BGRA)
image_seed one-bit 66 9 3 1 1 1 0 3
image_seed bc1-partial-blocks 71 5 5 1 1 3 0 3
image_seed bc7-whole-blocks 98 9 9 1 1 2 4096 3
image_seed nv12 103 6 4 1 1 1 0 3
image_seed v408-odd 132 5 3 1 1 1 0 3
image_seed row-align-64 28 3 2 1 1 1 8 3
image_seed forced-24-bits 0 10 2 1 1 1 65536 3
image_seed volume 28 4 4 4 1 3 0 4
image_seed volume-long-chain 2 1 1 8 1 40 0 4
image_seed line-array 28 8 1 1 2 2 0 2
image_seed cube 28 16 16 1 6 5 0 3
image_seed long-chain 28 2 2 1 1 1099511627776 0 3
image_seed wide 61 4294967295 1 1 1 1 0 3

# A capture command line: the music's length in seconds (empty: no music), then one argument a line.
capture_seed() {
  local name=$1
  shift
  printf '%s' "$1" >"$OUT/capture_options/$name"
  shift
  printf '\n%s' "$@" >>"$OUT/capture_options/$name"
}
capture_seed whole-music 64.026 --out -
capture_seed every-option 64.026 --fps 29.97 --size 1280x720 --from 1.5 --to 3 --png shots
capture_seed no-music '' --to 10 --out frames.bgra
capture_seed last-frame 64.026 --from 64 --fps 1000 --out -
capture_seed help 64.026 --size 0x0 --help
capture_seed past-the-end 64.026 --to 65 --out -
capture_seed twice 64.026 --out a --out b
# A demo command line: one argument a line, in UTF-16LE as Windows hands it over.
viewer_seed() {
  local name=$1
  shift
  (IFS=$'\n' && printf '%s' "$*") | iconv -f UTF-8 -t UTF-16LE >"$OUT/viewer_options/$name"
}
viewer_seed monitor --monitor 2 --loop
viewer_seed monitor-primary --monitor=primary
viewer_seed windowed --windowed 800x450
viewer_seed windowed-default --windowed --loop
viewer_seed windowed-equals --windowed=16384X1
viewer_seed both --monitor 1 --windowed
viewer_seed help --bogus /?
viewer_seed non-ascii --monitor ２
# The run folder's marker of the source tree's shaders, as builds write it.
printf 'Z:\\work\\vexlar\\shaders\n' >"$OUT/source_marker/cross-build"
printf 'C:\\Users\\you\\vexlar\\shaders\r\n' >"$OUT/source_marker/windows"
printf '\\\\server\\share\\vexlar\\shaders' >"$OUT/source_marker/share"
# Tracks files: the shipped example, every statement and HOW, and the
# spellings an editor may save (a byte-order mark, CR LF, tabs, no last line end).
cp "$ROOT/shaders/tracks-example.txt" "$OUT/tracks/example"
printf 'track camera.x\n0 15 smooth\n8.5 -4.25 linear\n16 0\ntrack glow\n+1e1 2.5E-1 ramp\n20 .5 step\n' \
  >"$OUT/tracks/hows"
printf '\xEF\xBB\xBFtrack clear.g # green\r\n0\t0.5\r\n\r\n# end\r\ntrack time\r\n3 1e-3' >"$OUT/tracks/windows"
printf 'track a\n6 1\n4.5 2\n' >"$OUT/tracks/refused"
echo "Wrote $(find "$OUT" -type f | wc -l) seeds, $(du -sb "$OUT" | cut -f1) bytes, into $OUT"
