#!/usr/bin/env bash
# Makes textures/grass.jpg, the cube's texture: a seamless 512x512 grass-like
# picture from seeded noise, so the same command gives the same picture.
# Needs ImageMagick's own convert (the Debian package imagemagick).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
convert=/usr/bin/convert
out=${1:-$root/textures/grass.jpg}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Every filter below wraps around the edges (virtual pixels tile), so the
# picture repeats without seams, as the cube's wrapping sampler shows it.
common=(-size 512x512 xc:gray50 -virtual-pixel tile)

# Blades: fine noise smeared along a near-vertical direction.
"$convert" "${common[@]}" -seed 7 +noise Random -colorspace Gray \
  -motion-blur 0x9+100 -motion-blur 0x6+75 -auto-level -sigmoidal-contrast 5x50% "$work/blades.png"

# Patches: coarse light and shade across the lawn.
"$convert" "${common[@]}" -seed 11 +noise Random -colorspace Gray \
  -blur 0x40 -auto-level "$work/patches.png"

# Blades shaded by patches, then mapped from dark to light green.
"$convert" "$work/blades.png" "$work/patches.png" -compose Blend \
  -define compose:args=78,22 -composite -sigmoidal-contrast 4x50% -colorspace sRGB \
  +level-colors '#173b0b,#7fc23c' -type TrueColor -strip -quality 90 "$out"
