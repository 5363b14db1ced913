#!/usr/bin/env bash
# The packer's speed against Info-ZIP zip: the same input packed at levels
# 1, 6 and 9 by both, in alternating rounds of the same run; the best of
# three rounds counts. Prints MB/s of input and the packer's ratio to zip.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${BUILD:-build/release}
if [ ! -x "$build/tools/extractor-pack/extractor-pack" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DEXTRACTOR_TESTS=OFF >/dev/null
  cmake --build "$build" -j2 --target extractor-pack >/dev/null
fi
command -v zip >/dev/null || { echo "Info-ZIP zip is needed" >&2; exit 1; }
exec python3 bench/pack/speed.py "$PWD/$build/tools/extractor-pack/extractor-pack"
