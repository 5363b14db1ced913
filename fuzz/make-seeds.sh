#!/usr/bin/env bash
# Writes the seed inputs in fuzz/corpus/: small archives from Info-ZIP zip,
# 7z and Python's zipfile, raw deflate streams from zlib, and inputs for the
# cipher paths. Each target's input starts with its own control bytes
# (see the targets), so the archives get a prefix for the extract target.
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rm -rf corpus
mkdir -p corpus/directory corpus/extract corpus/inflate corpus/crypto corpus/streams

mkdir -p "$work/in/docs/deep"
printf 'hello, world\n' > "$work/in/hello.txt"
python3 -c "import sys; sys.stdout.write(''.join('line %d of the sample\n' % i for i in range(300)))" \
  > "$work/in/docs/lines.txt"
head -c 3000 /dev/urandom > "$work/in/docs/deep/noise.bin"
: > "$work/in/empty.txt"

arch=$work/arch
mkdir -p "$arch"
(cd "$work/in" && zip -qr -9 "$arch/infozip-deflate.zip" .)
(cd "$work/in" && zip -qr -0 "$arch/infozip-stored.zip" hello.txt docs)
(cd "$work/in" && zip -q -P pw "$arch/infozip-encrypted.zip" hello.txt docs/lines.txt)
(cd "$work/in" && zip -q -Z bzip2 "$arch/infozip-bzip2.zip" docs/lines.txt)
(cd "$work/in" && cat docs/lines.txt | zip -q > "$arch/infozip-streamed.zip")
(cd "$work/in" && zip -q -z "$arch/infozip-comment.zip" hello.txt <<< "an archive comment")
# A self-extracting file: program bytes in front, offsets adjusted.
head -c 512 /dev/zero | tr '\0' '\220' > "$arch/sfx-infozip.zip"
cat "$arch/infozip-stored.zip" >> "$arch/sfx-infozip.zip"
zip -qA "$arch/sfx-infozip.zip"
# The same appended without adjusting its offsets, and ZIP64 records and
# extra fields throughout.
head -c 512 /dev/zero | tr '\0' '\220' > "$arch/sfx-unadjusted.zip"
cat "$arch/infozip-stored.zip" >> "$arch/sfx-unadjusted.zip"
(cd "$work/in" && zip -qr -fz "$arch/infozip-zip64.zip" hello.txt docs/lines.txt)

(cd "$work/in" && 7z a -tzip -mm=Deflate "$arch/7z-deflate.zip" hello.txt docs >/dev/null)
(cd "$work/in" && 7z a -tzip -mm=Deflate64 "$arch/7z-deflate64.zip" docs/lines.txt >/dev/null)
(cd "$work/in" && 7z a -tzip -mm=LZMA "$arch/7z-lzma.zip" hello.txt >/dev/null)
(cd "$work/in" && 7z a -tzip -mem=AES256 -ppw "$arch/7z-aes.zip" hello.txt >/dev/null)
(cd "$work/in" && 7z a -tzip -mem=ZipCrypto -ppw "$arch/7z-zipcrypto.zip" hello.txt >/dev/null)

python3 - "$arch" "$work/in" <<'PY'
import os, sys, zipfile
out, src = sys.argv[1], sys.argv[2]
hello = open(os.path.join(src, "hello.txt"), "rb").read()
lines = open(os.path.join(src, "docs/lines.txt"), "rb").read()
for name, method in [("stored", zipfile.ZIP_STORED), ("deflated", zipfile.ZIP_DEFLATED),
                     ("bzip2", zipfile.ZIP_BZIP2), ("lzma", zipfile.ZIP_LZMA)]:
    with zipfile.ZipFile(os.path.join(out, "python-%s.zip" % name), "w", method) as z:
        z.writestr("hello.txt", hello)
        z.writestr("docs/", b"")
        z.writestr("docs/lines.txt", lines)
