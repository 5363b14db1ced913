#!/usr/bin/env bash
# Builds the streams benchmark (Release) and runs it:
#   bench/streams/run.sh [MiB per corpus file] [bzip2|lzma|xz|zstd|ppmd] [corpus file name]
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$root/build-bench-streams"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DEXTRACTOR_BENCH=ON -DEXTRACTOR_TESTS=OFF >/dev/null
cmake --build "$build" --target streams_bench -j"$(nproc)" >/dev/null
exec "$build/bench/streams/streams_bench" "$@"
