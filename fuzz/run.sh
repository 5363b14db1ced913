#!/usr/bin/env bash
# Builds the fuzz targets and runs one of them for a while:
#   fuzz/run.sh TARGET SECONDS [more libFuzzer options]
# TARGET is directory, inflate, crypto, extract, bzip2, lzma or xz. The run starts from the
# seeds in fuzz/corpus/TARGET and the regression inputs in
# fuzz/regressions/TARGET, and keeps what it finds in build/fuzz/corpus/TARGET.
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:?target: directory, inflate, crypto, extract, bzip2, lzma or xz}
seconds=${2:?seconds}
shift 2

build=build/fuzz
if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DSANITIZE=ON -DEXTRACTOR_FUZZ=ON -DEXTRACTOR_TESTS=OFF >/dev/null
fi
cmake --build "$build" -j"${FUZZ_BUILD_JOBS:-2}" --target "${target}_fuzzer" >/dev/null

case $target in
  directory | extract) max_len=70000 ;;
  inflate | bzip2 | lzma | xz) max_len=140000 ;;
  *) max_len=20000 ;;
esac

found=$build/corpus/$target
mkdir -p "$found"
seeds=(fuzz/corpus/"$target")
[ -d fuzz/regressions/"$target" ] && seeds+=(fuzz/regressions/"$target")
# Scratch files go to memory where there is some.
[ -d /dev/shm ] && export TMPDIR=/dev/shm
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
exec "$build/fuzz/${target}_fuzzer" "$found" "${seeds[@]}" -dict=fuzz/zip.dict \
  -max_total_time="$seconds" -max_len="$max_len" -timeout=20 -rss_limit_mb=2560 \
  -artifact_prefix="$build/$target-" -print_final_stats=1 "$@"