with zipfile.ZipFile(os.path.join(out, "python-names.zip"), "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("../up.txt", hello)
    z.writestr("C:\\drive.txt", hello)
    z.writestr("caf\u00e9/\u65e5\u672c.txt", hello)
    z.writestr("x" * 300, hello)
    z.comment = b"names that try to leave"
with zipfile.ZipFile(os.path.join(out, "python-empty.zip"), "w") as z:
    pass
PY

for f in "$arch"/*.zip; do
  name=$(basename "$f" .zip)
  cp "$f" "corpus/directory/$name"
  # Flags 0x02 (overwrite), or with the password "pw" given (0x03).
  case $name in
    *encrypted* | *aes* | *zipcrypto*) printf '\003\002pw' > "corpus/extract/$name" ;;
    *) printf '\002' > "corpus/extract/$name" ;;
  esac
  cat "$f" >> "corpus/extract/$name"
done

python3 - <<'PY'
import os, random, zlib
random.seed(12)
text = b"".join(b"line %d of the sample, with words repeated\n" % i for i in range(2000))
noise = bytes(random.getrandbits(8) for _ in range(5000))
def raw(data, level=6, strategy=zlib.Z_DEFAULT_STRATEGY):
    c = zlib.compressobj(level, zlib.DEFLATED, -15, 8, strategy)
    return c.compress(data) + c.flush()
def seed(name, control, data):
    open(os.path.join("corpus/inflate", name), "wb").write(control + data)
seed("dynamic", b"\x00\x01\x02\x03\x04", raw(text, 9))
seed("fast", b"\x10\x05\x06\x07\x08", raw(text, 1))
seed("fixed", b"\x20\x09\x0a\x0b\x0c", raw(text[:4000], 6, zlib.Z_FIXED))
seed("stored", b"\x00\x0d\x0e\x0f\x10", raw(noise, 0))
seed("rle", b"\x40\x11\x12\x13\x14", raw(b"a" * 200000, 9, zlib.Z_RLE))
seed("huffman-only", b"\x05\x15\x16\x17\x18", raw(noise + text[:3000], 6, zlib.Z_HUFFMAN_ONLY))
def crypto(name, data):
    open(os.path.join("corpus/crypto", name), "wb").write(data)
crypto("aes-last", b"\x00\x04\x02pw" + noise[:64])
crypto("aes-chunks", b"\x01\x03\x05hello\x01\x02\x03\x04" + text[:300])
crypto("aes-verifier", b"\x02\x01\x02pw\x02\x03pw1\x02pw\x02\x11\x22\x33\x44\x10")
crypto("traditional", b"\x03\x01\x02pw\x01\x02pw\xaa\xbb\xcc\xdd\x08\x00\xa1" + noise[:40])
PY
# Deflate64, which the seed word's top bit selects: a stream from 7z with
# matches from 40000 bytes back, and a fixed block with length symbol 285.
python3 -c "import sys; sys.stdout.write(''.join('line %d of the far sample\n' % i for i in range(1400)))" \
  > "$work/far.txt"
head -c 10000 /dev/urandom >> "$work/far.txt"
head -c 30000 "$work/far.txt" >> "$work/far.txt"
(cd "$work" && 7z a -tzip -mm=Deflate64 "$arch/far64.zip" far.txt >/dev/null)
python3 - "$arch/far64.zip" <<'PY'
import struct, sys, zipfile
path = sys.argv[1]
data = open(path, "rb").read()
info = zipfile.ZipFile(path).infolist()[0]
names, extra = struct.unpack("<HH", data[info.header_offset + 26:info.header_offset + 30])
start = info.header_offset + 30 + names + extra
stream = data[start:start + info.compress_size]
open("corpus/inflate/deflate64-far", "wb").write(b"\x00\x01\x02\x03\x84" + stream)

bits = []
def put(value, count):  # first bit lowest
    bits.extend((value >> i) & 1 for i in range(count))
def code(codeword, count):  # Huffman code, first bit highest
    bits.extend((codeword >> i) & 1 for i in reversed(range(count)))
put(1, 1); put(1, 2)          # final fixed block
code(0x30 + ord("a"), 8)      # literal "a"
code(0xC0 + 285 - 280, 8)     # length 3 + 60000
put(60000, 16)
code(0, 5)                    # distance 1
code(0, 7)                    # end of block
raw = bytes(sum(b << i for i, b in enumerate(bits[k:k + 8])) for k in range(0, len(bits), 8))
open("corpus/inflate/deflate64-long", "wb").write(b"\x00\x05\x06\x07\x88" + raw)
PY
echo "seeds: $(ls corpus/* | wc -l) files, $(du -sk corpus | cut -f1) KiB"

# bzip2, LZMA and xz streams for the streams target: the method, a control
# byte (bit 7: all input at once; the rest, the entry's flags, bit 1 the
# LZMA end marker), the input step, the output area and the entry's size.
# The xz seeds take each check, the x86 filter, two streams with padding.
python3 - <<'PYTHON'
import bz2, lzma, struct
text = b"".join(b"line %d of the sample\n" % i for i in range(300))
samples = [b"", b"x", text, bytes(range(256)) * 8]
def seed(name, method, control, step, size, stream):
    with open("corpus/streams/" + name, "wb") as f:
        f.write(bytes([method, control]) + struct.pack("<III", step, 5000, size) + stream)
for i, data in enumerate(samples):
    seed("bzip2-%d" % i, 12, 0x80 if i == 0 else 0, 700 + i, 0, bz2.compress(data, 1 + i * 2))
    raw = lzma.compress(data, lzma.FORMAT_RAW, filters=[{"id": lzma.FILTER_LZMA1, "preset": 1}])
    props = lzma._encode_filter_properties({"id": lzma.FILTER_LZMA1, "preset": 1})
    seed("lzma-%d" % i, 14, 0x02 | (0x80 if i & 2 else 0), 700 + i, len(data),
         bytes([9, 4, 5, 0]) + props + raw)
    check = [lzma.CHECK_NONE, lzma.CHECK_CRC32, lzma.CHECK_CRC64, lzma.CHECK_SHA256][i]
    filters = [{"id": lzma.FILTER_LZMA2, "preset": 1}]
    if i == 3:
        filters.insert(0, {"id": lzma.FILTER_X86})
    stream = lzma.compress(data, lzma.FORMAT_XZ, check=check, filters=filters)
    if i == 2:
        stream += bytes(4) + lzma.compress(b"x", lzma.FORMAT_XZ) + bytes(8)
    seed("xz-%d" % i, 95, 0x80 if i & 2 else 0, 700 + i, len(data) + 1, stream)
PYTHON

# Zstandard frames from the zstd program (Python has no binding here): with
# and without a checksum, two frames, a skippable frame in front.
text=$(for i in $(seq 0 299); do printf 'line %d of the sample\n' "$i"; done)
zstd_seed() {  # name, all-at-once control byte, the frame's bytes on stdin
  { printf "\\x5d\\x$2"; python3 -c 'import struct,sys; sys.stdout.buffer.write(struct.pack("<III", 701, 5000, 8000))'; cat; } > "corpus/streams/$1"
}
printf '%s' "$text" | zstd -q -c -1 | zstd_seed zstd-0 00
printf '%s' "$text" | zstd -q -c -19 --check | zstd_seed zstd-1 80
{ printf 'x' | zstd -q -c; printf '%s' "$text" | zstd -q -c -3; } | zstd_seed zstd-2 00
{ printf '\x50\x2a\x4d\x18\x04\x00\x00\x00abcd'; printf 'y' | zstd -q -c --check; } | zstd_seed zstd-3 80
