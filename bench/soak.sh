#!/usr/bin/env bash
# A night at the exhibition: the demo with --loop for MINUTES on a virtual
# display of its own (an Xorg dummy server as root, whose resolution can be
# changed; Xvfb otherwise), playing through a PulseAudio server of its own
# (started as the test command starts its one, scripts/wine-env.sh) in a Wine
# prefix of its own, while a desk's events come every EVERY seconds in turn:
# the sink replaced by another; the sink removed for a while and brought back;
# the window minimised and restored; another window in front (as Alt+Tab) and
# the demo's again; the display's resolution changed and back (Xorg only).
# None comes within 10 s before a loop's seam or 5 s after it, where the sink
# is recorded: at each seam the moment the music's start was heard
# (av_alignment.exe seam) is set against the moment the picture's time was 0
# (soak_desk.exe watch, from the background's green).
# The demo's Linux process is sampled every SAMPLE seconds (resident and
# anonymous memory, threads, open descriptors), the Windows figures of its
# process every SAMPLE seconds too (private bytes, handles, GDI and USER
# objects, working set; Wine answers 0 for all but the working set). Prints
# one line a figure: first, last, and its trend per hour after the warm-up,
# fitted to the median of each minute; the seams' offsets (the music heard
# less the picture's time); and the exit code after Escape.
# --check fails (exit code 1) on a trend of the anonymous memory above
# BOUND MB an hour, a thread or descriptor count higher in the run's second
# half than in its first, an offset at a seam outside 20 ms (and how well the
# recording's start is known; ahead, also the time the stream ran dry since
# it came to the sink, see sink-recording.sh, and two of the picture's frames
# there), a seam whose sound matched
# nothing although the stream ran dry for less than a second, a minimise or
# restore of the window that did not happen, or an exit code other than 0.
# "--check none" judges all of that but the memory, which it tells. A seam whose sound a long-starved stream broke beyond a
# match is told, not judged; with --tell-seams every seam is (as beside the
# test command's suites, whose load shows the picture on the screen late).
# --bare runs bench/bare_player.exe (WASAPI without our library, a window
# without a picture) in the demo's place: what grows there is not ours.
# --events "replace remove minimise away resolution" chooses the events, in
# their turn; --name NAME gives the run a prefix, sound server and display of
# its own (--bare's are named bare), so that runs can go side by side.
# VEXLAR_SOAK_KEEP=1 keeps the run's folder (samples, the watch's lines, the
# seams), which --report FOLDER reads again.
# Usage: bench/soak.sh [MINUTES (60)] [--every SECONDS (20)] [--sample SECONDS (5)]
#        [--warm-up MINUTES (5, or a quarter of a shorter run)] [--check BOUND | none] [--tell-seams] [--bare]
#        [--events LIST] [--name NAME] | --report FOLDER
set -euo pipefail
# A run named (the bare program's is "bare") has its own prefix, server and
# display, so that several can run at once.
suffix=$(for argument in "$@"; do
  [ "${named:-}" != 1 ] || echo "-$argument"
  named=$([ "$argument" = --name ] && echo 1 || echo 0)
  [ "$argument" != --bare ] || echo -bare
done | tail -n 1)
export VEXLAR_WINE_PREFIX=wineprefix-soak$suffix
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/setup.sh"
# shellcheck source=scripts/sink-recording.sh
source "$VEXLAR_ROOT/scripts/sink-recording.sh"

minutes=60 every=20 sample=5 warm_up="" bound="" bare="" chosen="" kept="" tell_seams=""
while [ $# -gt 0 ]; do
  case $1 in
    --every) every=$2; shift ;;
    --sample) sample=$2; shift ;;
    --warm-up) warm_up=$2; shift ;;
    --check) bound=$2; shift ;;
    --bare) bare=1 ;;
    --tell-seams) tell_seams=1 ;;
    --name) shift ;;
    --events) chosen=$2; shift ;;
    --report) kept=$2; shift ;;
    *) minutes=$1 ;;
  esac
  shift
done
warm_up=${warm_up:-$(awk -v m="$minutes" 'BEGIN { print (m >= 20 ? 5 : m / 4) }')}

