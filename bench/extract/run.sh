#!/usr/bin/env bash
# Extraction times of extractor-cli against unzip, 7z and bsdtar on two
# archives: one ~200 MB file of mixed content and 5,000 small files.
#
# usage: bench/extract/run.sh [EXTRACTOR_CLI] [ROUNDS]
#   EXTRACTOR_CLI defaults to build/release/tools/extractor-cli/extractor-cli
#   (a Release build); each time is the best of ROUNDS runs (default 3).
#   With EXTRACTOR_BASELINE set to another extractor-cli (an older build),
#   that one runs in the same rounds as "baseline".
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
cli=$(realpath "${1:-$here/../../build/release/tools/extractor-cli/extractor-cli}")
rounds=${2:-3}
baseline=${EXTRACTOR_BASELINE:+$(realpath "$EXTRACTOR_BASELINE")}
for tool in "$cli" zip unzip 7z bsdtar python3; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/extractor-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
MiB=$((1024 * 1024))

source "$here/big_file.sh"

# 5,000 files of 100 bytes to 24 KiB in 50 folders, cut from text and
# programs.
make_small_files() {
  local root=$1
  python3 - "$root" <<'PY'
import os, random, sys
root = sys.argv[1]
rng = random.Random(5000)
pool = bytearray()
for folder in ("/usr/share/doc", "/usr/bin"):
    for base, _, files in sorted(os.walk(folder)):
        for f in sorted(files):
            p = os.path.join(base, f)
            if os.path.isfile(p) and not os.path.islink(p) and len(pool) < 16 << 20:
                with open(p, "rb") as s:
                    pool += s.read(256 << 10)
for i in range(5000):
    d = os.path.join(root, "dir%02d" % (i // 100))
    os.makedirs(d, exist_ok=True)
    size = rng.randint(100, 24 << 10)
    start = rng.randrange(0, len(pool) - size)
    with open(os.path.join(d, "file%04d.dat" % i), "wb") as o:
        o.write(pool[start:start + size])
PY
}

now() { date +%s.%N; }

extract() {
  local tool=$1 zip_file=$2 out=$3
  case $tool in
    extractor-cli) "$cli" "$zip_file" "$out" ;;
    baseline) "$baseline" "$zip_file" "$out" ;;
    unzip) unzip -q -o "$zip_file" -d "$out" ;;
    7z) 7z x -y "-o$out" "$zip_file" ;;
    bsdtar) bsdtar -xf "$zip_file" -C "$out" ;;
  esac
}

# Wall time of one extraction into an empty folder. The sync first writes
# back what earlier runs left dirty, so that no run pays for another's.
time_once() {
  local tool=$1 zip_file=$2 out=$3
  rm -rf "$out"
  mkdir -p "$out"
  sync
  local start end
  start=$(now)
  extract "$tool" "$zip_file" "$out" >/dev/null 2>&1 || { echo "failed: $tool" >&2; return 1; }
  end=$(now)
  echo "$start $end" | awk '{print $2 - $1}'
}

echo "preparing inputs in $work ..." >&2
mkdir -p "$work/big" "$work/small"
make_big_file "$work/big/mixed.bin"
make_small_files "$work/small"
(cd "$work/big" && zip -q -r "$work/big.zip" .)
(cd "$work/small" && zip -q -r "$work/small.zip" .)

tools=(extractor-cli unzip 7z bsdtar)
[[ -n $baseline ]] && tools+=(baseline)
printf '%-8s %-14s %10s %12s\n' archive tool seconds "ours/tool"
for name in big small; do
  declare -A best=()
  # Rounds go through the tools in turn, so that a slow spell of the
  # machine falls on all of them.
  for ((r = 0; r < rounds; r++)); do
    for tool in "${tools[@]}"; do
      t=$(time_once "$tool" "$work/$name.zip" "$work/out")
      if [[ $tool == extractor-cli && $r == 0 ]]; then
        diff -r -q "$work/$name" "$work/out" >/dev/null ||
          { echo "extractor-cli output differs" >&2; exit 1; }
      fi
      best[$tool]=$(echo "$t ${best[$tool]:-}" | awk '{print ($2 != "" && $2 < $1) ? $2 : $1}')
    done
  done
  ours=${best[extractor-cli]}
  for tool in "${tools[@]}"; do
    ratio=$(echo "$ours ${best[$tool]}" | awk '{printf "%.2f", $1 / $2}')
    [[ $tool == extractor-cli ]] && ratio=-
    printf '%-8s %-14s %10.3f %12s\n' "$name" "$tool" "${best[$tool]}" "$ratio"
  done
  unset best
done
echo "(big: $(du -m "$work/big/mixed.bin" | cut -f1) MiB in one file, $(du -m "$work/big.zip" | cut -f1) MiB zipped;" \
  "small: 5000 files, $(du -m "$work/small.zip" | cut -f1) MiB zipped; best of $rounds)"
