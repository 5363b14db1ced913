#!/usr/bin/env bash
# Instructions per output byte of this decoder and libdeflate's, counted by
# callgrind (repeatable where timings are not), and the conditional branches
# per KiB of output that callgrind's simple predictor model mispredicts (a
# rough guide where the processor's own counters cannot be read):
#   bench/inflate/count.sh [MiB per corpus file] [corpus files] [levels] [decoders]
# e.g. bench/inflate/count.sh 1 "text binaries" "6" "ours"
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$root/build-bench-inflate"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DEXTRACTOR_BENCH=ON -DEXTRACTOR_TESTS=OFF >/dev/null
cmake --build "$build" --target inflate_bench -j2 >/dev/null
mib=${1:-1}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
count() {  # corpus level decoder function; prints instructions and mispredicts
  valgrind --tool=callgrind --branch-sim=yes --callgrind-out-file="$out/cg" \
    --toggle-collect="$4" "$build/bench/inflate/inflate_bench" "$mib" "$1" "$2" "$3" 2>&1 |
    sed -n 's/.*Collected : \([0-9]*\) [0-9]* \([0-9]*\).*/\1 \2/p'
}
printf '%-12s %5s %10s %10s %9s %10s %10s\n' corpus level "ours I/B" "ldef I/B" ours/ldef \
  "ours M/KiB" "ldef M/KiB"
corpora=${2:-text binaries include-tar repetitive random}
levels=${3:-1 6 9}
decoders=${4:-ours ldef}
for corpus in $corpora; do
  bytes=$((mib << 20))
  [[ $corpus == random ]] && bytes=$((bytes / 2))
  for level in $levels; do
    ours="1 0" ldef="1 0"
    [[ $decoders == *ours* ]] && ours=$(count "$corpus" "$level" ours 'extractor::inflateStep*')
    [[ $decoders == *ldef* ]] && ldef=$(count "$corpus" "$level" ldef libdeflate_deflate_decompress_ex)
    awk -v c="$corpus" -v l="$level" -v o="$ours" -v d="$ldef" -v b="$bytes" \
      'BEGIN { split(o, x, " "); split(d, y, " "); k = b / 1024
        printf "%-12s %5d %10.2f %10.2f %9.2f %10.1f %10.1f\n", c, l, x[1] / b, y[1] / b,
          x[1] / y[1], x[2] / k, y[2] / k }'
  done
done
