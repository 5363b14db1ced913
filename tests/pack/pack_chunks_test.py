"""Large files deflated in chunks on several workers: one file of 20 MiB packed
with 1, 2 and 4 workers gives the same archive byte for byte, plain, in
volumes, with WinZip AES and at levels 1 and 9; unzip -t, 7z t and Python's
zipfile accept it, extractor-cli brings the file back, and the entry is at
most 0.3 % larger than the file deflated whole. Files at the chunk size's
edges and one deflate cannot shrink go the same way.

usage: pack_chunks_test.py EXTRACTOR_PACK EXTRACTOR_CLI [WINE_RUNNER]
"""

import hashlib
import os
import random
import struct
import shutil
import subprocess
import sys
import zipfile
import zlib

from packrun import PASSWORD, listing, script_main, text, tree_difference, write_files

CHUNK = 1 << 20
WORKERS = ("1", "2", "4")


def large_file(rng):
    """20 MiB of text with runs of program-like bytes between."""
    parts, size = [], 0
    while size < 20 * CHUNK:
        part = text(rng, rng.randrange(50000, 400000))
        if rng.random() < 0.3:
            part = bytes(rng.choice(b"\x00\x00\x00\x01\x48\x89\xe5\xc3\xff") for _ in range(30000))
        parts.append(part)
        size += len(part)
    return b"".join(parts)[:20 * CHUNK]


def pack_all(packer, work, label, args, source, workers=WORKERS):
    """The files written for each number of workers."""
    outputs = {}
    for count in workers:
        folder = os.path.join(work, "%s-w%s" % (label, count))
        os.makedirs(folder)
        code, _, err = packer.run("-o", packer.path(os.path.join(folder, "setup.exe")), "--stub",
                                  packer.path(os.path.join(work, "stub.bin")), "--workers", count,
                                  *args, packer.path(source), timeout=600)
        outputs[count] = (code, err, {name: open(os.path.join(folder, name), "rb").read()
                                      for name in listing(folder)})
    return outputs


def entry_data(sfx, name):
    """The bytes of the entry's data as stored."""
    with zipfile.ZipFile(sfx) as z:
        info = z.getinfo(name)
    with open(sfx, "rb") as f:
        f.seek(info.header_offset + 26)
        name_length, extra_length = struct.unpack("<HH", f.read(4))
        f.seek(info.header_offset + 30 + name_length + extra_length)
        return f.read(info.compress_size)


def winzip_aes_256_plain(stored, password):
    """The packed bytes of a WinZip AES-256 entry (salt, verifier, data, code):
    CTR mode with a little-endian counter from 1, its key stream made with
    openssl's AES-256 on the counter blocks."""
    salt, data = stored[:16], stored[18:-10]
    key = hashlib.pbkdf2_hmac("sha1", password.encode(), salt, 1000, 66)[:32]
    blocks = (len(data) + 15) // 16
    counters = b"".join((i + 1).to_bytes(16, "little") for i in range(blocks))
    stream = subprocess.run(["openssl", "enc", "-aes-256-ecb", "-nopad", "-K", key.hex()],
                            input=counters, capture_output=True, check=True).stdout
    mask = int.from_bytes(stream[:len(data)], "big")
    return (int.from_bytes(data, "big") ^ mask).to_bytes(len(data), "big")


def entry_size(sfx, name):
    with zipfile.ZipFile(sfx) as z:
        return z.getinfo(name).compress_size


def readers_accept(sfx, password, label, check):
    if shutil.which("unzip") and not password:  # Info-ZIP unzip has no WinZip AES
        done = subprocess.run(["unzip", "-tq", sfx], capture_output=True)
        check.equal(label + ": unzip -t", done.returncode, 0)
    if shutil.which("7z"):
        done = subprocess.run(["7z", "t", "-p" + (password or ""), sfx], capture_output=True)
        check.equal(label + ": 7z t", done.returncode, 0)
    with zipfile.ZipFile(sfx) as z:
        if not password:  # nor has Python's zipfile
            check.equal(label + ": zipfile testzip", z.testzip(), None)


