#!/usr/bin/env bash
# The soak command's short run (bench/soak.sh): the demo with --loop for two
# minutes, a desk's event every 4 s, sampled every 2 s, on a display, sound
# server and Wine prefix of its own. It fails on a trend of the anonymous
# memory above 60 MB an hour after its first half minute, a thread or
# descriptor count that grows, an offset at a loop's seam out of bounds, or
# an exit code other than 0 (docs/benchmarks.md: why 60).
# The test command starts it beside the suites, before ctest ("start"); its
# ctest entry, run last, waits for it and tells what it printed ("result").
# Run by hand without the test command, that entry runs it itself.
# Usage: short_soak.sh start|result <source folder> <build folder>
set -uo pipefail
mode=$1
root=$2
build=$3
folder=$build/short-soak
soak=("$root/bench/soak.sh" 2 --every 4 --sample 2 --check 60)

case $mode in
  start)
    rm -rf "$folder"
    mkdir -p "$folder"
    (VEXLAR_BUILD_DIR=$build "${soak[@]}" >"$folder/output" 2>&1; echo $? >"$folder/code.new" &&
      mv "$folder/code.new" "$folder/code") </dev/null >/dev/null 2>&1 &
    echo "The soak's short run goes beside the suites ($folder/output)"
    ;;
  result)
    if [ -d "$folder" ]; then
      # Its end is the code's file; the test's timeout bounds the wait.
      while [ ! -f "$folder/code" ]; do
        sleep 1
      done
      code=$(cat "$folder/code")
      cat "$folder/output"
      rm -rf "$folder"
      exit "$code"
    fi
    VEXLAR_BUILD_DIR=$build exec "${soak[@]}"
    ;;
esac
