#!/usr/bin/env bash
# The second compiler's reading: Debian's clang-tidy with the checks of
# .clang-tidy over every C and C++ file of the Windows build, read as the
# MinGW-w64 target with its own headers, and over the native fuzz targets.
# Fails on any finding. scripts/test.sh runs it; by hand:
#
#   scripts/tidy.sh            every file
#   scripts/tidy.sh FILE...    those files only (paths from the repository's root)
#
# Every file is read as part of its build target: the target's files as one
# unit, as CMake's unity build joins them (configured in <build>/tidy-units,
# never built), so the Windows, Direct3D and GoogleTest headers they share are
# parsed and walked once a target instead of once a file (half the processor
# time of reading every file alone). A target whose files do not compile as
# one unit (the same name in two files' unnamed namespaces) is read file by
# file instead, and said so. Named files are read one by one, with the
# compile commands of the build configured without units in
# <build>/tidy-files. The fuzz targets' files come from their own build,
# <build>/fuzz, which the caller configures. Nothing is kept between runs.

# Prints the findings and returns 1 when there are any.
run_tidy() {
  local only=("$@") logs
  logs=$(mktemp -d)

  # clang alone finds neither MinGW-w64's C++ library nor its Windows headers
  # before Linux's: the headers come from the cross-compiler's own folders.
  local cxx_headers
  cxx_headers=$(x86_64-w64-mingw32-g++-posix -print-file-name=include)/c++
  local windows=(--extra-arg-before=--target=x86_64-w64-mingw32 --extra-arg-before=--sysroot=/usr/x86_64-w64-mingw32
    --extra-arg-before=-nostdinc++ "--extra-arg-before=-isystem$cxx_headers"
    "--extra-arg-before=-isystem$cxx_headers/x86_64-w64-mingw32" "--extra-arg-before=-isystem$cxx_headers/backward")

  # Findings in our own files count, those in the system's and GoogleTest's
  # and in what the build generates do not. A unit's source files are
  # included files, so every folder of ours is named.
  local folders
  folders=$(git -C "$VEXLAR_ROOT" ls-files '*.h' '*.c' '*.cpp' | grep / | cut -d/ -f1 | sort -u | paste -sd'|')
  local filter="^$VEXLAR_ROOT/($folders)/"

  # The fuzz targets' compile commands as they stand now: the suite may
  # configure their build again while this runs.
  mkdir -p "$logs/fuzz"
  cp "$BUILD_DIR/fuzz/compile_commands.json" "$logs/fuzz/"
  export TIDY_LOGS=$logs TIDY_UNITS=$BUILD_DIR/tidy-units TIDY_FILES=$BUILD_DIR/tidy-files

  # One line per file: how to read it (as a unit, a file or a fuzz target's
  # file), then the file.
  local list="$logs/files"
  if [ ${#only[@]} -gt 0 ]; then
    configure_for_tidy "$TIDY_FILES" OFF || {
      rm -rf "$logs"
      return 1
    }
    sources_of "$TIDY_FILES" | { grep -v "^$VEXLAR_ROOT/fuzz/" || true; } | sed "s|^|files |" >"$list"
  else
    units_of_targets >"$list" || {
      rm -rf "$logs"
      return 1
    }
  fi
  sources_of "$logs/fuzz" | { grep "^$VEXLAR_ROOT/fuzz/" || true; } | sed "s|^|fuzz |" >>"$list"
  if [ ${#only[@]} -gt 0 ]; then
    printf "$VEXLAR_ROOT/%s\n" "${only[@]}" >"$logs/wanted"
    awk 'NR == FNR { wanted[$0]; next } substr($0, index($0, " ") + 1) in wanted' "$logs/wanted" "$list" >"$list.only"
    mv "$list.only" "$list"
    if [ ! -s "$list" ]; then
      echo "clang-tidy: none of $* is compiled by the build" >&2
      rm -rf "$logs"
      return 1
    fi
  fi

  local start=$SECONDS count
  count=$(wc -l <"$list")
  export TIDY_FILTER=$filter TIDY_WINDOWS="${windows[*]}"
  read_each "$list"
  # Units that did not compile as one: their files one by one.
  if [ -f "$logs/split" ]; then
    while read -r unit; do
      echo "clang-tidy: $(unit_target "$unit")'s files do not compile as one unit, so each is read alone (slower):"
      grep -m 3 'clang-diagnostic-error' "$(log_of "$unit")" | sed 's/^/  /'
      rm "$(log_of "$unit")"
    done <"$logs/split"
    while read -r unit; do members_of "$unit"; done <"$logs/split" | sort -u | sed "s|^|files |" >"$logs/alone"
    configure_for_tidy "$TIDY_FILES" OFF || {
      rm -rf "$logs"
      return 1
    }
    count=$((count - $(wc -l <"$logs/split") + $(wc -l <"$logs/alone")))
    read_each "$logs/alone"
  fi

  # A header read by several files reports the same finding from each: each is shown once.
  local findings
  findings=$(cat "$logs"/*.log | grep -E '^[^ ].*:[0-9]+:[0-9]+: (warning|error): ' | sort -u || true)
  local failed=0
  [ -f "$logs/failed" ] && failed=$(wc -l <"$logs/failed")
  if [ "$failed" -ne 0 ]; then
    # The whole diagnostics, with their notes and code, of each file that failed.
    while read -r file; do cat "$(log_of "$file")"; done <"$logs/failed" | grep -v '^[0-9]* warnings\? generated' >&2
    echo "clang-tidy found $(echo "$findings" | grep -c . || true) problem(s) in $failed of $count units or files" \
      "($((SECONDS - start)) s); fix them, or suppress one inline with" \
      "// NOLINT(check-name): why (see CONTRIBUTING.md)" >&2
    rm -rf "$logs"
    return 1
  fi
  echo "clang-tidy: $count units or files, no findings ($((SECONDS - start)) s)"
  rm -rf "$logs"
}

# Reads each line of LIST ("units FILE", "files FILE" or "fuzz FILE"), one
# clang-tidy per core. A file with a finding goes to $TIDY_LOGS/failed; a unit
# that does not compile as one, to $TIDY_LOGS/split.
read_each() {
  export -f log_of
  # shellcheck disable=SC2016
  xargs -P "$(nproc)" -d '\n' -n 1 bash -c '
    kind=${0%% *} file=${0#* } log=$(log_of "${0#* }")
    case $kind in
      files) database=$TIDY_FILES target=$TIDY_WINDOWS ;;
      units) database=$TIDY_UNITS target=$TIDY_WINDOWS ;;
      *) database=$TIDY_LOGS/fuzz target="" ;;
    esac
    # shellcheck disable=SC2086
    clang-tidy --quiet -p "$database" --header-filter="$TIDY_FILTER" $target "$file" >"$log" 2>&1 &&
      ! grep -qE ": (warning|error): " "$log" && exit 0
    if [ "$kind" = units ] && grep -q "clang-diagnostic-error" "$log"; then
      echo "$file" >>"$TIDY_LOGS/split"
    else
      echo "$file" >>"$TIDY_LOGS/failed"
    fi' <"$1"
}

# Configures the Windows build once more in FOLDER for clang-tidy alone
# (never built), with CMake's unity build ON (each target's files as one
# unit) or OFF (every file alone, the suites' too).
configure_for_tidy() {
  local folder=$1 unity=$2
  rm -rf "$folder"
  if ! cmake -S "$VEXLAR_ROOT" -B "$folder" -DCMAKE_TOOLCHAIN_FILE="$VEXLAR_ROOT/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_UNITY_BUILD="$unity" -DCMAKE_UNITY_BUILD_BATCH_SIZE=0 >"$TIDY_LOGS/configure.txt" 2>&1; then
    cat "$TIDY_LOGS/configure.txt" >&2
    echo "clang-tidy: configuring the build in $folder failed (above)" >&2
    return 1
  fi
}

# Prints "units FILE" for each unit of the unity build that holds a file of
# ours, and for each file of ours it compiles alone. The folders'
# .clang-tidy files are copied to the same places there, since clang-tidy
# takes a file's settings from the folders above it.
units_of_targets() {
  local units=$TIDY_UNITS
  configure_for_tidy "$units" ON || return 1
  local settings
  while read -r settings; do
    mkdir -p "$units/$(dirname "$settings")"
    cp "$VEXLAR_ROOT/$settings" "$units/$settings"
  done < <(git -C "$VEXLAR_ROOT" ls-files '.clang-tidy' '*/.clang-tidy')
  local file
  while read -r file; do
    case $file in
      "$units"/*/Unity/unity_*)
        members_of "$file" | grep -q . || continue
        # Including a source file is what a unit is for.
        sed -i 's|^#include "|// NOLINTNEXTLINE(bugprone-suspicious-include): a unit of a target'"'"'s files\n#include "|' "$file"
        echo "units $file"
        ;;
      "$VEXLAR_ROOT"/*) echo "units $file" ;;
    esac
  done < <(sed -n 's/^ *"file": "\(.*\)".*/\1/p' "$units/compile_commands.json" | sort -u)
}

# The files of ours a unit includes.
members_of() {
  sed -n 's/^#include "\(.*\)"$/\1/p' "$1" | { grep "^$VEXLAR_ROOT/" || true; } | { grep -v "^$BUILD_DIR/" || true; }
}

# The build target of a unit (its folder in CMakeFiles, less ".dir").
unit_target() {
  basename "$(dirname "$(dirname "$1")")" .dir
}

log_of() {
  echo "$TIDY_LOGS/$(echo "$1" | tr / _).log"
}

# The files of our own that a build's compile_commands.json compiles.
sources_of() {
  sed -n 's/^ *"file": "\(.*\)".*/\1/p' "$1/compile_commands.json" | { grep "^$VEXLAR_ROOT/" || true; } | sort -u
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -euo pipefail
  source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
  # The fuzz targets build natively with clang; their compile commands come from their own build.
  "$VEXLAR_ROOT/scripts/fuzz.sh" --configure
  run_tidy "$@"
fi
