#!/usr/bin/env bash
# Archives beyond 4 GB: a 5 GiB file of zeros and text, deflated, and a
# 4.5 GiB file of random-looking bytes, stored. extractor-pack packs each
# (the archive then needs ZIP64 records), unzip -t, 7z t and Python's
# zipfile check it, and extractor-cli, unzip and 7z each extract it in the
# same run; every extracted file must hash as its source. Prints the times
# and the ratios ours / unzip and ours / 7z (below 1: ours is faster).
#
# usage: bench/zip64/run.sh [PACKER [EXTRACTOR_CLI [SCRATCH_PARENT]]]
# Defaults: the Release build (bash scripts/build.sh) and a scratch folder
# under build/, which needs about 25 GB free and is removed at the end.
set -euo pipefail
cd "$(dirname "$0")/../.."
packer=$(realpath "${1:-build/release/tools/extractor-pack/extractor-pack}")
cli=$(realpath "${2:-build/release/tools/extractor-cli/extractor-cli}")
parent=${3:-build}
mkdir -p "$parent"
work=$(mktemp -d "$parent/zip64-bench.XXXXXX")
work=$(realpath "$work")
trap 'rm -rf "$work"' EXIT
MiB=$((1 << 20))

now() { date +%s.%N; }
since() { echo "$(now) - $1" | bc -l | xargs printf '%.1f'; }
ratio() { echo "$1 / $2" | bc -l | xargs printf '%.2f'; }

# 5 GiB: seven slices of zeros to one of text, 1 MiB each, the text cycling
# through 64 MiB of documentation so that deflate works at its usual pace.
make_zeros_and_text() {
  find /usr/share -type f \( -name '*.txt' -o -name '*.html' -o -name '*.py' -o -name '*.h' \) \
    -size +4k -print0 2>/dev/null | sort -z | xargs -0 cat 2>/dev/null |
    head -c $((64 * MiB)) >"$work/text" || true
  python3 - "$work/text" "$1" $((5 * 1024)) <<'PY'
import sys
text_path, out, slices = sys.argv[1], sys.argv[2], int(sys.argv[3])
text = open(text_path, "rb").read()
text += b"\n" * ((1 << 20) - len(text) % (1 << 20))
zeros = bytes(1 << 20)
with open(out, "wb") as o:
    t = 0
    for i in range(slices):
        if i % 8 == 7:
            o.write(text[t:t + (1 << 20)])
            t = (t + (1 << 20)) % len(text)
        else:
            o.write(zeros)
PY
  rm -f "$work/text"
}

# 4.5 GiB of random bytes: 64 MiB repeated, far beyond deflate's reach.
make_random() {
  head -c $((64 * MiB)) /dev/urandom >"$work/block"
  for _ in $(seq 72); do cat "$work/block"; done >"$1"
  rm -f "$work/block"
}

check_readers() {
  local archive=$1 start
  start=$(now)
  unzip -tq "$archive" >/dev/null
  echo "  unzip -t:         ok, $(since "$start") s"
  start=$(now)
  7z t -tzip "$archive" >"$work/7z.log" || { cat "$work/7z.log"; return 1; }
  grep -q "Everything is Ok" "$work/7z.log"
  echo "  7z t:             ok, $(since "$start") s"
  start=$(now)
  python3 -c 'import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
bad = z.testzip()
sys.exit("zipfile: bad entry %s" % bad if bad else 0)' "$archive"
  echo "  python zipfile:   ok, $(since "$start") s"
}

# Extracts with one tool, compares the hash, prints the time (or why
# extractor-cli failed); the output is removed again so that only one copy
# takes space at a time.
extract_with() {
  local tool=$1 archive=$2 name=$3 want=$4 out="$work/out-$1" start seconds
  rm -rf "$out"
  start=$(now)
  case $tool in
    ours) "$cli" "$archive" "$out" 2>"$work/err" || { echo "failed: $(cat "$work/err")"; return; } ;;
    unzip) unzip -q "$archive" -d "$out" ;;
    7z) 7z x -tzip -y -o"$out" "$archive" >/dev/null ;;
  esac
  seconds=$(since "$start")
  local got
  got=$(sha256sum "$out/$name" | cut -d' ' -f1)
  rm -rf "$out"
  if [ "$got" != "$want" ]; then
    echo "  $tool: extracted $name differs from its source" >&2
    return 1
  fi
  echo "$seconds"
}

run_case() {
  local label=$1 name=$2 level=$3 maker=$4
  local source="$work/src/$name" archive="$work/$label.exe" start size packed
  mkdir -p "$work/src"
  echo "== $label"
  start=$(now)
  $maker "$source"
  size=$(stat -c %s "$source")
  local want
  want=$(sha256sum "$source" | cut -d' ' -f1)
  echo "  input:            $name, $size bytes (made and hashed in $(since "$start") s)"
  start=$(now)
  "$packer" -o "$archive" --stub "$cli" --level "$level" "$source" >/dev/null
  packed=$(stat -c %s "$archive")
  echo "  extractor-pack:   $(since "$start") s, $packed bytes (level $level)"
  check_readers "$archive"
  local ours unzip_s sevenz
  ours=$(extract_with ours "$archive" "$name" "$want")
  unzip_s=$(extract_with unzip "$archive" "$name" "$want")
  sevenz=$(extract_with 7z "$archive" "$name" "$want")
  case $ours in
    failed*) echo "  extractor-cli:    $ours" ;;
    *) echo "  extractor-cli:    $ours s" ;;
  esac
  echo "  unzip, 7z:        $unzip_s s, $sevenz s (every output made identical by sha256)"
  case $ours in
    failed*) echo "  ratios:           none, extractor-cli failed" ;;
    *) echo "  ratios:           ours / unzip $(ratio "$ours" "$unzip_s")," \
      "ours / 7z $(ratio "$ours" "$sevenz")" ;;
  esac
  rm -rf "$work/src" "$archive"
}

run_case "deflated-5GiB" zeros-and-text.bin 6 make_zeros_and_text
run_case "stored-4.5GiB" random.bin 0 make_random