# One line a figure, from the files of a run in the current folder; with a
# bound, as --check says. Returns 1 when a check failed.
report() {
  local bound=$1 failed=0 name seconds begin every sample minutes warm_up bare code events undone=""
  # shellcheck disable=SC1091
  source ./run
  echo "$name for $seconds s, events every $every s: $events"
  [ -z "$undone" ] || echo "events that did not happen: $undone"
  # "first last trend-per-hour" of a column of the samples, in MB, the trend
  # fitted to the median of each stretch from the warm-up's end (counted
  # from the picture's start) on: a minute, or an eighth of a shorter run.
  # The anonymous memory moves by ±1 MB from sample to sample with nothing
  # happening, and now and then by a step of several MB, up or down.
  local stretch warm_end
  stretch=$(awk -v m="$minutes" 'BEGIN { print (m >= 8 ? 60 : m * 60 / 8) }')
  warm_end=$(awk -v w="$warm_up" -v b="$begin" '$1 == "start" { s = $2 / 1e6 - b } END { printf "%.0f\n", s + w * 60 }' watch.log)
  fit() {
    awk -v c="$1" -v warm="$warm_end" -v stretch="$stretch" '
      { if (NR == 1) first = $c; last = $c }
      $1 >= warm { m = int(($1 - warm) / stretch); count[m]++; value[m, count[m]] = $c; sum[m] += $1 }
      END {
        for (m in count) {
          # The median of the stretch, at the mean time of its samples.
          k = count[m]
          for (i = 2; i <= k; i++) for (j = i; j > 1 && value[m, j - 1] > value[m, j]; j--) {
            t = value[m, j]; value[m, j] = value[m, j - 1]; value[m, j - 1] = t
          }
          y = k % 2 ? value[m, (k + 1) / 2] : (value[m, k / 2] + value[m, k / 2 + 1]) / 2
          x = sum[m] / k
          n++; sx += x; sy += y; sxx += x * x; sxy += x * y
        }
        slope = n > 1 ? (n * sxy - sx * sy) / (n * sxx - sx * sx) : 0
        printf "%.1f %.1f %+.2f\n", first / 1024, last / 1024, slope * 3600 / 1024
      }' samples
  }
  echo "(sampled every $sample s; the trends fitted from $warm_up min after the picture's start to the median" \
    "of each $stretch s)"
  local first last anon_trend trend half1 half2 column label
  read -r first last anon_trend <<<"$(fit 2)"
  echo "anonymous memory: first $first MB, last $last MB, trend $anon_trend MB/hour"
  read -r first last trend <<<"$(fit 3)"
  echo "resident memory: first $first MB, last $last MB, trend $trend MB/hour"
  for column in 4 5; do
    label=$([ "$column" = 4 ] && echo threads || echo "open descriptors")
    read -r first last half1 half2 <<<"$(awk -v c="$column" '{ v[NR] = $c } END {
        for (i = 1; i <= NR; i++) { if (i <= NR / 2) { if (v[i] > a) a = v[i] } else if (v[i] > b) b = v[i] }
        printf "%d %d %d %d\n", v[1], v[NR], a, b }' samples)"
    echo "$label: first $first, last $last, most in the first half $half1, in the second half $half2"
    if [ -n "$bound" ] && [ "$half2" -gt "$half1" ]; then
      echo "FAIL the $label grew" >&2
      failed=1
    fi
  done
  awk '$1 == "figures" { if (!n++) { p = $4; h = $6; g = $8; u = $10; w = $12 } lp = $4; lh = $6; lg = $8; lu = $10; lw = $12 }
    END { if (n) printf "Windows figures (first, last): private bytes %d, %d; handles %d, %d; GDI objects %d, %d; USER objects %d, %d; working set %.1f, %.1f MB%s\n",
            p, lp, h, lh, g, lg, u, lu, w / 1048576, lw / 1048576, (lp == 0 && lh == 0) ? " (Wine answers 0 for all but the working set)" : "" }' watch.log
  if [ -s seams ]; then
    cat seams
  elif [ -z "$bare" ]; then
    echo "no seam came"
  fi
  echo "exit code after Escape: $code"
  [ -n "$bound" ] || return 0
  if [ "$bound" = none ]; then
    echo "(the memory is told, not judged)"
  elif awk -v t="$anon_trend" -v b="$bound" 'BEGIN { exit !(t > b) }'; then
    echo "FAIL the anonymous memory grew $anon_trend MB an hour, more than $bound" >&2
    failed=1
  fi
  if [ -n "$tell_seams" ]; then
    echo "(the seams are told, not judged)"
  elif grep -q "OUT OF BOUNDS" seams; then
    echo "FAIL an offset at a seam was out of bounds" >&2
    failed=1
  fi
  if [ -z "$tell_seams" ] && grep -q "UNMEASURED" seams; then
    echo "FAIL a seam's sound matched nothing, though the stream ran dry for less than a second" >&2
    failed=1
  fi
  if [[ "$undone" == *minimise* || "$undone" == *restore* ]]; then
    echo "FAIL a minimise or restore did not happen" >&2
    failed=1
  fi
  if [ "$code" != 0 ]; then
    echo "FAIL the exit code after Escape was $code" >&2
    failed=1
  fi
  return "$failed"
}
if [ -n "$kept" ]; then
  cd "$kept"
  report "$bound"
  exit
