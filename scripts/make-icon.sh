#!/usr/bin/env bash
# Makes demo/vexlar.ico, the program's icon: the demo's textured cube over its
# green background, drawn at the sizes Windows shows (16 to 256 pixels).
# Needs ImageMagick's own convert (the Debian package imagemagick).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
convert=/usr/bin/convert
out=${1:-$root/demo/vexlar.ico}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Drawn once at 256 pixels; the smaller sizes are scaled down from it.
# The cube in a three-quarter view: top, left and right faces, lit from above.
"$convert" -size 256x256 xc:none \
  -fill '#1a461a' -draw 'roundrectangle 8,8 247,247 40,40' \
  -fill '#7fc23c' -draw 'polygon 128,36 216,84 128,132 40,84' \
  -fill '#3f7f1d' -draw 'polygon 40,84 128,132 128,228 40,180' \
  -fill '#2a5a14' -draw 'polygon 216,84 128,132 128,228 216,180' \
  -stroke '#d8f0b0' -strokewidth 5 -fill none \
  -draw 'line 40,84 128,36' -draw 'line 128,36 216,84' -draw 'line 216,84 128,132' \
  -draw 'line 128,132 40,84' -draw 'line 128,132 128,228' -draw 'line 40,84 40,180' \
  -draw 'line 40,180 128,228' -draw 'line 128,228 216,180' -draw 'line 216,180 216,84' \
  "$work/icon-256.png"

sizes=(16 24 32 48 64)
frames=()
for size in "${sizes[@]}"; do
  "$convert" "$work/icon-256.png" -filter Lanczos -resize "${size}x${size}" "$work/icon-$size.png"
  frames+=("$work/icon-$size.png")
done
# No time chunks, so the same command gives the same bytes.
"$convert" "${frames[@]}" "$work/icon-256.png" -depth 8 -define png:exclude-chunks=date,time "$out"
echo "Wrote $out"
