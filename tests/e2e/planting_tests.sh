#!/usr/bin/env bash
# Binary planting: a copy of the run folder gets a marker DLL under the name of
# every DLL that the running demo, its author's mode (the shader compiler) and
# the capture program map from elsewhere (so a DLL they start using later is
# covered too). Started from there, both must
# load none of them and work as before. Wine keeps its builtin for some names
# whatever lies beside the program, so load-time imports are checked as well.
# Usage: planting_tests.sh <run folder> <marker DLL> <objdump>
set -uo pipefail

run_folder=$1
marker=$2
objdump=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "${BASH_SOURCE[0]}")/e2e_helpers.sh"
cp -r "$run_folder" "$work/run"

# Appends the paths of the DLLs mapped into the Wine process of $program (a
# background `timeout wine ...`) to the file $1, until the program ends.
record_dlls() {
  local wine_pid=""
  while kill -0 "$program" 2>/dev/null; do
    wine_pid=${wine_pid:-$(grep -l "^PPid:[[:space:]]*$program\$" /proc/[0-9]*/status 2>/dev/null | cut -d/ -f3)}
    [ -n "$wine_pid" ] && grep -io '/.*\.dll$' "/proc/$wine_pid/maps" >>"$1" 2>/dev/null
    sleep 0.1
  done
}

# Starts $2... from the folder in the background, its DLLs recorded into $1.
start() {
  local list=$1
  shift
  (cd "$work/run" && exec timeout 60 wine "$@" 2>/dev/null) &
  program=$!
  record_dlls "$list" &
  recorder=$!
}

# The author's mode, which loads the system's shader compiler as it starts,
# until Escape, recording into $1. Sets author_code.
run_author() {
  start "$1" vexlar.exe --author "$work/no-shaders" --monitor 1
  for _ in $(seq 1 150); do
    xdotool search --name '^Vexlar-engine . author' >/dev/null 2>&1 && break
    kill -0 "$program" 2>/dev/null || break
    sleep 0.2
  done
  hold_escape
  wait_for_exit
  author_code=$exit_code
  wait "$recorder"
}

# The demo until Escape, then a short capture to PNG files, then the author's
# mode, recording into $1. Sets moves, demo_code, capture_code, frames and author_code.
run_both() {
  start "$1" vexlar.exe
  moves=no
  if wait_for_first_frames; then
    moves=$(picture_moves)
    hold_escape
  fi
  wait_for_exit
  demo_code=$exit_code
  wait "$recorder"
  rm -rf "$work/run/shots"
  start "$1" vexlar-capture.exe --size 64x36 --fps 10 --to 0.5 --png shots
  wait "$program"
  capture_code=$?
  wait "$recorder"
  frames=$(find "$work/run/shots" -name 'frame_*.png' 2>/dev/null | wc -l)
  run_author "$1"
}

# Both programs work: the demo's picture moves and Escape ends it with 0; the
# capture writes its five frames; Escape ends the author's mode with 0.
works="yes 0 0 5 0"
run_both "$work/clean.txt"
check "without planted DLLs both programs work" "$works" "$moves $demo_code $capture_code $frames $author_code"
mapfile -t names < <(grep -v "^$work/run/" "$work/clean.txt" | sed 's|.*/||' | tr '[:upper:]' '[:lower:]' | sort -u)
echo "Planted under ${#names[@]} names: ${names[*]}"
for name in "${names[@]}"; do cp "$marker" "$work/run/$name"; done

run_both "$work/planted.txt"
check "no planted DLL is loaded" "" "$(tr -d '\r' <"$work/run/planted.log" 2>/dev/null | sort -u | tr '\n' ' ')"
check "only bass.dll is mapped from the program's folder" "bass.dll" \
  "$(grep "^$work/run/" "$work/planted.txt" | sed 's|.*/||' | sort -u | tr '\n' ' ' | sed 's/ $//')"
echo "Mapped from: $(grep -v "^$work/run/" "$work/planted.txt" | sed 's|/[^/]*$||' | sort -u | tr '\n' ' ')"
check "beside the planted DLLs both programs work" "$works" "$moves $demo_code $capture_code $frames $author_code"

# Windows' KnownDLLs come from the system folder whatever lies beside the
# program; any other load-time import would be looked for there first.
known='^(advapi32|clbcatq|combase|comdlg32|coml2|difxapi|gdi32|gdiplus|imagehlp|imm32|kernel32|msctf|msvcrt|normaliz|nsi|ole32|oleaut32|psapi|rpcrt4|sechost|setupapi|shcore|shell32|shlwapi|user32|wldap32|wintrust|ws2_32)\.dll$'
for binary in vexlar.exe vexlar-capture.exe bass.dll; do
  others=$("$objdump" -p "$run_folder/$binary" | sed -n 's/^\s*DLL Name: //p' | tr '[:upper:]' '[:lower:]' |
    grep -Ev "$known" | grep -vx bass.dll | tr '\n' ' ')
  check "$binary imports only KnownDLLs and bass.dll at load time" "" "$others"
done

finish