fi

cmake --build "$BUILD_DIR" --parallel "$(nproc)" --target run_folder soak_desk av_alignment bare_player >/dev/null
work=$(mktemp -d)
desk=()
cleanup() {
  for pid in "${desk[@]}"; do kill "$pid" 2>/dev/null || true; done
  wineserver -k >/dev/null 2>&1 || true
  stop_sound_server
  stop_dummy_xorg
  [ -z "${VEXLAR_XVFB_PID:-}" ] || kill "$VEXLAR_XVFB_PID" 2>/dev/null || true
  if [ -n "${VEXLAR_SOAK_KEEP:-}" ] || [ -f "$work/hung-stacks.txt" ]; then echo "kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

resizable=""
if [ "$(id -u)" -eq 0 ] && start_dummy_xorg "$BUILD_DIR/xorg-soak$suffix"; then
  resizable=1
  xrandr --output DUMMY0 --mode 1280x720 >/dev/null
else
  start_x_server Xvfb -screen 0 1280x720x24 -nolisten tcp || { echo "Xvfb did not start" >&2; exit 1; }
  VEXLAR_XVFB_PID=$VEXLAR_X_PID
fi
wineserver -p
wine cmd.exe /c exit >/dev/null 2>&1 </dev/null || true
if ! start_sound_server "$BUILD_DIR/sound-server-soak$suffix"; then
  echo "PulseAudio did not start; its log is $BUILD_DIR/sound-server-soak$suffix/pulseaudio.log" >&2
  exit 1
fi
export PULSE_SERVER=$VEXLAR_PULSE_SERVER
cp "$BUILD_DIR/bench/soak_desk.exe" "$BUILD_DIR/bench/av_alignment.exe" "$BUILD_DIR/bench/bass.dll" \
  "$BUILD_DIR/bench/bare_player.exe" "$work"
ffmpeg -hide_banner -loglevel error -i "$VEXLAR_ROOT/audio/music.mp3" -f s16le -ar 44100 -ac 2 "$work/music.raw"
cd "$work"

if [ -n "$bare" ]; then
  program=(wine bare_player.exe music.raw)
  name=bare_player.exe
else
  program=(wine vexlar.exe --loop)
  name=vexlar.exe
fi
(cd "$([ -n "$bare" ] && echo "$work" || echo "$BUILD_DIR/run")" && exec "${program[@]}" >/dev/null 2>&1) &
launcher=$!
# The Linux process of the Windows program: its command line names it, and
# its environment this run's prefix (another demo may run beside, in another).
pid=""
for _ in $(seq 1 150); do
  for candidate in /proc/[0-9]*; do
    if tr '\0' ' ' 2>/dev/null <"$candidate/cmdline" | grep -q "^[^ ]*$name" &&
      tr '\0' '\n' 2>/dev/null <"$candidate/environ" | grep -qx "WINEPREFIX=$WINEPREFIX"; then
      pid=${candidate#/proc/}
    fi
  done
  [ -n "$pid" ] && wine soak_desk.exe find >/dev/null 2>&1 && break
  pid=""
  sleep 0.2
done
if [ -z "$pid" ]; then
  echo "the program did not open its window" >&2
  exit 1
fi
wine soak_desk.exe watch "$sample" >watch.log 2>/dev/null &
desk+=($!)
begin=$(date +%s)
finish=$((begin + ${minutes%.*} * 60 + $(awk -v m="$minutes" 'BEGIN { printf "%d", (m - int(m)) * 60 }')))

# The sink the music plays on now ("" while there is none), and where the
# server's log stood when the stream came to it.
sink=speakers
sink_log_line=1
log_lines() { wc -l <"$VEXLAR_PULSE_LOG"; }
plug_in() {
  pactl load-module module-null-sink "sink_name=$1" >/dev/null
  pactl set-default-sink "$1"
  sink=$1
  sink_log_line=$(($(log_lines) + 1))
}
unplug() {
  local module
  module=$(pactl list short modules | awk -v name="sink_name=$sink" '$0 ~ name { print $1 }')
  [ -z "$module" ] || pactl unload-module "$module"
  sink=""
}

# Seams: the next one expected (Unix seconds), from the picture's time as
# the watch follows it. Events stay out of [seam - 10, seam + 5].
next_seam() {
  awk -v now="$(date +%s)" '$1 == "start" || $1 == "seam" || $1 == "zero" { last = $2 / 1e6 }
    END { if (last == "") print now + 64; else { while (last < now - 5) last += 64; printf "%.3f\n", last } }' watch.log
}
quiet_until() {  # the end of the quiet time around the next seam, if now is in it; else nothing
  awk -v seam="$(next_seam)" -v now="$(date +%s.%N)" 'BEGIN { if (now >= seam - 10 && now < seam + 5) printf "%.0f\n", seam + 5 }'
}

# One desk event after another; each takes up to half an interval.
events=(replace remove minimise away)
[ -z "$resizable" ] || events+=(resolution)
if [ -n "$chosen" ]; then
  read -r -a events <<<"$chosen"
fi
event_count=0
do_event() {
  local kind=${events[$((event_count % ${#events[@]}))]} hold
  hold=$(awk -v e="$every" 'BEGIN { printf "%.1f", e / 2 }')
  event_count=$((event_count + 1))
  case $kind in
    replace)
      local old=$sink
      unplug
      plug_in "$([ "$old" = speakers ] && echo headphones || echo speakers)"
      ;;
    remove)
      local old=$sink
      unplug
      sleep "$hold"
      plug_in "$old"
      ;;
    minimise)
      wine soak_desk.exe minimise >/dev/null 2>&1 || undone[minimise]=$((${undone[minimise]:-0} + 1))
      sleep "$hold"
      wine soak_desk.exe restore >/dev/null 2>&1 || undone[restore]=$((${undone[restore]:-0} + 1))
      ;;
    away) wine soak_desk.exe away "${hold%.*}000" >/dev/null 2>&1 || undone[away]=$((${undone[away]:-0} + 1)) ;;
    resolution)
      arrange_monitors --output DUMMY0 --mode 1024x768
      sleep "$hold"
      arrange_monitors --output DUMMY0 --mode 1280x720
      ;;
  esac
  counts[$kind]=$((${counts[$kind]:-0} + 1))
}
declare -A counts undone

# At a seam: the sink recorded from 8 s before to 4 s after; then the sound's
# seam matched and set against the picture's.
seam_count=0
check_seam() {
  local seam=$1 file dry line sound picture
  seam_count=$((seam_count + 1))
  file=seam-$seam_count.raw
  record_sink "$sink" "$file"
  # Until 4 s after the picture's seam, which a slow picture puts off (at most 20 s).
  local from=$seam
  while awk -v s="$(awk -v from="$from" '$1 == "seam" && $2 / 1e6 > from - 10 { seen = $2 / 1e6 } END { print seen }' watch.log)" \
    -v expected="$(next_seam)" -v now="$(date +%s.%N)" -v from="$from" \
    'BEGIN { exit !(now < from + 20 && (s == "" ? now < expected + 4 : now < s + 4)) }'; do
    sleep 0.5
  done
  stop_recording "$recorder"
  dry=$(stream_dry_ms "$VEXLAR_PULSE_LOG" "$sink_log_line")
  line=$(wine av_alignment.exe seam music.raw "$file" "$recorded_from" 2>/dev/null | tr -d '\r' || true)
  [ -n "${VEXLAR_SOAK_KEEP:-}" ] || rm -f "$file"
  sound=$(echo "$line" | awk '$1 == "seam" && $4 >= 0.6 { print $2 }')
  # A starved player's sound runs ahead of its picture by what the server dropped: seconds, at worst.
  picture=$(awk -v s="${sound:-0}" '$1 == "seam" && $2 - s < 30e6 && s - $2 < 30e6 { p = $2 } END { print p }' watch.log)
  # A picture drawn slowly shows its time late: by up to two of its frames
  # (one drawn while the one before waits to be shown).
  local frames
  frames=$(awk -v p="$picture" '$1 == "seam" && $2 == p { printf "%.0f\n", 2 * ($4 + 0) / 1000 }' watch.log)
  frames=${frames:-0}
  if [ -z "$sound" ] || [ -z "$picture" ]; then
    # A stream starved for long breaks the sound beyond a match; one that was not should match.
    echo "seam $seam_count: not measured (sound: ${line:-no match}; picture's seam ${picture:-not seen};" \
      "the stream dry $dry ms)$( ((dry < 1000)) && echo " UNMEASURED")" >>seams
    return
  fi
  awk -v p="$picture" -v s="$sound" -v w="$((recorded_within / 1000))" -v d="$dry" -v n="$seam_count" -v l="$line" \
    -v r="$frames" 'BEGIN { o = (p - s) / 1000; split(l, f, " ")
      printf "seam %d: heard - picture %+.1f ms (bound -%d to +%d ms: the recording dated within %d ms, the stream dry %d ms, two of the picture'\''s frames %d ms); the sound'\''s seam matched %s, its gap %s ms%s\n",
        n, o, 20 + w, 20 + w + d + r, w, d, r, f[4], f[6], (o < -20 - w || o > 20 + w + d + r) ? " OUT OF BOUNDS" : "" }' >>seams
}

# The samples, "seconds anonymous-KiB resident-KiB threads descriptors", beside the rest.
: >samples
(
  while [ "$(date +%s)" -lt "$finish" ] && kill -0 "$pid" 2>/dev/null; do
    awk -v t="$(($(date +%s) - begin))" -v fds="$(find "/proc/$pid/fd" -mindepth 1 -maxdepth 1 2>/dev/null | wc -l)" \
      '/^VmRSS/ { rss = $2 } /^RssAnon/ { anon = $2 } /^Threads/ { threads = $2 }
       END { print t, anon, rss, threads, fds }' "/proc/$pid/status" >>samples 2>/dev/null || true
    sleep "$sample"
  done
) &
desk+=($!)

# The run: events and seams.
: >seams
next_event=$((begin + every))
while [ "$(date +%s)" -lt "$finish" ] && kill -0 "$pid" 2>/dev/null; do
  now=$(date +%s)
  quiet=$(quiet_until)
  if [ -n "$quiet" ]; then
    seam=$(next_seam)
    if [ -z "$bare" ] && [ -n "$sink" ] && awk -v s="$seam" -v now="$(date +%s.%N)" 'BEGIN { exit !(now >= s - 8.5 && now < s - 6) }'; then
      check_seam "$seam"
    fi
  elif [ "$now" -ge "$next_event" ]; then
    # An event that would run into the next quiet time waits for it to pass.
    if awk -v s="$(next_seam)" -v now="$now" -v e="$every" 'BEGIN { exit !(now + e / 2 + 1 < s - 10) }'; then
      do_event
    fi
    next_event=$((next_event + every))
  fi
  sleep 0.2
done
[ -n "$sink" ] || plug_in speakers

# The end: Escape, and the exit code.
xdotool keydown Escape
sleep 0.5
xdotool keyup Escape
code=timeout
for _ in $(seq 1 150); do
  if ! kill -0 "$launcher" 2>/dev/null; then
    code=0
    wait "$launcher" || code=$?
    break
  fi
  sleep 0.2
done
# A process still there 30 s after Escape: where each of its threads stands,
# and whether its window went (the watch ends with it).
if [ "$code" = timeout ] && kill -0 "$pid" 2>/dev/null; then
  gdb -p "$pid" -batch -ex "thread apply all bt 12" >hung-stacks.txt 2>&1 || true
  echo "the program still ran 30 s after Escape, its window $(wine soak_desk.exe find >/dev/null 2>&1 &&
    echo "still there" || echo gone); its threads' stacks: $work/hung-stacks.txt" >>seams
  code="timeout (the process was killed)"
fi

# What the report needs of the run, beside the samples, the watch's lines and the seams.
cat >run <<RUN
name="$(basename "$name" .exe)$([ -n "$bare" ] || echo " --loop")"
seconds=$(($(date +%s) - begin))
begin=$begin every=$every sample=$sample minutes=$minutes warm_up=$warm_up bare=$bare code="$code"
events="$(for k in "${!counts[@]}"; do echo -n "$k ${counts[$k]}, "; done | sed 's/, $//')"
undone="$(for k in "${!undone[@]}"; do echo -n "$k ${undone[$k]}, "; done | sed 's/, $//')"
RUN
report "$bound"
