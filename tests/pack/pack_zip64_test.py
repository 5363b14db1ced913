"""ZIP64 records in extractor-pack's output: none in a small archive, byte
for byte; an end record and locator for 70,000 entries, which unzip -t,
7z t, Python's zipfile and extractor-cli read; ZIP64 archives copied with
--from-zip (entries with ZIP64 fields and data descriptors, the packer's
own output); volumes refused beyond 65,535 entries. (Sizes and offsets beyond 4 GB: pack_records_tests and
bench/zip64/run.sh.)

usage: pack_zip64_test.py EXTRACTOR_PACK EXTRACTOR_CLI [WINE_RUNNER]
"""

import io
import os
import shutil
import struct
import subprocess
import sys
import zipfile

from packrun import listing, script_main, tree_difference, write_files

ENTRIES = 70000


def stub(work):
    path = os.path.join(work, "stub.bin")
    with open(path, "wb") as f:
        f.write(b"MZ" + bytes(5000))
    return path


def pack(packer, work, label, args, check):
    sfx = os.path.join(work, "out-" + label, "setup.exe")
    os.makedirs(os.path.dirname(sfx))
    code, _, err = packer.run("-o", packer.path(sfx), "--stub", packer.path(stub(work)), *args,
                              timeout=300)
    check.equal(label + ": packer exit", (code, err), (0, ""))
    return sfx


def central_headers(archive):
    """(version needed, extra field) of each central header, the directory
    found through the classic end record."""
    with open(archive, "rb") as f:
        data = f.read()
    end = data.rindex(b"PK\x05\x06")
    size, offset = struct.unpack("<II", data[end + 12:end + 20])
    headers, p = [], offset
    while p < offset + size:
        needed = struct.unpack("<H", data[p + 6:p + 8])[0]
        name, extra, comment = struct.unpack("<HHH", data[p + 28:p + 34])
        headers.append((needed, data[p + 46 + name:p + 46 + name + extra]))
        p += 46 + name + extra + comment
    return data, headers


def other_readers(label, archive, count, check):
    if shutil.which("unzip"):
        done = subprocess.run(["unzip", "-tq", archive], capture_output=True)
        check.equal(label + ": unzip -t", done.returncode, 0)
    if shutil.which("7z"):
        done = subprocess.run(["7z", "t", "-tzip", archive], capture_output=True)
        check.equal(label + ": 7z t", done.returncode, 0)
    with zipfile.ZipFile(archive) as z:
        check.equal(label + ": zipfile testzip", z.testzip(), None)
        check.equal(label + ": zipfile entries", len(z.infolist()), count)


def extracted(cli, label, archive, expected, check):
    out = archive + "-out"
    code, _, err = cli.run(cli.path(archive), cli.path(out), timeout=300)
    check.equal(label + ": extraction", (code, err), (0, ""))
    check.equal(label + ": tree (the first differences)", tree_difference(expected, out)[:5], [])
    shutil.rmtree(out, ignore_errors=True)


def small_archive(packer, work, check):
    source = os.path.join(work, "small")
    write_files(source, {"a.txt": b"alpha\n" * 1000, "sub/b.txt": b"beta\n", "empty": b""})
    sfx = pack(packer, work, "small", [packer.path(source)], check)
    data, headers = central_headers(sfx)
    archive = data[5002:]
    check.equal("small: no ZIP64 end record or locator",
                (b"PK\x06\x06" in archive, b"PK\x06\x07" in archive), (False, False))
    check.equal("small: headers of version 2.0 without extra fields",
                sorted(set(headers)), [(20, b"")])


