#!/usr/bin/env bash
# The packer's speed against Info-ZIP zip, 7-Zip's ZIP writer and pigz: the
# same input, as a tree and as one large file, packed at levels 1, 6 and 9
# by each, in alternating rounds of the same run; the best of three rounds
# counts. Prints MB/s of input, output bytes and the packer's ratio to each.
# Arguments go to speed.py (--size-mb, --rounds, --threads, --levels, --inputs).
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${BUILD:-build/release}
if [ ! -x "$build/tools/extractor-pack/extractor-pack" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DEXTRACTOR_TESTS=OFF >/dev/null
  cmake --build "$build" -j2 --target extractor-pack >/dev/null
fi
command -v zip >/dev/null || { echo "Info-ZIP zip is needed" >&2; exit 1; }
exec python3 bench/pack/speed.py "$PWD/$build/tools/extractor-pack/extractor-pack" "$@"
