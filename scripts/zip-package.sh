#!/usr/bin/env bash
# Writes the release package of a built build folder:
#   zip-package.sh <build folder> <output folder>
# installs the package's files into <output folder>/stage and zips them into
# <output folder>/vexlar-<version>-win64.zip, then prints the zip's path.
# Called by package.sh after the build, and by the package tests.
#
# Reproducible: every entry has the time of the last commit (or
# SOURCE_DATE_EPOCH), fixed permissions and no owner ids, and the entries are
# in sorted order, so the same sources give the same bytes.
set -euo pipefail

build_dir=$1
out_dir=$2
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

stage="$out_dir/stage"
rm -rf "$stage"
mkdir -p "$stage"
cmake --install "$build_dir" --prefix "$stage" >/dev/null
folders=("$stage"/vexlar-*)
if [ ${#folders[@]} -ne 1 ] || [ ! -f "${folders[0]}/vexlar.exe" ]; then
  echo "Installing $build_dir into $stage did not give one folder vexlar-<version> with vexlar.exe." >&2
  exit 1
fi
folder=$(basename "${folders[0]}")

epoch=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 1767225600)}
find "$stage" -type d -exec chmod 755 {} +
find "$stage" -type f -exec chmod 644 {} +
find "$stage" -exec touch -h -d "@$epoch" {} +

zip_file="$out_dir/$folder-win64.zip"
rm -f "$zip_file" "$zip_file.part"
# zip stores local times: one time zone for everyone. -X leaves out owner ids
# and the extra time stamps.
(cd "$stage" && find "$folder" -print | LC_ALL=C sort | TZ=UTC zip -X -q -@ "$zip_file.part")
mv "$zip_file.part" "$zip_file"
echo "$zip_file"
