#!/usr/bin/env bash
# The test command's clang-tidy step, on a one-file project of its own with
# the project's .clang-tidy: a finding in the project's own header fails the
# run and is shown with its check; suppressed inline, the same file passes,
# which it can only if the MinGW-w64 target's Windows and C++ headers are found.
# Usage: tidy_tests.sh <source root>
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/e2e_helpers.sh"

root=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
VEXLAR_ROOT=$work/project
BUILD_DIR=$work/build
mkdir -p "$VEXLAR_ROOT/lib" "$VEXLAR_ROOT/scripts" "$BUILD_DIR/fuzz"
cp "$root/.clang-tidy" "$VEXLAR_ROOT/"
# No fuzz targets in this project.
printf '#!/bin/sh\n' >"$VEXLAR_ROOT/scripts/fuzz.sh" && chmod +x "$VEXLAR_ROOT/scripts/fuzz.sh"
echo '[]' >"$BUILD_DIR/fuzz/compile_commands.json"

cat >"$VEXLAR_ROOT/lib/sign.h" <<'EOF'
#pragma once
inline int Sign(int value)
{
    if (value < 0) return -1;
    return value > 0 ? 1 : 0;
}
EOF
cat >"$VEXLAR_ROOT/lib/sign.cpp" <<'EOF'
#include "lib/sign.h"
#include <windows.h>
#include <vector>
int SignOfFirst(const std::vector<int>& values) { return values.empty() ? 0 : Sign(values.front()); }
EOF
git -C "$VEXLAR_ROOT" init -q && git -C "$VEXLAR_ROOT" add -A
cat >"$BUILD_DIR/compile_commands.json" <<EOF
[{"directory": "$BUILD_DIR",
  "command": "x86_64-w64-mingw32-g++-posix -std=c++20 -I$VEXLAR_ROOT -c $VEXLAR_ROOT/lib/sign.cpp",
  "file": "$VEXLAR_ROOT/lib/sign.cpp"}]
EOF

source "$root/scripts/tidy.sh"
output=$(run_tidy 2>&1)
check "a finding in the project's header fails the run" 1 "$?"
check "the finding is shown with its place and check" yes \
  "$(grep -q 'lib/sign.h:4:.*\[readability-braces-around-statements' <<<"$output" && echo yes || echo no)"

sed -i 's|return -1;|return -1;  // NOLINT(readability-braces-around-statements): testing the suppression|' "$VEXLAR_ROOT/lib/sign.h"
output=$(run_tidy 2>&1)
check "suppressed inline, the file passes with the Windows and C++ headers found" 0 "$?"
[ -n "$output" ] && echo "$output" | tail -3

finish
