#!/usr/bin/env bash
# Peak memory of extractor-cli on many small entries: the same 20,000 files
# packed whole and split into 64k volumes, extracted in turn. What one entry
# keeps should not add up, so the two peaks should lie within a few hundred
# KiB of each other. Maximum resident set size from /usr/bin/time; a .exe
# runs under wine (in WINEPREFIX, or a fresh prefix).
#
# usage: bench/memory/entries.sh [EXTRACTOR_CLI] [ENTRIES]
#   EXTRACTOR_CLI defaults to build/release/tools/extractor-cli/extractor-cli;
#   the packer is build/release/tools/extractor-pack/extractor-pack.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cli=$(realpath "${1:-$root/build/release/tools/extractor-cli/extractor-cli}")
entries=${2:-20000}
packer=$root/build/release/tools/extractor-pack/extractor-pack
source "$root/scripts/cli-runner.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/extractor-entries.XXXXXX")
trap 'rm -rf "$work"; [[ -n ${wine_root:-} ]] && cleanup_wine' EXIT

python3 - "$work/files" "$entries" <<'EOF'
import os, sys
top, count = sys.argv[1], int(sys.argv[2])
for i in range(count):
    folder = os.path.join(top, "d%03d" % (i // 100))
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "f%05d.txt" % i), "w") as f:
        f.write(("file %d\n" % i) * 3)
EOF
printf 'MZ' > "$work/stub.exe"
mkdir -p "$work/whole" "$work/split"
"$packer" -o "$work/whole/setup.exe" --stub "$work/stub.exe" "$work/files" >/dev/null 2>&1
"$packer" -o "$work/split/setup.exe" --stub "$work/stub.exe" --split 64k "$work/files" \
  >/dev/null 2>&1
volumes=$(($(ls "$work/split" | wc -l) - 1))

for kind in whole split; do
  rm -rf "$work/out"
  /usr/bin/time -f "%M %e" -o "$work/time" "${runner[@]}" "$cli" "$work/$kind/setup.exe" \
    "$work/out" 2>"$work/err" || true
  read -r kib seconds < "$work/time"
  written=$(find "$work/out" -type f | wc -l)
  label=$kind
  [[ $kind == split ]] && label="split ($volumes volumes)"
  echo "$entries entries, $label: peak $kib KiB, $seconds s, $written files;" \
    "$(head -c 200 "$work/err" | tr '\n' ' ')"
done
