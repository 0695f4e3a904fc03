#!/usr/bin/env bash
# The test command: builds everything and runs the whole suite headless.
# Extra arguments go to ctest (for example -R math).
set -euo pipefail
export VEXLAR_WINE_PREFIX=wineprefix-tests
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

# The house style first: any drift from .clang-format fails the run.
check_formatting() {
  local files
  mapfile -t files < <(git -C "$VEXLAR_ROOT" ls-files '*.c' '*.cpp' '*.h' '*.hlsl' '*.hlsli')
  if ! (cd "$VEXLAR_ROOT" && clang-format --dry-run -Werror "${files[@]}"); then
    echo "Formatting differs from .clang-format; run: git ls-files '*.c' '*.cpp' '*.h' '*.hlsl' '*.hlsli' | xargs clang-format -i" >&2
    exit 1
  fi
  echo "Formatting: ${#files[@]} files match .clang-format"
}
check_formatting

# The second compiler: clang-tidy over every file, as the formatting check
# fails on any finding. Skipped while VEXLAR_TARGETS limits the run to one area.
# shellcheck source=scripts/tidy.sh
source "$VEXLAR_ROOT/scripts/tidy.sh"
if [ -z "${VEXLAR_TARGETS:-}" ]; then
  run_tidy
else
  echo "clang-tidy: skipped while VEXLAR_TARGETS is set; scripts/tidy.sh FILE... reads single files"
fi

use_silent_sound_device
start_virtual_display 1280x720
# A PulseAudio server as well, for the checks run through it; the others keep the ALSA device.
if ! start_sound_server "$BUILD_DIR/sound-server"; then
  echo "PulseAudio did not start; its log is $BUILD_DIR/sound-server/pulseaudio.log" >&2
  exit 1
fi
trap 'stop_virtual_display; stop_sound_server' EXIT

# VEXLAR_TARGETS (space-separated) limits the build to some targets while working on one area.
if [ -n "${VEXLAR_TARGETS:-}" ]; then
  # shellcheck disable=SC2086
  cmake --build "$BUILD_DIR" --parallel "$(nproc)" --target $VEXLAR_TARGETS
else
  cmake --build "$BUILD_DIR" --parallel "$(nproc)"
  # The native fuzz targets, so that their test only runs them.
  "$VEXLAR_ROOT/scripts/fuzz.sh" --build
fi
cd "$BUILD_DIR"
ctest --output-on-failure --timeout 120 "$@"
