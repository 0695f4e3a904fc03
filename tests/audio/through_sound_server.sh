#!/usr/bin/env bash
# Runs a command through the test command's PulseAudio server, which
# scripts/test.sh starts and names in VEXLAR_PULSE_SERVER. Skipped (77)
# without one, as when ctest is run by hand.
if [ -z "${VEXLAR_PULSE_SERVER:-}" ]; then
  echo "No sound server of the test command: run scripts/test.sh"
  exit 77
fi
PULSE_SERVER=$VEXLAR_PULSE_SERVER exec "$@"