def check_case(packer, cli, work, check, label, args, source, password, workers=WORKERS):
    outputs = pack_all(packer, work, label, args, source, workers)
    first = outputs[workers[0]]
    check.equal(label + ": packed", [o[:2] for o in outputs.values()], [(0, "")] * len(workers))
    if not password:  # encryption's salt is new every time
        check.equal(label + ": the same archive from %s workers" % ", ".join(workers),
                    [o[2] == first[2] for o in outputs.values()], [True] * len(workers))
    sfx = os.path.join(work, "%s-w%s" % (label, workers[-1]), "setup.exe")
    if not os.path.exists(sfx):
        return None
    if "--split" not in args:  # the others read no split files
        readers_accept(sfx, password, label, check)
    out = os.path.join(work, label + "-out")
    code, _, err = cli.run(*(["--password", password] if password else []), cli.path(sfx),
                           cli.path(out), timeout=600)
    check.equal(label + ": extraction", (code, err), (0, ""))
    check.equal(label + ": tree", tree_difference(os.path.dirname(source), out), [])
    return sfx


def large(packer, cli, work, check):
    source = os.path.join(work, "in", "large.bin")
    write_files(os.path.dirname(source), {"large.bin": large_file(random.Random(32))})
    data = open(source, "rb").read()
    cases = [("level-6", [], None), ("level-1", ["--level", "1"], None),
             ("level-9", ["--level", "9"], None), ("split", ["--split", "5M"], None),
             ("aes", ["--password", PASSWORD], PASSWORD)]
    for label, args, password in cases:
        sfx = check_case(packer, cli, work, check, label, args, source, password)
        if sfx is None or "--split" in args:
            continue
        if password:
            same_stream(work, label, password, check)
            continue
        level = int(args[1]) if args else 6
        deflater = zlib.compressobj(level, zlib.DEFLATED, -15, 8)
        whole = len(deflater.compress(data) + deflater.flush())
        chunked = entry_size(sfx, "large.bin")
        print("%s: %d bytes in chunks, %d deflated whole (%+.3f %%)"
              % (label, chunked, whole, 100.0 * (chunked - whole) / whole))
        check.equal(label + ": at most 0.3 % larger than deflated whole",
                    chunked <= whole * 1.003, True)


def same_stream(work, label, password, check):
    """Under WinZip AES each number of workers packs the deflate stream of
    the unencrypted archive."""
    if shutil.which("openssl") is None:
        print("SKIP %s: the packed bytes: openssl is not installed" % label)
        return
    plain = entry_data(os.path.join(work, "level-6-w1", "setup.exe"), "large.bin")
    for count in WORKERS:
        stored = entry_data(os.path.join(work, "%s-w%s" % (label, count), "setup.exe"),
                            "large.bin")
        check.equal("%s, %s workers: the deflate stream of level-6" % (label, count),
                    winzip_aes_256_plain(stored, password) == plain, True)


def edges(packer, cli, work, check):
    """One chunk exactly (deflated whole, as small files are), a byte more
    (a last chunk of one byte), whole chunks only, and random bytes, which
    end up stored; a small file between them."""
    rng = random.Random(4)
    folder = os.path.join(work, "edges-src", "in")
    write_files(folder, {
        "a-one-chunk.txt": text(rng, CHUNK),
        "b-one-more.txt": text(rng, CHUNK + 1),
        "c-three.txt": text(rng, 3 * CHUNK),
        "d-small.txt": text(rng, 5000),
        "e-random.bin": rng.randbytes(2 * CHUNK + 12345),
    })
    check_case(packer, cli, os.path.join(work, "edges"), check, "edges", [], folder, None,
               workers=("1", "3"))
    with zipfile.ZipFile(os.path.join(work, "edges", "edges-w3", "setup.exe")) as z:
        check.equal("edges: random bytes stored", z.getinfo("in/e-random.bin").compress_type,
                    zipfile.ZIP_STORED)


def run_all(packer, cli, work, check):
    for stub_folder in (work, os.path.join(work, "edges")):
        os.makedirs(stub_folder, exist_ok=True)
        with open(os.path.join(stub_folder, "stub.bin"), "wb") as f:
            f.write(b"MZ" + bytes(100000))
    large(packer, cli, work, check)
    edges(packer, cli, work, check)


if __name__ == "__main__":
    sys.exit(script_main(__doc__, "extractor-pack-chunks-", run_all))
