#!/usr/bin/env bash
# Builds the Linux and Windows targets in Release and shows the command-line
# runner at work: an archive appended to a program file, listed, extracted
# and compared with what went in.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

jobs=$(nproc)
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DEXTRACTOR_TESTS=OFF >/dev/null
cmake --build build/release -j"$jobs"
cmake -S . -B build/windows-release -DCMAKE_BUILD_TYPE=Release -DEXTRACTOR_TESTS=OFF \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake >/dev/null
cmake --build build/windows-release -j"$jobs"

cli=build/release/tools/extractor-cli/extractor-cli
demo=$(mktemp -d)
trap 'rm -rf "$demo"' EXIT
mkdir -p "$demo/in/docs"
cp README.md "$demo/in/docs/"
head -c 300000 /usr/bin/cmake > "$demo/in/tool.bin"
(cd "$demo/in" && zip -qr -9 "$demo/payload.zip" .)
cat "$cli" "$demo/payload.zip" > "$demo/setup.bin"
zip -qA "$demo/setup.bin"
echo "== the entries of a self-extracting file"
"$cli" --list "$demo/setup.bin"
"$cli" "$demo/setup.bin" "$demo/out"
diff -r "$demo/in" "$demo/out" && echo "== extracted: identical to the input"

echo
echo "Linux:   $PWD/$cli"
echo "Windows: $PWD/build/windows-release/tools/extractor-cli/extractor-cli.exe"
echo "The self-extractor head: $PWD/build/windows-release/app/extractor.exe"
