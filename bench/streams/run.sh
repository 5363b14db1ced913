#!/usr/bin/env bash
# Builds the bzip2, LZMA and PPMd benchmark (Release) and runs it:
#   bench/streams/run.sh [MiB per corpus file] [bzip2|lzma|ppmd] [corpus file name]
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$root/build-bench-streams"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DEXTRACTOR_BENCH=ON -DEXTRACTOR_TESTS=OFF >/dev/null
cmake --build "$build" --target streams_bench -j"$(nproc)" >/dev/null
exec "$build/bench/streams/streams_bench" "$@"
