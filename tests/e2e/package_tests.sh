#!/usr/bin/env bash
# End-to-end tests of the release package, as a Windows user gets it: made
# twice and compared, free of the folders it was built in, unzipped into a
# fresh folder and started there under a fresh Wine prefix at 150 % display
# scaling, from another working directory.
# Usage: package_tests.sh <build folder> <window probe> <version>
set -uo pipefail

build_dir=$1
probe=$2
version=$3
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=$(mktemp -d)
source "$(dirname "${BASH_SOURCE[0]}")/e2e_helpers.sh"

fresh_prefix="$work/prefix"
cleanup() {
  WINEPREFIX=$fresh_prefix wineserver -k >/dev/null 2>&1
  WINEPREFIX=$fresh_prefix wineserver -w >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT

# Two builds of the package by packagers with other time zones, file modes
# and folders must give the same bytes.
first=$(TZ=UTC "$root/scripts/zip-package.sh" "$build_dir" "$work/first") || exit 1
second=$(umask 077 && TZ=Pacific/Auckland "$root/scripts/zip-package.sh" "$build_dir" "$work/second") || exit 1
check "two package builds give identical zips" yes "$(cmp -s "$first" "$second" && echo yes || echo no)"
check "the zip is named for the version" "vexlar-$version-win64.zip" "$(basename "$first")"

# What the user unzips: one folder with the program, what it loads and README.txt.
# The shaders' sources too, which the author's mode compiles.
expected="vexlar-$version/ vexlar-$version/README.txt vexlar-$version/bass.dll vexlar-$version/music.mp3 \
vexlar-$version/shaders/ vexlar-$version/shaders/PSDefault.cso vexlar-$version/shaders/PixelShader.cso \
vexlar-$version/shaders/VSDefault.cso vexlar-$version/shaders/VertexShader.cso \
vexlar-$version/shaders/cube_pixel.hlsl vexlar-$version/shaders/cube_vertex.hlsl \
vexlar-$version/shaders/object_constants.hlsli vexlar-$version/shaders/pyramid_pixel.hlsl \
vexlar-$version/shaders/pyramid_vertex.hlsl vexlar-$version/shaders/tracks-example.txt vexlar-$version/textures/ \
vexlar-$version/textures/grass.jpg vexlar-$version/vexlar-capture.exe vexlar-$version/vexlar.exe"
check "the zip holds one folder with the program and its files" "$expected" "$(zipinfo -1 "$first" | xargs)"

unzipped="$work/unzipped"
unzip -q "$first" -d "$unzipped"
folder="$unzipped/vexlar-$version"

# Two clones in different folders give the same zip only if no file in it
# holds the folders it was built in (also a path that exists only on the
# machine that built it): a path into the source tree or the build folder, as
# Linux or as Wine's drive Z: spells it, or as a symbol made from a file's
# path spells it (dlltool names a library's symbols so), in 8-bit or UTF-16
# text. Only paths into the project's own folders count: the MinGW runtime
# linked in holds paths of the machine Debian built it on, the same for everyone.
for base in "$root" "$build_dir"; do
  for sub in $( (cd "$root" && find . -mindepth 1 -maxdepth 1 -type d ! -name '.*' -printf '%f\n') &&
    (cd "$base" && find . -mindepth 1 -maxdepth 1 -type d ! -name '.*' -printf '%f\n')); do
    echo "$base/$sub" && echo "${base//\//\\}\\$sub"
    echo "${base#/}/$sub" | sed 's/[^A-Za-z0-9]/_/g'
  done
done | sort -u >"$work/built-in-paths"
holding=""
for file in $(cd "$folder" && find . -type f | LC_ALL=C sort); do
  if (x86_64-w64-mingw32-strings -a -e S "$folder/$file" && x86_64-w64-mingw32-strings -a -e l "$folder/$file") |
    grep -qiF -f "$work/built-in-paths"; then
    holding+="${file#./} "
  fi
done
check "no file in the zip names the folders it was built in" "" "$holding"

# A link time in the header would make every build's bytes differ.
for binary in vexlar.exe vexlar-capture.exe bass.dll; do
  check "$binary has no link time in its header" "Thu Jan  1 00:00:00 1970" \
    "$(TZ=UTC x86_64-w64-mingw32-objdump -p "$folder/$binary" | sed -n 's/^Time\/Date\t\t//p')"
done

echo "Creating a fresh Wine prefix"
export WINEPREFIX=$fresh_prefix
DISPLAY='' wineboot -i >/dev/null 2>&1
wineserver -w

# The executables import nothing but bass.dll and what Windows itself has:
# a MinGW runtime DLL would be missing on the user's machine.
for binary in vexlar.exe vexlar-capture.exe bass.dll; do
  foreign=""
  for dll in $(x86_64-w64-mingw32-objdump -p "$folder/$binary" | sed -n 's/^[[:space:]]*DLL Name: //p'); do
    lower=${dll,,}
    if [ "$lower" != bass.dll ] && [ ! -f "$WINEPREFIX/drive_c/windows/system32/$lower" ]; then
      foreign+="$dll "
    fi
  done
  check "$binary imports only system DLLs and bass.dll" "" "$foreign"
done

# 150 % display scaling, where Windows gives a program without per-monitor
# awareness scaled-down screen metrics, so that it draws below the screen's
# resolution.
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1
wine reg add 'HKCC\Software\Fonts' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1
wineserver -k
wineserver -w
wineserver -p

screen=$(xdotool getdisplaygeometry | tr ' ' x)
elsewhere="$work/elsewhere"
mkdir -p "$elsewhere"
(cd "$elsewhere" && exec timeout 90 wine "$folder/vexlar.exe") &
program=$!
if wait_for_first_frames 300; then
  check "started from another folder, the picture moves with the music" yes "$(picture_moves)"
  centre=$(xwd -root -silent | /usr/bin/convert xwd:- -gravity center -crop 1x1+0+0 -format '%[hex:p]' info:)
  corner=$(xwd -root -silent | /usr/bin/convert xwd:- -crop 1x1+2+2 -format '%[hex:p]' info:)
  check "started from another folder, the cube is drawn at the centre" yes \
    "$([ "$centre" != "$corner" ] && echo yes || echo no)"
  window=$(xdotool search --name '^Vexlar-engine$' | head -1)
  check "at 150 % scaling the window covers the whole screen" "$screen" \
    "$(xdotool getwindowgeometry "$window" | sed -n 's/.*Geometry: //p')"
  report=$(wine "$probe" 2>/dev/null | tr -d '\r')
  field() { sed -n "s/^$1 //p" <<<"$report"; }
  check "the running program is per-monitor DPI aware" per-monitor "$(field awareness)"
  # Wine 8 makes every process per-monitor aware, manifest or not: what
  # Windows reads from the program's manifest is asked of its loader too.
  check "the program's manifest asks for per-monitor awareness V2, then V1" \
    "PerMonitorV2, PerMonitor" "$(field manifest-dpi-awareness)"
  check "the program's manifest has the older per-monitor setting" true/pm "$(field manifest-dpi-aware)"
  check "the program's manifest runs it as the invoker" yes "$(field manifest-as-invoker)"
  check "the program's manifest names Windows 10 and 11" yes "$(field manifest-windows-10)"
  check "the running program's executable has the version $version" "$version" "$(field version)"
  check "the running program's executable has an icon" yes "$([ "$(field icons)" -ge 1 ] 2>/dev/null && echo yes || echo no)"
  hold_escape; wait_for_exit
  check "Escape held ends the unzipped program with exit code 0" 0 "$exit_code"
else
  check "the unzipped program opens its window and draws" yes no
fi

finish
