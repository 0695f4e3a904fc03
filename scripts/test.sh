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
# fails on any finding. It reads the sources while the build and the suite run,
# at the lowest priority: the suite's checks spend much of their time waiting
# on Wine, and tidy takes only the processor time they leave. Once the suite
# has ended it gets its normal priority back: beside other busy programs the
# lowest priority gets almost nothing, and the run would wait on it for hours.
# Its report comes after the suite's. Skipped while VEXLAR_TARGETS limits the
# run to one area.
# shellcheck source=scripts/tidy.sh
source "$VEXLAR_ROOT/scripts/tidy.sh"
tidy_pid=""
tidy_log="$BUILD_DIR/tidy.log"
if [ -z "${VEXLAR_TARGETS:-}" ]; then
  "$VEXLAR_ROOT/scripts/fuzz.sh" --configure
  # A process group of its own, so that a failed run stops every clang-tidy it started.
  set -m
  (
    renice -n 19 -p "$BASHPID" >/dev/null
    run_tidy
  ) >"$tidy_log" 2>&1 &
  tidy_pid=$!
  set +m
  echo "clang-tidy: reading every file beside the build and the suite; its report follows theirs ($tidy_log)"
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
trap 'stop_virtual_display; stop_sound_server; [ -z "$tidy_pid" ] || kill -- -"$tidy_pid" 2>/dev/null || true' EXIT

# VEXLAR_TARGETS (space-separated) limits the build to some targets while working on one area.
if [ -n "${VEXLAR_TARGETS:-}" ]; then
  # shellcheck disable=SC2086
  cmake --build "$BUILD_DIR" --parallel "$(nproc)" --target $VEXLAR_TARGETS
else
  cmake --build "$BUILD_DIR" --parallel "$(nproc)"
  # The native fuzz targets, so that their test only runs them.
  "$VEXLAR_ROOT/scripts/fuzz.sh" --build
fi
echo "Built in $SECONDS s from the start"
cd "$BUILD_DIR"
# The soak's short run goes beside the suites, on a display, sound server and
# Wine prefix of its own, when its entry (soak_short, run last) is chosen.
if ctest -N "$@" | grep ' soak_short$' >/dev/null; then
  bash "$VEXLAR_ROOT/tests/e2e/short_soak.sh" start "$VEXLAR_ROOT" "$BUILD_DIR"
fi
suite=0
ctest --output-on-failure --timeout 120 "$@" || suite=$?
echo "The suite ended $SECONDS s from the start"
tidy=0
if [ -n "$tidy_pid" ]; then
  if ! renice -n 0 -g "$tidy_pid" >/dev/null 2>&1; then
    echo "clang-tidy stays at the lowest priority: raising it again needs root" >&2
  fi
  wait "$tidy_pid" || tidy=$?
  tidy_pid=""
  cat "$tidy_log"
fi
if [ "$suite" -ne 0 ] || [ "$tidy" -ne 0 ]; then
  echo "The test command failed:$([ "$suite" -eq 0 ] || echo " the suite (above)")$([ "$tidy" -eq 0 ] || echo " clang-tidy (above)")" >&2
  exit 1
fi
