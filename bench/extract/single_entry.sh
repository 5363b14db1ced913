#!/usr/bin/env bash
# One large entry (~200 MB of mixed content), deflated and stored, extracted
# by extractor-cli, beside this project's decoder alone on the same deflated
# data (all of it in memory, nothing written; for a .exe the Windows build
# of it under Wine, and the native one) and a plain copy of the file.
# Times are processor seconds (user + system), the best of ROUNDS runs taken
# in turn, so that other work on the machine does not count; from each
# extraction the time of listing the same archive (start-up and directory)
# is taken off.
#
# usage: bench/extract/single_entry.sh [EXTRACTOR_CLI] [ROUNDS]
#   EXTRACTOR_CLI defaults to build/release/tools/extractor-cli/extractor-cli;
#   a .exe runs under wine (in WINEPREFIX, or a fresh prefix).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
cli=$(realpath "${1:-$root/build/release/tools/extractor-cli/extractor-cli}")
rounds=${2:-5}
source "$root/scripts/cli-runner.sh"
for tool in "$cli" zip python3; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
done

# The decoder alone, built as the extractor is: for a .exe with MinGW, run
# under Wine, and natively beside it.
build_decoder() {  # build folder, extra cmake arguments...
  local dir=$1
  shift
  cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DEXTRACTOR_BENCH=ON \
    -DEXTRACTOR_TESTS=OFF "$@" >/dev/null
  cmake --build "$dir" --target entry_decode -j2 >/dev/null
}
build_decoder "$root/build-bench-inflate"
native_decoder=("$root/build-bench-inflate/bench/inflate/entry_decode")
decoder=("${native_decoder[@]}")
if [[ ${#runner[@]} -gt 0 ]]; then
  build_decoder "$root/build-bench-windows" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake"
  decoder=(wine "$root/build-bench-windows/bench/inflate/entry_decode.exe")
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/extractor-bench.XXXXXX")
trap 'rm -rf "$work"; [[ -n ${wine_root:-} ]] && cleanup_wine' EXIT
MiB=$((1024 * 1024))
source "$here/big_file.sh"

echo "preparing inputs in $work ..." >&2
mkdir -p "$work/in"
make_big_file "$work/in/big.bin"
(cd "$work/in" && zip -q "$work/deflated.zip" big.bin && zip -q -0 "$work/stored.zip" big.bin)
bytes=$(stat -c %s "$work/in/big.bin")

# Processor seconds of a command, and of them the user time.
cpu_times() {
  local TIMEFORMAT='%3U %3S'
  { time "$@" >/dev/null 2>&1; } 2>&1 | awk '{print $1 + $2, $1}'
}
cpu_seconds() { cpu_times "$@" | cut -d' ' -f1; }
extract() {
  rm -rf "$work/out"
  cpu_times "${runner[@]}" "$cli" "$1" "$work/out"
}
min() { echo "$1 ${2:-}" | awk '{print ($2 != "" && $2 < $1) ? $2 : $1}'; }

declare -A best=()
for ((r = 0; r < rounds; r++)); do
  best[decoder]=$(min "$("${decoder[@]}" "$work/deflated.zip" 1)" "${best[decoder]:-}")
  if [[ ${#runner[@]} -gt 0 ]]; then
    best[native]=$(min "$("${native_decoder[@]}" "$work/deflated.zip" 1)" "${best[native]:-}")
  fi
  best[listing]=$(min "$(cpu_seconds "${runner[@]}" "$cli" --list --tsv "$work/deflated.zip")" "${best[listing]:-}")
  read -r total user < <(extract "$work/deflated.zip")
  best[deflated]=$(min "$total" "${best[deflated]:-}")
  best[deflated_user]=$(min "$user" "${best[deflated_user]:-}")
  [[ $r == 0 ]] && { cmp -s "$work/in/big.bin" "$work/out/big.bin" || { echo "output differs" >&2; exit 1; }; }
  best[stored]=$(min "$(extract "$work/stored.zip" | cut -d' ' -f1)" "${best[stored]:-}")
  rm -f "$work/copy"
  best[copy]=$(min "$(cpu_seconds cp "$work/in/big.bin" "$work/copy")" "${best[copy]:-}")
done

report() {  # label seconds [reference seconds]
  awk -v l="$1" -v s="$2" -v ref="${3:-}" -v b="$bytes" 'BEGIN {
    printf "%-36s %8.3f s %8.0f MB/s", l, s, b / s / 1e6
    if (ref != "") printf "   %.2f of the decoder alone", ref / s
    printf "\n" }'
}
net() { echo "$1 $2" | awk '{ d = $1 - $2; print (d > 0.001 ? d : 0.001) }'; }
echo "$(basename "$cli"), $((bytes / MiB)) MiB in one entry, $(( $(stat -c %s "$work/deflated.zip") / MiB )) MiB deflated; best of $rounds"
report "decoder alone (deflated, in memory)" "${best[decoder]}"
if [[ -n ${best[native]:-} ]]; then
  report "the same decoder built natively" "${best[native]}"
  awk -v w="${best[decoder]}" -v n="${best[native]}" \
    'BEGIN { printf "decoder under wine / native: %.2f of its speed\n", n / w }'
fi
report "extraction, deflated" "$(net "${best[deflated]}" "${best[listing]}")" "${best[decoder]}"
report "  of it user time (the rest: the kernel)" "${best[deflated_user]}" "${best[decoder]}"
report "extraction, stored" "$(net "${best[stored]}" "${best[listing]}")"
report "cp of the file" "${best[copy]}"
echo "(start-up and listing, taken off the extractions: ${best[listing]} s)"
