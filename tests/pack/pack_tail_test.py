"""The archive's end wherever tools leave it, found alike by extractor-cli
and by the packer's --from-zip: self-extracting files unsigned, signed
(a few KB) and signed with more than 100 KB of extra certificates, each
verified by osslsigncode; a ZIP64 archive with the longest comment (its
locator 20 bytes in front of the end record, whose fields are saturated,
and end record signatures inside the comment), as it is and behind a
program with its offsets adjusted or not. Each extracts byte for byte, and
so does what --from-zip makes of it.

usage: pack_tail_test.py EXTRACTOR_PACK EXTRACTOR_CLI [WINE_RUNNER]
"""

import os
import random
import shutil
import struct
import sys
import zipfile

from packrun import script_main, tree_difference, write_files
import signing

SIGNATURES = [("unsigned", None), ("signed", 0), ("signed-large", 120000)]


class Run:
    def __init__(self, packer, cli, work, check):
        self.packer, self.cli, self.work, self.check = packer, cli, work, check
        self.expected = os.path.join(work, "expected")
        rng = random.Random(5)
        self.files = {"src/readme.txt": b"the archive's end\n" * 3000,
                      "src/data/random.bin": rng.randbytes(200001),
                      "src/data/empty.bin": b""}
        write_files(self.expected, self.files)
        # The packer's stub must be a PE program to be signed.
        self.stub = cli.exe if cli.exe.lower().endswith(".exe") else signing.minimal_pe(
            os.path.join(work, "stub.exe"))

    def extracts(self, label, archive):
        out = os.path.join(self.work, label + "-out")
        code, _, err = self.cli.run(self.cli.path(archive), self.cli.path(out), timeout=300)
        self.check.equal(label + ": extraction", (code, err), (0, ""))
        self.check.equal(label + ": tree", tree_difference(self.expected, out), [])

    def pack(self, label, args):
        sfx = os.path.join(self.work, label + ".exe")
        code, _, err = self.packer.run("-o", self.packer.path(sfx), "--stub",
                                       self.packer.path(self.stub), *args, timeout=300)
        self.check.equal(label + ": packer exit", (code, err), (0, ""))
        return sfx

    def extracts_with_copy(self, label, archive):
        """The archive, and what --from-zip makes of it."""
        self.extracts(label, archive)
        copy = self.pack(label + "-from-zip", ["--from-zip", self.packer.path(archive)])
        self.extracts(label + "-from-zip", copy)


def signed(run):
    if not signing.available():
        print("SKIP signing: osslsigncode or openssl is not installed")
        return
    signer = signing.Signer(os.path.join(run.work, "signing"))
    sfx = run.pack("packed", [run.packer.path(os.path.join(run.expected, "src"))])
    for label, extra in SIGNATURES:
        program = sfx
        if extra is not None:
            program = signer.sign(sfx, os.path.join(run.work, label + ".exe"), extra)
            run.check.equal(label + ": osslsigncode verify", signer.verifies(program), True)
            growth = os.path.getsize(program) - os.path.getsize(sfx)
            print("%s: %d bytes of signature" % (label, growth))
            run.check.equal(label + ": signature size", growth > extra, True)
        run.extracts_with_copy(label, program)


def saturate_end_record(data, comment_length):
    """The classic end record's counts, size and offset as 0xFFFF and
    0xFFFFFFFF: its ZIP64 end record holds them."""
    end = len(data) - 22 - comment_length
    assert data[end:end + 4] == b"PK\x05\x06"
    struct.pack_into("<HHII", data, end + 8, 0xFFFF, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF)
    return end


def adjusted(data, end, prefix):
    """The archive with every offset counting the prefix's bytes."""
    locator = end - 20
    record = struct.unpack_from("<Q", data, locator + 8)[0]
    directory, = struct.unpack_from("<Q", data, record + 48)
    count, = struct.unpack_from("<Q", data, record + 32)
    p = directory
    for _ in range(count):
        offset, = struct.unpack_from("<I", data, p + 42)
        struct.pack_into("<I", data, p + 42, offset + prefix)
        name, extra, comment = struct.unpack_from("<HHH", data, p + 28)
        p += 46 + name + extra + comment
    struct.pack_into("<Q", data, record + 48, directory + prefix)
    struct.pack_into("<Q", data, locator + 8, record + prefix)
    return data


def longest_comment(run):
    plain = os.path.join(run.work, "zip64-comment.zip")
    limit = zipfile.ZIP_FILECOUNT_LIMIT
    zipfile.ZIP_FILECOUNT_LIMIT = 1  # ZIP64 end records for any archive
    try:
        with zipfile.ZipFile(plain, "w", zipfile.ZIP_DEFLATED) as z:
            for name, data in sorted(run.files.items()):
                z.writestr(name, data)
            z.comment = b"c" * 65535
    finally:
        zipfile.ZIP_FILECOUNT_LIMIT = limit
    with open(plain, "rb") as f:
        data = bytearray(f.read())
    end = saturate_end_record(data, 65535)
    run.check.equal("ZIP64 locator in front of the end record", data[end - 20:end - 16],
                    b"PK\x06\x07")
    with open(plain, "wb") as f:
        f.write(data)
    with zipfile.ZipFile(plain) as z:  # the archive is sound
        run.check.equal("zipfile reads the ZIP64 archive", z.testzip(), None)
    # End records in the comment, one empty and one past the file's end.
    fake = b"PK\x05\x06" + bytes(18) + b"PK\x05\x06" + b"\xff" * 18
    data[end + 22:end + 22 + len(fake)] = fake
    with open(plain, "wb") as f:
        f.write(data)
    run.extracts_with_copy("zip64-comment", plain)

    with open(run.stub, "rb") as f:
        program = f.read()
    for label, body in [("zip64-comment-behind-program", data),
                        ("zip64-comment-adjusted", adjusted(bytearray(data), end, len(program)))]:
        sfx = os.path.join(run.work, label + ".exe")
        with open(sfx, "wb") as f:
            f.write(program + body)
        run.extracts_with_copy(label, sfx)


def run_all(packer, cli, work, check):
    run = Run(packer, cli, work, check)
    signed(run)
    longest_comment(run)


if __name__ == "__main__":
    sys.exit(script_main(__doc__, "extractor-pack-tail-", run_all))
