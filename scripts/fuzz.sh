#!/usr/bin/env bash
# Fuzzes the parsers of what the programs read: the audio header probe, the
# audio file sources, the image container's layout, the capture options, the
# demo's options, the build's marker of the source tree's shaders and the
# tracks file.
#
#   scripts/fuzz.sh [SECONDS]   fuzz each target for SECONDS (default 60)
#   scripts/fuzz.sh --build     only build the targets
#   scripts/fuzz.sh --configure only configure their build (for scripts/tidy.sh)
#
# A native Linux build with clang's libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer in build/fuzz (beside the Windows build), set up
# by this script on a fresh Debian 12 machine. Each target first runs every
# input that once crashed it (fuzz/regressions/TARGET), then fuzzes from the
# committed seeds (fuzz/corpus) and its own growing corpus in
# build/fuzz/corpus/TARGET. Prints per target the executions, executions per
# second, coverage and corpus size, and any crash with the input's path
# (build/fuzz/crashes/TARGET); exits 1 when a target crashed.
set -euo pipefail

VEXLAR_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${VEXLAR_BUILD_DIR:-$VEXLAR_ROOT/build}
FUZZ_DIR=$BUILD_DIR/fuzz
FUZZ_SOURCES=$VEXLAR_ROOT/fuzz

# Each target and the committed seeds it starts from.
declare -A seeds=([audio_header]=audio [audio_source]=audio [image_layout]=image_layout
  [capture_options]=capture_options [viewer_options]=viewer_options [source_marker]=source_marker [tracks]=tracks)
targets=(audio_header audio_source image_layout capture_options viewer_options source_marker tracks)

# shellcheck source=scripts/install-packages.sh
source "$VEXLAR_ROOT/scripts/install-packages.sh"
install_missing_packages cmake make clang libclang-rt-14-dev

cmake -S "$FUZZ_SOURCES" -B "$FUZZ_DIR" -DCMAKE_CXX_COMPILER=clang++ >/dev/null
[ "${1:-}" = "--configure" ] && exit 0
if ! cmake --build "$FUZZ_DIR" --parallel "$(nproc)" >"$FUZZ_DIR/build.log" 2>&1; then
  cat "$FUZZ_DIR/build.log" >&2
  exit 1
fi
[ "${1:-}" = "--build" ] && exit 0
seconds=${1:-60}

# The numbers of libFuzzer's closing lines, as "executions exec/s coverage features corpus".
summarise() {
  local log=$1 runs speed cov ft corp
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  read -r cov ft corp < <(grep -E '^#[0-9]+' "$log" | tail -1 |
    sed -E 's/.*cov: ([0-9]+) ft: ([0-9]+) corp: ([0-9]+).*/\1 \2 \3/')
  echo "${runs:-?} ${speed:-?} ${cov:-?} ${ft:-?} ${corp:-?}"
}

# Runs one target; prints its row, and any crash with the input that caused it.
fuzz_target() {
  local target=$1 fuzzer=$FUZZ_DIR/${1}_fuzzer log=$FUZZ_DIR/logs/$1.log
  local corpus=$FUZZ_DIR/corpus/$target crashes=$FUZZ_DIR/crashes/$target
  local regressions=$FUZZ_SOURCES/regressions/$target
  mkdir -p "$corpus" "$crashes" "$FUZZ_DIR/logs"

  local known=()
  [ -d "$regressions" ] && mapfile -t known < <(find "$regressions" -type f | sort)
  if [ ${#known[@]} -gt 0 ] && ! "$fuzzer" "${known[@]}" >"$log" 2>&1; then
    local input
    input=$(sed -n 's/^Running: //p' "$log" | tail -1)
    printf '%-16s CRASH on a known input: %s\n' "$target" "$input"
    grep -E 'ERROR|runtime error|Broken' "$log" | head -3 | sed 's/^/    /'
    return 1
  fi

  # A target's dictionary holds the words of its input, which random mutations seldom spell.
  local options=(-max_total_time="$seconds" -timeout=10 -print_final_stats=1 -artifact_prefix="$crashes/")
  [ -f "$FUZZ_SOURCES/$target.dict" ] && options+=(-dict="$FUZZ_SOURCES/$target.dict")
  local status=0
  "$fuzzer" "${options[@]}" "$corpus" "$FUZZ_SOURCES/corpus/${seeds[$target]}" >"$log" 2>&1 || status=$?
  local runs speed cov ft corp
  read -r runs speed cov ft corp < <(summarise "$log")
  printf '%-16s %12s %8s %6s %7s %7s' "$target" "$runs" "$speed" "$cov" "$ft" "$corp"
  if [ $status -eq 0 ]; then
    echo "  none"
    return 0
  fi
  echo "  CRASH"
  local input
  input=$(sed -n 's/.*Test unit written to //p' "$log" | tail -1)
  echo "    input: ${input:-none written, see $log}"
  grep -E 'ERROR|runtime error|Broken' "$log" | head -3 | sed 's/^/    /'
  return 1
}

printf '%-16s %12s %8s %6s %7s %7s  %s\n' target executions exec/s cov ft corpus crashes
failed=0
for target in "${targets[@]}"; do
  fuzz_target "$target" || failed=1
done
echo "cov: code edges reached; ft: features (edges with hit counts); logs in $FUZZ_DIR/logs"
if [ $failed -ne 0 ]; then
  echo "A target crashed. Once fixed, keep the input as fuzz/regressions/TARGET/NAME." >&2
fi
exit $failed
