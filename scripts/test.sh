#!/usr/bin/env bash
# Builds everything and runs every test: natively (Debug, then with
# AddressSanitizer and UndefinedBehaviorSanitizer) and the Windows build
# under Wine, where the same test sources exercise the Win32 backend.
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

echo "== native"
run_suite build/native -DCMAKE_BUILD_TYPE=Debug
echo "== native, sanitizers"
run_suite build/sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSANITIZE=ON
echo "== windows, under wine"
source scripts/wine-prefix.sh
run_suite build/windows -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
echo "All tests passed."
