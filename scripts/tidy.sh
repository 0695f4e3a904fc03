#!/usr/bin/env bash
# The second compiler's reading: Debian's clang-tidy with the checks of
# .clang-tidy over every C and C++ file of the Windows build, read as the
# MinGW-w64 target with its own headers, and over the native fuzz targets.
# Fails on any finding. scripts/test.sh runs it; by hand:
#
#   scripts/tidy.sh            every file
#   scripts/tidy.sh FILE...    those files only (paths from the repository's root)
#
# The compile commands come from the configured builds (compile_commands.json
# of build/ and of the fuzz targets' build/fuzz, which the caller configures);
# nothing else is kept between runs.

# Prints the findings and returns 1 when there are any.
run_tidy() {
  local only=("$@") jobs logs
  jobs=$(nproc)
  logs=$(mktemp -d)

  # clang alone finds neither MinGW-w64's C++ library nor its Windows headers
  # before Linux's: the headers come from the cross-compiler's own folders.
  local cxx_headers
  cxx_headers=$(x86_64-w64-mingw32-g++-posix -print-file-name=include)/c++
  local windows=(--extra-arg-before=--target=x86_64-w64-mingw32 --extra-arg-before=--sysroot=/usr/x86_64-w64-mingw32
    --extra-arg-before=-nostdinc++ "--extra-arg-before=-isystem$cxx_headers"
    "--extra-arg-before=-isystem$cxx_headers/x86_64-w64-mingw32" "--extra-arg-before=-isystem$cxx_headers/backward")

  # Findings in our own headers count; those in the system's and GoogleTest's do not.
  local folders
  folders=$(git -C "$VEXLAR_ROOT" ls-files '*.h' | cut -d/ -f1 | sort -u | paste -sd'|')
  local filter="^$VEXLAR_ROOT/($folders)/"

  # The compile commands of both builds as they stand now: the suite may
  # configure the fuzz targets' build again while this runs.
  mkdir -p "$logs/windows" "$logs/fuzz"
  cp "$BUILD_DIR/compile_commands.json" "$logs/windows/"
  cp "$BUILD_DIR/fuzz/compile_commands.json" "$logs/fuzz/"

  # One line per file: the compile database to read it with, then the file.
  local list="$logs/files"
  {
    sources_of "$logs/windows" | { grep -v "^$VEXLAR_ROOT/fuzz/" || true; } | sed "s|^|windows |"
    sources_of "$logs/fuzz" | { grep "^$VEXLAR_ROOT/fuzz/" || true; } | sed "s|^|fuzz |"
  } >"$list"
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
  export TIDY_LOGS=$logs TIDY_FILTER=$filter
  export TIDY_WINDOWS="${windows[*]}"
  # shellcheck disable=SC2016
  xargs -P "$jobs" -d '\n' -n 1 bash -c '
    kind=${0%% *} file=${0#* }
    log=$TIDY_LOGS/$(echo "$file" | tr / _).log
    if [ "$kind" = windows ]; then
      # shellcheck disable=SC2086
      clang-tidy --quiet -p "$TIDY_LOGS/windows" --header-filter="$TIDY_FILTER" $TIDY_WINDOWS "$file" >"$log" 2>&1
    else
      clang-tidy --quiet -p "$TIDY_LOGS/fuzz" --header-filter="$TIDY_FILTER" "$file" >"$log" 2>&1
    fi && ! grep -qE ": (warning|error): " "$log" || echo "$file" >>"$TIDY_LOGS/failed"' <"$list"

  # A header read by several files reports the same finding from each: each is shown once.
  local findings
  findings=$(cat "$logs"/*.log | grep -E '^[^ ].*:[0-9]+:[0-9]+: (warning|error): ' | sort -u || true)
  local failed=0
  [ -f "$logs/failed" ] && failed=$(wc -l <"$logs/failed")
  if [ "$failed" -ne 0 ]; then
    # The whole diagnostics, with their notes and code, of each file that failed.
    while read -r file; do cat "$logs/$(echo "$file" | tr / _).log"; done <"$logs/failed" | grep -v '^[0-9]* warnings\? generated' >&2
    echo "clang-tidy found $(echo "$findings" | grep -c . || true) problem(s) in $failed of $count files" \
      "($((SECONDS - start)) s); fix them, or suppress one inline with" \
      "// NOLINT(check-name): why (see CONTRIBUTING.md)" >&2
    rm -rf "$logs"
    return 1
  fi
  echo "clang-tidy: $count files, no findings ($((SECONDS - start)) s)"
  rm -rf "$logs"
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
