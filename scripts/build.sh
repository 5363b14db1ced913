#!/usr/bin/env bash
# Builds the Linux and Windows targets in Release, then the demo: the
# examples folder packed into build/demo/setup.exe and run under Wine (a
# window to work with a display, otherwise Xvfb and the GUI test driver),
# the extracted tree compared with the examples, a screenshot, and the
# packer's speed against Info-ZIP zip.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

jobs=$(nproc)
# Windows first: the native build copies its extractor.exe beside its packer.
cmake -S . -B build/windows-release -DCMAKE_BUILD_TYPE=Release -DEXTRACTOR_TESTS=OFF \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake >/dev/null
cmake --build build/windows-release -j"$jobs"
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DEXTRACTOR_TESTS=OFF >/dev/null
cmake --build build/release -j"$jobs"
# The GUI test driver, which works the window when there is no display.
cmake -S . -B build/windows-driver -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DEXTRACTOR_TEST_DIRS="support;gui" >/dev/null
cmake --build build/windows-driver -j"$jobs" --target gui_driver

source scripts/wine-prefix.sh
status=0
python3 scripts/demo.py --packer build/release/tools/extractor-pack/extractor-pack \
  --extractor build/windows-release/app/extractor.exe \
  --driver build/windows-driver/tests/gui/gui_driver.exe --wine scripts/wine-run.sh \
  --examples examples --demo build/demo || status=$?

echo
echo "== the packer's speed against zip, 7z and pigz (same input, same run; bench/pack/run.sh for more)"
python3 bench/pack/speed.py build/release/tools/extractor-pack/extractor-pack --size-mb 30 \
  --rounds 2 --levels 6
echo
echo "Screenshot: $PWD/build/demo/screenshot.png"
echo "Linux:   $PWD/build/release/tools/extractor-pack/extractor-pack"
echo "         $PWD/build/release/tools/extractor-cli/extractor-cli"
echo "Windows: $PWD/build/windows-release/tools/extractor-pack/extractor-pack.exe"
echo "         $PWD/build/windows-release/tools/extractor-cli/extractor-cli.exe"
echo "The self-extractor head: $PWD/build/windows-release/app/extractor.exe"
exit $status
