#!/usr/bin/env bash
# One large WinZip AES-256 entry (~200 MB of mixed content, deflated by 7z)
# extracted by extractor-cli and by 7z x from the same archive. Times are
# processor seconds (user + system), the best of ROUNDS runs taken in turn,
# so that other work on the machine does not count; wall-clock seconds are
# given beside them, as 7z may spread its work over threads.
#
# usage: bench/extract/winzip_aes.sh [EXTRACTOR_CLI] [ROUNDS]
#   EXTRACTOR_CLI defaults to build/release/tools/extractor-cli/extractor-cli.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
cli=$(realpath "${1:-$root/build/release/tools/extractor-cli/extractor-cli}")
rounds=${2:-5}
for tool in "$cli" 7z python3; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/extractor-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
MiB=$((1024 * 1024))
source "$here/big_file.sh"
password="bench-Passw0rd"

echo "preparing inputs in $work ..." >&2
mkdir -p "$work/in"
make_big_file "$work/in/big.bin"
(cd "$work/in" && 7z a -tzip -mm=Deflate -mx=5 -mem=AES256 -p"$password" "$work/aes.zip" \
  big.bin >/dev/null)
bytes=$(stat -c %s "$work/in/big.bin")

# Processor and wall-clock seconds of a command.
times_of() {
  local TIMEFORMAT='%3U %3S %3R'
  { time "$@" >/dev/null 2>&1; } 2>&1 | awk '{print $1 + $2, $3}'
}
min() { echo "$1 ${2:-}" | awk '{print ($2 != "" && $2 < $1) ? $2 : $1}'; }

declare -A cpu=() wall=()
for ((r = 0; r < rounds; r++)); do
  rm -rf "$work/out"
  read -r c w < <(times_of "$cli" --password "$password" "$work/aes.zip" "$work/out")
  cmp -s "$work/in/big.bin" "$work/out/big.bin" || { echo "extractor-cli: output differs" >&2; exit 1; }
  cpu[cli]=$(min "$c" "${cpu[cli]:-}")
  wall[cli]=$(min "$w" "${wall[cli]:-}")
  rm -rf "$work/out"
  read -r c w < <(times_of 7z x -y -p"$password" -o"$work/out" "$work/aes.zip")
  cmp -s "$work/in/big.bin" "$work/out/big.bin" || { echo "7z: output differs" >&2; exit 1; }
  cpu[7z]=$(min "$c" "${cpu[7z]:-}")
  wall[7z]=$(min "$w" "${wall[7z]:-}")
done
rm -rf "$work/out"

echo "WinZip AES-256, deflated, one entry of $((bytes / MiB)) MiB ($(stat -c %s "$work/aes.zip") bytes packed), best of $rounds"
for t in cli 7z; do
  printf "  %-14s %7.3f s processor  %7.3f s wall  %6.0f MB/s\n" "$t" "${cpu[$t]}" "${wall[$t]}" \
    "$(echo "$bytes ${cpu[$t]}" | awk '{print $1 / $2 / 1e6}')"
done
awk -v a="${cpu[7z]}" -v b="${cpu[cli]}" -v c="${wall[7z]}" -v d="${wall[cli]}" \
  'BEGIN { printf "  ratio 7z / extractor-cli: processor %.2f, wall %.2f\n", a / b, c / d }'
