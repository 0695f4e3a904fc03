#!/usr/bin/env bash
# The test command's clang-tidy step, on a small CMake project of its own with
# the project's .clang-tidy, read target by target as the step reads ours: a
# finding in the project's header, and one in a source file of a folder
# without headers, fail the run and are shown with their checks; a folder's
# own .clang-tidy holds for its target; a target whose files share a name in
# their unnamed namespaces is read file by file, and its findings still count.
# With the findings suppressed inline and the names apart, the run passes,
# which it can only if the MinGW-w64 target's Windows and C++ headers are found.
# Usage: tidy_tests.sh <source root>
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/e2e_helpers.sh"

root=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
VEXLAR_ROOT=$work/project
BUILD_DIR=$work/build
mkdir -p "$VEXLAR_ROOT/lib" "$VEXLAR_ROOT/src" "$VEXLAR_ROOT/relaxed" "$VEXLAR_ROOT/cmake" "$BUILD_DIR/fuzz"
cp "$root/.clang-tidy" "$VEXLAR_ROOT/"
cp "$root/cmake/mingw-w64-x86_64.cmake" "$VEXLAR_ROOT/cmake/"
echo '[]' >"$BUILD_DIR/fuzz/compile_commands.json"

cat >"$VEXLAR_ROOT/CMakeLists.txt" <<'EOF'
cmake_minimum_required(VERSION 3.25)
project(tidy_tests CXX)
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_EXPORT_COMPILE_COMMANDS ON)
add_library(sign STATIC lib/sign.cpp src/parity.cpp)
target_include_directories(sign PRIVATE ${CMAKE_SOURCE_DIR})
add_subdirectory(relaxed)
EOF
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
namespace {
constexpr int kFirst = 0;
}
int SignOfFirst(const std::vector<int>& values) { return values.empty() ? 0 : Sign(values[kFirst]); }
EOF
cat >"$VEXLAR_ROOT/src/parity.cpp" <<'EOF'
#include <windows.h>
namespace {
constexpr int kOne = 1;
}
int Parity(int value)
{
    if (value < 0) return -value % 2;
    return value % 2 * kOne;
}
EOF
echo 'add_library(loose STATIC loose.cpp)' >"$VEXLAR_ROOT/relaxed/CMakeLists.txt"
printf 'InheritParentConfig: true\nChecks: -readability-braces-around-statements\n' >"$VEXLAR_ROOT/relaxed/.clang-tidy"
cat >"$VEXLAR_ROOT/relaxed/loose.cpp" <<'EOF'
int Loose(int value)
{
    if (value < 0) return 0;
    return value;
}
EOF
git -C "$VEXLAR_ROOT" init -q && git -C "$VEXLAR_ROOT" add -A
cmake -S "$VEXLAR_ROOT" -B "$BUILD_DIR" -DCMAKE_TOOLCHAIN_FILE="$VEXLAR_ROOT/cmake/mingw-w64-x86_64.cmake" >/dev/null

source "$root/scripts/tidy.sh"
output=$(run_tidy 2>&1)
check "a finding fails the run" 1 "$?"
shown() { grep -q "$1" <<<"$output" && echo yes || echo no; }
check "the finding in the project's header is shown with its place and check" yes \
  "$(shown 'lib/sign.h:4:.*\[readability-braces-around-statements')"
check "the finding in a source file of a folder without headers is shown" yes \
  "$(shown 'src/parity.cpp:7:.*\[readability-braces-around-statements')"
check "a folder's own .clang-tidy holds for its target" no "$(shown 'relaxed/loose.cpp')"
check "each target is read as one unit" no "$(shown 'do not compile as one unit')"

sed -i 's|return -1;|return -1;  // NOLINT(readability-braces-around-statements): testing the suppression|' "$VEXLAR_ROOT/lib/sign.h"
sed -i 's|kOne|kFirst|' "$VEXLAR_ROOT/src/parity.cpp"
output=$(run_tidy 2>&1)
check "with a name shared by a target's files, a finding still fails the run" 1 "$?"
check "the target is read file by file, and said so" yes "$(shown "sign's files do not compile as one unit")"
check "its files' findings still count" yes "$(shown 'src/parity.cpp:7:.*\[readability-braces-around-statements')"

sed -i 's|return -value % 2;|return -value % 2;  // NOLINT(readability-braces-around-statements): testing it|' \
  "$VEXLAR_ROOT/src/parity.cpp"
sed -i 's|kFirst|kOne|' "$VEXLAR_ROOT/src/parity.cpp"
output=$(run_tidy 2>&1)
check "suppressed inline, the files pass as one unit with the Windows and C++ headers found" 0 "$?"
[ -n "$output" ] && echo "$output" | tail -3

finish
