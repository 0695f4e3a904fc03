#!/usr/bin/env bash
# The package command: builds the program and writes the release package
# build/vexlar-<version>-win64.zip, one folder vexlar-<version>/ holding the
# program, the capture program, the audio library, music, shaders and
# texture, and a README.txt.
# The same sources give the same bytes (see zip-package.sh).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

cmake --build "$BUILD_DIR" --parallel "$(nproc)" --target run_folder
zip_file=$("$VEXLAR_ROOT/scripts/zip-package.sh" "$BUILD_DIR" "$BUILD_DIR")
rm -rf "$BUILD_DIR/stage"
echo "Package: $zip_file ($(stat -c %s "$zip_file") bytes)"
