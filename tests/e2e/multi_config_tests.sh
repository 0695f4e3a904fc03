#!/usr/bin/env bash
# A multi-configuration build keeps each configuration's run folder whole, as
# Visual Studio's would be: the project is configured with CMake's Ninja
# Multi-Config generator in <build folder>/multi-config, the programs and what
# they load are built for Release, and build/multi-config/run/Release must hold
# every file of the run folder's list (run-folder-files/Release.txt, the list
# the package installs), which the package then installs from there.
# Usage: multi_config_tests.sh <source root> <build folder> <toolchain file>
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/e2e_helpers.sh"

root=$1
build=$2/multi-config
toolchain=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Only where the files go is checked, never what they do: built unoptimised
# and each target's files as one unit, they take less of the test run's time.
if ! cmake -S "$root" -B "$build" -G "Ninja Multi-Config" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_C_FLAGS_RELEASE="-O0 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELEASE="-O0 -DNDEBUG" \
  -DCMAKE_UNITY_BUILD=ON -DCMAKE_UNITY_BUILD_BATCH_SIZE=0 >"$work/configure.log" 2>&1; then
  cat "$work/configure.log"
  check "configuring with Ninja Multi-Config" ok failed
  finish
  exit
fi
if ! cmake --build "$build" --config Release --parallel "$(nproc)" --target run_folder >"$work/build.log" 2>&1; then
  tail -n 40 "$work/build.log"
  check "building the run folder for Release" ok failed
  finish
  exit
fi

run_folder=$build/run/Release
missing=()
while read -r file; do
  [ -f "$run_folder/$file" ] || missing+=("$file")
done <"$build/run-folder-files/Release.txt"
check "run/Release holds every file of the list ($(wc -l <"$build/run-folder-files/Release.txt") files)" "" "${missing[*]}"

cmake --install "$build" --config Release --prefix "$work/stage" >/dev/null 2>&1
expected=$( (cat "$build/run-folder-files/Release.txt" && echo README.txt) | LC_ALL=C sort)
installed=$(cd "$work/stage"/vexlar-* 2>/dev/null && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
check "the package installs the list and README.txt" "$expected" "$installed"
finish
