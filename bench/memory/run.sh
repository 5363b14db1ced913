#!/usr/bin/env bash
# Peak memory of extractor-cli on 20,000 small entries whole and split (see
# entries.sh), on a deflate bomb and on entries of 2 GiB, measured with
# /usr/bin/time (maximum resident set size). The archives
# are made in a temporary folder and removed again; the 2 GiB outputs need
# that much free space there. Expects the main build (bash scripts/build.sh).
set -euo pipefail
cd "$(dirname "$0")/../.."
cli=${1:-build/release/tools/extractor-cli/extractor-cli}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
bench/memory/entries.sh "$cli"
python3 bench/memory/make_archives.py "$work"
for archive in bomb big-stored big-deflated; do
  /usr/bin/time -f "%M %e" -o "$work/time" "$cli" "$work/$archive.zip" "$work/out" 2>"$work/err" ||
    true
  read -r kib seconds < "$work/time"
  echo "$archive: peak $kib KiB, $seconds s, output $(find "$work/out" -type f -printf '%s\n' | awk '{n += $1} END {print n}') bytes;" \
    "$(tr '\n' ' ' < "$work/err")"
  rm -rf "$work/out"
done
