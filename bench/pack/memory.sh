#!/usr/bin/env bash
# Peak memory of packing one large file: a sparse file of 5 GiB (zeros,
# deflated in chunks on every worker), with --workers 1 and with one worker
# per processor, measured by /usr/bin/time; the archive is then tested by
# unzip -t. Memory should not grow with the file: at most four chunks or
# files per worker and 64 MiB of joined output stay in memory.
#
# usage: bench/pack/memory.sh [PACKER [GIB]]
set -euo pipefail
cd "$(dirname "$0")/../.."
packer=$(realpath "${1:-build/release/tools/extractor-pack/extractor-pack}")
gib=${2:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
truncate -s "${gib}G" "$work/large.img"
head -c 100000 /dev/zero >"$work/stub"
for workers in 1 "$(nproc)"; do
  /usr/bin/time -f "--workers $workers: %e s, peak %M KiB" "$packer" -o "$work/out$workers.exe" \
    --stub "$work/stub" --workers "$workers" "$work/large.img" >/dev/null
done
cmp "$work/out1.exe" "$work/out$(nproc).exe" && echo "the same archive from both"
unzip -tq "$work/out1.exe"
