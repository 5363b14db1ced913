#!/usr/bin/env bash
# Builds everything and runs every test: natively (with AddressSanitizer
# and UndefinedBehaviorSanitizer, and the window's threading protocol under
# ThreadSanitizer), each fuzz target for a short while, and the Windows
# build under Wine, where the same test sources exercise the Win32 backend.
# The native tests run once, in the sanitizer build: a plain Debug build
# would run them again and catch nothing more, since the code has no
# assertions of its own.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

jobs=$(nproc)
run_suite() {
  local dir=$1
  shift
  cmake -S . -B "$dir" "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
  ctest --test-dir "$dir" --output-on-failure -j"$jobs"
}

echo "== native, sanitizers"
run_suite build/sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSANITIZE=ON
echo "== native, thread sanitizer"
run_suite build/tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTHREAD_SANITIZE=ON \
  -DEXTRACTOR_TEST_DIRS="support;threads"
echo "== fuzz targets, ${FUZZ_SECONDS:=30} s each"
for target in directory inflate crypto extract streams; do
  log=build/fuzz-$target.log
  if ! FUZZ_BUILD_JOBS=$jobs fuzz/run.sh "$target" "$FUZZ_SECONDS" >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "fuzz target $target failed; its log: $log" >&2
    exit 1
  fi
  echo "$target: $(grep -aE '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n 1)"
done
echo "== windows, under wine"
source scripts/wine-prefix.sh
run_suite build/windows -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
echo "All tests passed."
