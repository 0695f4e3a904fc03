#!/usr/bin/env bash
# Makes audio/music.mp3: a calm 64-second piece (44.1 kHz stereo, 128 kbit/s)
# of four slow chords, a plucked arpeggio, a bass on every beat and a soft
# kick, synthesised with sox and encoded with lame. Run by developers only;
# the result is committed, so building and running need neither tool.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
OUT=${1:-$ROOT/audio/music.mp3}

missing=()
command -v sox >/dev/null || missing+=(sox)
command -v lame >/dev/null || missing+=(lame)
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

RATE=44100
BAR=4      # seconds per chord: one bar of four beats at 60 beats a minute
REPEATS=4  # the progression is played four times: 64 seconds

# Pitches in semitones from A4 (440 Hz), sox's %n notation.
# Chords: A minor, F major, C major, G major.
names=(am f c g)
pads=("-12 -9 -5 0" "-16 -12 -9 -4" "-9 -5 -2 3" "-14 -10 -7 -2")
roots=(-24 -28 -21 -26)
arps=("-12 -9 -5 0 3 0 -5 -9" "-16 -12 -9 -4 0 -4 -9 -12" "-9 -5 -2 3 7 3 -2 -5" "-14 -10 -7 -2 2 -2 -7 -10")

synth() { sox -q -n -r $RATE -c 1 "$@"; }

# A soft kick on each beat: a short falling sine.
synth kick.wav synth 0.35 sine 95:38 fade q 0.004 0.35 0.3 gain -9 pad 0 0.65

for i in "${!names[@]}"; do
  name=${names[$i]}

  # Pad: each chord note as a slowly swelling, lightly trembling triangle.
  notes=()
  for n in ${pads[$i]}; do
    synth "pad_${name}_$n.wav" synth $BAR triangle "%$n" lowpass 1400 tremolo 3 15 fade t 0.9 $BAR 1.2
    notes+=("pad_${name}_$n.wav")
  done
  sox -q -m "${notes[@]}" "pad_$name.wav" gain -12

  # Bass: the chord's root, plucked on every beat.
  synth "bass_$name.wav" synth 1 sine "%${roots[$i]}" fade q 0.01 1 0.8 gain -8
  sox -q "bass_$name.wav" "bass_$name.wav" "bass_$name.wav" "bass_$name.wav" "bass4_$name.wav"

  # Arpeggio in eighth notes.
  steps=()
  for n in ${arps[$i]}; do
    [ -f "arp_$n.wav" ] || synth "arp_$n.wav" synth 0.5 pluck "%$n" lowpass 3500 fade q 0.005 0.5 0.45 gain -12
    steps+=("arp_$n.wav")
  done
  sox -q "${steps[@]}" "arp_$name.wav"

  sox -q kick.wav kick.wav kick.wav kick.wav "kick4_$name.wav"
done

# Stereo: pad widened by a slightly detuned copy on the right, arpeggio to the right, bass and kick in the middle.
for name in "${names[@]}"; do
  sox -q "pad_$name.wav" "padR_$name.wav" pitch -4
  sox -q -M "pad_$name.wav" "padR_$name.wav" "padS_$name.wav"
  sox -q "arp_$name.wav" -c 2 "arpS_$name.wav" remix 1v0.45 1v0.8
  sox -q "bass4_$name.wav" -c 2 "bassS_$name.wav"
  sox -q "kick4_$name.wav" -c 2 "kickS_$name.wav"
  sox -q -m "padS_$name.wav" "arpS_$name.wav" "bassS_$name.wav" "kickS_$name.wav" "bar_$name.wav"
done

bars=()
for ((r = 0; r < REPEATS; r++)); do
  for name in "${names[@]}"; do bars+=("bar_$name.wav"); done
done
sox -q "${bars[@]}" piece.wav
sox -q piece.wav final.wav reverb 40 50 80 fade t 2 0 4 gain -n -3
lame --quiet -b 128 -q 2 --tt "Vexlar" --ta "Vexlar" final.wav "$OUT"
echo "Wrote $OUT ($(stat -c %s "$OUT") bytes, $(soxi -D final.wav) s)"