def many_entries(packer, cli, work, check):
    """70,000 entries, copied from an archive zipfile writes (70,000 small
    files would take most of the run to create and remove)."""
    source = os.path.join(work, "many.zip")
    with zipfile.ZipFile(source, "w") as z:
        for i in range(ENTRIES):
            z.writestr("many/%05d.txt" % i, b"%d\n" % i if i % 7 else b"")
    sfx = pack(packer, work, "many", ["--from-zip", packer.path(source)], check)
    data, headers = central_headers(sfx)
    end = len(data) - 22
    check.equal("many: classic end record counts 0xFFFF",
                struct.unpack("<HH", data[end + 8:end + 12]), (0xFFFF, 0xFFFF))
    check.equal("many: locator and ZIP64 end record in front of it",
                (data[end - 20:end - 16], data[end - 76:end - 72]), (b"PK\x06\x07", b"PK\x06\x06"))
    check.equal("many: ZIP64 end record counts", struct.unpack("<QQ", data[end - 52:end - 36]),
                (ENTRIES, ENTRIES))
    check.equal("many: no entry needs a ZIP64 field", [h for h in headers if h[1]], [])
    other_readers("many", sfx, ENTRIES, check)
    code, out, err = cli.run("--list", "--tsv", cli.path(sfx), timeout=300)
    lines = out.splitlines()
    check.equal("many: extractor-cli lists them", (code, err, len(lines), lines[-1:] and
                                                   lines[-1].split("\t")[0]),
                (0, "", ENTRIES, "many/%05d.txt" % (ENTRIES - 1)))

    # The packer reads its own ZIP64 output, the stub in front included.
    again = pack(packer, work, "many-again", ["--from-zip", packer.path(sfx)], check)
    with zipfile.ZipFile(again) as z:
        check.equal("many copied: zipfile entries", len(z.infolist()), ENTRIES)

    os.makedirs(os.path.join(work, "v"))
    for label, args in [("split", ["--split", "10M"]), ("disks", ["--disks", "10M"])]:
        code, _, err = packer.run("-o", packer.path(os.path.join(work, "v", "setup.exe")), *args,
                                  "--stub", packer.path(stub(work)), "--from-zip",
                                  packer.path(source))
        check.equal("many into volumes (%s)" % label, (code, err), (1, "extractor-pack: too many "
                    "entries (70000): volumes hold at most 65,535, as --split and --disks write "
                    "no ZIP64 records\n"))
    check.equal("many into volumes: nothing left", listing(os.path.join(work, "v")), [])


class Unseekable(io.RawIOBase):
    """Makes zipfile write data descriptors, with 8-byte sizes behind a
    local ZIP64 field."""

    def __init__(self, f):
        self.f = f

    def writable(self):
        return True

    def write(self, b):
        return self.f.write(b)


def zip64_source(packer, cli, work, check):
    plain = os.path.join(work, "zip64.zip")
    files = {"f%d.txt" % i: b"line %d\n" % i * 3000 for i in range(3)}
    files["plain.txt"] = b"plain"
    limit = zipfile.ZIP_FILECOUNT_LIMIT
    zipfile.ZIP_FILECOUNT_LIMIT = 2  # a ZIP64 end record for four entries
    try:
        with open(plain, "wb") as raw:
            with zipfile.ZipFile(Unseekable(raw), "w", zipfile.ZIP_DEFLATED) as z:
                for name, content in files.items():
                    with z.open(name, "w", force_zip64=name != "plain.txt") as w:
                        w.write(content)
    finally:
        zipfile.ZIP_FILECOUNT_LIMIT = limit
    expected = os.path.join(work, "zip64-files")
    write_files(expected, files)
    for label, extra in [("from ZIP64", []), ("from ZIP64 into volumes", ["--split", "64k"])]:
        sfx = pack(packer, work, label.replace(" ", "-"), ["--from-zip", packer.path(plain)] + extra,
                   check)
        if not extra:
            other_readers(label, sfx, len(files), check)
        extracted(cli, label, sfx, expected, check)


def run_all(packer, cli, work, check):
    small_archive(packer, work, check)
    many_entries(packer, cli, work, check)
    zip64_source(packer, cli, work, check)


if __name__ == "__main__":
    sys.exit(script_main(__doc__, "extractor-pack-zip64-", run_all))
