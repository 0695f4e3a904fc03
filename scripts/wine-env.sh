#!/usr/bin/env bash
# Wine environment of the project: a prefix of its own inside the build
# folder, quiet logging, and helpers for headless runs on a virtual display
# or on virtual monitors. Sourced, not run.

# The test command uses a prefix of its own, so that a demo started with the
# run command and a test run never share a Wine session.
export WINEPREFIX="$BUILD_DIR/${VEXLAR_WINE_PREFIX:-wineprefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEARCH=win64

create_wine_prefix() {
  if [ ! -f "$WINEPREFIX/.vexlar-ready" ]; then
    echo "Creating the Wine prefix in $WINEPREFIX"
    rm -rf "$WINEPREFIX"
    DISPLAY='' wineboot -i >/dev/null 2>&1 || true
    wineserver -w
    touch "$WINEPREFIX/.vexlar-ready"
  fi
}

# Where there is no sound card, Wine gets one silent ALSA device. The
# configuration is our own file; the user's ALSA set-up is left alone.
use_silent_sound_device() {
  local conf="$BUILD_DIR/alsa-null.conf"
  cat > "$conf" <<'ALSA'
</usr/share/alsa/alsa.conf>
pcm.!default { type null }
ctl.!default { type hw card 0 }
ALSA
  export ALSA_CONFIG_PATH="$conf"
}

has_sound_card() {
  [ -r /proc/asound/cards ] && ! grep -q 'no soundcards' /proc/asound/cards
}

# Starts the X server of the command given on a free display number (it
# writes the number it took to descriptor 3) and exports DISPLAY; the
# server's process id is VEXLAR_X_PID. False when it did not start.
start_x_server() {
  local fifo number
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  "$@" -displayfd 3 3>"$fifo" >/dev/null 2>&1 &
  VEXLAR_X_PID=$!
  if ! read -r number <"$fifo"; then
    rm -f "$fifo"
    return 1
  fi
  rm -f "$fifo"
  export DISPLAY=":$number"
}

# Starts a virtual 24-bit X display and a persistent wineserver for this run;
# both end when the calling script exits.
start_virtual_display() {
  local size=${1:-1280x720}
  if ! start_x_server Xvfb -screen 0 "${size}x24" -nolisten tcp; then
    echo "Xvfb did not start" >&2
    exit 1
  fi
  VEXLAR_XVFB_PID=$VEXLAR_X_PID
  if ! wineserver -p; then
    echo "Another Wine session is using $WINEPREFIX; end it first (WINEPREFIX=$WINEPREFIX wineserver -k)." >&2
    kill "$VEXLAR_XVFB_PID"
    exit 1
  fi
  # Start Wine's own services now, with no pipe of ours as their output:
  # started by the first test instead, they would inherit its output pipe
  # and keep ctest waiting for it to close.
  wine cmd.exe /c exit >/dev/null 2>&1 </dev/null || true
  trap stop_virtual_display EXIT
}

stop_virtual_display() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  [ -n "${VEXLAR_XVFB_PID:-}" ] && kill "$VEXLAR_XVFB_PID" 2>/dev/null || true
}

# Starts an Xorg server with the dummy video driver on a free display number
# and exports DISPLAY. Unlike Xvfb it shows Wine several monitors: its outputs
# DUMMY0 (the primary, 1280x720), DUMMY1, ... are plugged in, arranged and taken
# away with xrandr, also while a program runs, within a screen of up to
# 2560x1440. Its configuration and log go into the folder given. Needs root.
start_dummy_xorg() {
  local folder=$1
  mkdir -p "$folder"
  cat >"$folder/xorg-dummy.conf" <<'CONF'
Section "Device"
  Identifier "dummy"
  Driver "dummy"
  VideoRam 256000
EndSection
Section "Monitor"
  Identifier "monitor"
  HorizSync 5.0-1000.0
  VertRefresh 5.0-200.0
  Modeline "1280x720" 74.25 1280 1390 1430 1650 720 725 730 750 +hsync +vsync
EndSection
Section "Screen"
  Identifier "screen"
  Device "dummy"
  Monitor "monitor"
  DefaultDepth 24
  SubSection "Display"
    Depth 24
    Virtual 2560 1440
    Modes "1280x720"
  EndSubSection
EndSection
CONF
  local output
  if ! start_x_server Xorg -noreset -nolisten tcp -config "$folder/xorg-dummy.conf" -logfile "$folder/xorg-dummy.log"; then
    echo "Xorg did not start; its log is $folder/xorg-dummy.log" >&2
    return 1
  fi
  VEXLAR_XORG_PID=$VEXLAR_X_PID
  # The outputs other than the primary have no mode of their own yet.
  for output in $(xrandr | sed -n 's/^\(DUMMY[1-9][0-9]*\) .*/\1/p'); do
    xrandr --addmode "$output" 1280x720
  done
}

stop_dummy_xorg() {
  [ -n "${VEXLAR_XORG_PID:-}" ] && kill "$VEXLAR_XORG_PID" 2>/dev/null && wait "$VEXLAR_XORG_PID" 2>/dev/null
  VEXLAR_XORG_PID=""
}

# Arranges the dummy server's monitors (the arguments are xrandr's), then
# queries once: the dummy driver's outputs are probed only by a full query,
# and Wine reads the probed state.
arrange_monitors() {
  xrandr "$@" && xrandr >/dev/null
}

# Starts a PulseAudio server of our own with one null sink, "speakers" (it
# plays in real time and its monitor can be recorded), in the given folder,
# which becomes its runtime folder. Nothing else finds it: a program uses it
# when PULSE_SERVER is set to VEXLAR_PULSE_SERVER, and Wine's ALSA device
# stays the default of everything else. Its process id is VEXLAR_PULSE_PID.
# Its log, VEXLAR_PULSE_LOG (pulseaudio.log in the folder), is at the debug
# level with the time of each line, which tells when a stream ran dry
# ("Implicit underrun of ...") and when it was fed again ("end of
# underrun"): some two thousand lines for the whole test command. False when
# it did not start.
start_sound_server() {
  local folder=$1
  rm -rf "$folder"
  mkdir -p "$folder"
  chmod 700 "$folder"
  # Anonymous clients: no cookie to share, and the folder's mode keeps others out.
  XDG_RUNTIME_DIR="$folder" XDG_CONFIG_HOME="$folder/config" PULSE_SERVER="" \
    pulseaudio --daemonize=yes --use-pid-file=yes --exit-idle-time=-1 --disallow-exit -n \
    --log-target="file:$folder/pulseaudio.log" --log-level=debug --log-time=true \
    --load="module-native-protocol-unix auth-anonymous=1" --load="module-cli-protocol-unix" \
    --load="module-null-sink sink_name=speakers" || return 1
  VEXLAR_PULSE_PID=$(cat "$folder/pulse/pid" 2>/dev/null) || return 1
  export VEXLAR_PULSE_SERVER="unix:$folder/pulse/native" VEXLAR_PULSE_LOG="$folder/pulseaudio.log"
}

# Stops the server that start_sound_server started, by its process id, and
# waits for it to end.
stop_sound_server() {
  [ -n "${VEXLAR_PULSE_PID:-}" ] || return 0
  kill "$VEXLAR_PULSE_PID" 2>/dev/null || true
  for _ in $(seq 1 50); do
    kill -0 "$VEXLAR_PULSE_PID" 2>/dev/null || break
    sleep 0.1
  done
  VEXLAR_PULSE_PID=""
}
