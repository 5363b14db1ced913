#!/usr/bin/env bash
# Builds the inflate benchmark (Release) and runs it:
#   bench/inflate/run.sh [MiB per corpus file]
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$root/build-bench-inflate"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DEXTRACTOR_BENCH=ON -DEXTRACTOR_TESTS=OFF >/dev/null
cmake --build "$build" --target inflate_bench -j"$(nproc)" >/dev/null
exec "$build/bench/inflate/inflate_bench" "$@"
