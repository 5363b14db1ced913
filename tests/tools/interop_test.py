"""Archives written by other ZIP tools, put behind a program stub and
adjusted with "zip -A" as a self-extracting file is, must list as Python's
zipfile reads them and extract byte for byte through extractor-cli; so must
some of them appended without "zip -A", their offsets counted from their
own start. Names that the ANSI code page cannot hold must come out under
their exact names, also into a destination whose own path has such
characters.

usage: interop_test.py EXTRACTOR_CLI [WINE_RUNNER]
"""

import os
import random
import shutil
import subprocess
import sys
import tempfile
import zipfile

from clirun import Cli, tree_difference, write_files

SKIPPED = 77
LATIN_NAME = "Größe.txt"
# Typed in a UTF-8 terminal, this keys the same Windows-1252 bytes that
# Info-ZIP is given here.
INFOZIP_PASSWORD = "päss wörd"
SEVENZIP_PASSWORD = "Secret-7z"
# WinZip AES keys with the password in UTF-8, whatever the code page.
WINZIP_AES_PASSWORD = "Geheimnis-äöü €"


def text(rng, size):
    words = ["archive", "volume", "entry", "deflate", "header", "folder", "stream",
             "Größe", "naïve", "the", "a", "of", "and", "to", "data", "\n"]
    out = []
    total = 0
    while total < size:
        w = rng.choice(words)
        out.append(w)
        total += len(w) + 1
    return " ".join(out).encode("utf-8")[:size]


def some_binary(size):
    for candidate in ["/usr/bin/bash", "/bin/bash", os.path.realpath(sys.executable)]:
        if os.path.isfile(candidate):
            with open(candidate, "rb") as f:
                return f.read(size)
    return random.Random(1).randbytes(size)


def make_tree(root, latin_name):
    """A small mixed tree; latin_name is the stored bytes of LATIN_NAME."""
    rng = random.Random(6)
    files = {
        b"readme.txt": text(rng, 40000),
        # Compressible and several input chunks long, so back-references
        # cross the pipeline's passes.
        b"docs/guide/chapter1.txt": text(rng, 2500000),
        b"bin/tool.bin": some_binary(600000),
        b"data/random.bin": rng.randbytes(700000),
        b"empty.txt": b"",
        latin_name: "Maße und Gewichte: 3 × 4\n".encode("utf-8"),
    }
    root = os.fsencode(root)
    os.makedirs(os.path.join(root, b"empty_dir"))
    write_files(root, files)


def python_zip(compression):
    def write(out, src):
        with zipfile.ZipFile(out, "w", compression) as z:
            for folder, dirs, files in os.walk(src):
                for name in sorted(dirs) + sorted(files):
                    full = os.path.join(folder, name)
                    z.write(full, os.path.relpath(full, src))
    return write


def python_zip64(out, src):
    """Every entry with ZIP64 sizes in its local header, as Python writes
    entries of unknown size."""
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        for folder, dirs, files in os.walk(src):
            for name in sorted(dirs) + sorted(files):
                full = os.path.join(folder, name)
                arcname = os.path.relpath(full, src)
                if os.path.isdir(full):
                    z.write(full, arcname)
                    continue
                info = zipfile.ZipInfo.from_file(full, arcname)
                info.compress_type = zipfile.ZIP_DEFLATED
                with open(full, "rb") as f, z.open(info, "w", force_zip64=True) as entry:
                    shutil.copyfileobj(f, entry)


def command_zip(*args):
    def write(out, src):
        command = [a.replace("OUT", out) if isinstance(a, str) else a for a in args]
        subprocess.run(command, cwd=src, check=True, stdout=subprocess.DEVNULL)
    return write


def streamed_zip(*args):
    """Info-ZIP writing to a pipe: it cannot seek back, so sizes and CRC-32
    follow each entry's data in a data descriptor."""
    def write(out, src):
        with open(out, "wb") as f:
            zip_run = subprocess.Popen(list(args), cwd=src, stdout=subprocess.PIPE)
            shutil.copyfileobj(zip_run.stdout, f)
            if zip_run.wait() != 0:
                raise RuntimeError("zip failed")
    return write


def archivers():
    """(label, tool, writer, source tree, password)."""
    cp1252_password = INFOZIP_PASSWORD.encode("cp1252")
    found = [("infozip-%d" % level, "zip",
              command_zip("zip", "-q", "-r", "-%d" % level, "OUT", "."), "latin", None)
             for level in range(10)]
    found += [
        ("infozip-encrypted", "zip",
         command_zip("zip", "-q", "-r", "-e", "-P", cp1252_password, "OUT", "."), "latin",
         INFOZIP_PASSWORD),
        ("7z-deflate", "7z", command_zip("7z", "a", "-tzip", "-mm=Deflate", "OUT", "."), "utf8",
         None),
        # Deflate64 (method 9), with its 64 KiB window.
        ("7z-deflate64", "7z", command_zip("7z", "a", "-tzip", "-mm=Deflate64", "OUT", "."),
         "utf8", None),
        ("7z-zipcrypto", "7z",
         command_zip("7z", "a", "-tzip", "-mm=Deflate", "-mem=ZipCrypto",
                     "-p" + SEVENZIP_PASSWORD, "OUT", "."), "utf8", SEVENZIP_PASSWORD),
        ("infozip-zip64", "zip", command_zip("zip", "-q", "-r", "-fz", "OUT", "."), "latin", None),
        ("infozip-streamed", "zip", streamed_zip("zip", "-q", "-r", "-", "."), "latin", None),
        ("python-zip64", None, python_zip64, "utf8", None),
        ("python-stored", None, python_zip(zipfile.ZIP_STORED), "utf8", None),
    ]
    for bits in (128, 256):
        for method, level in (("stored", 0), ("deflated", 5)):
            found.append((
                "7z-aes%d-%s" % (bits, method), "7z",
                command_zip("7z", "a", "-tzip", "-mx=%d" % level, "-mem=AES%d" % bits,
                            "-p" + SEVENZIP_PASSWORD, "OUT", "."), "utf8", SEVENZIP_PASSWORD))
        found.append((
            "bsdtar-aes%d" % bits, "bsdtar",
            command_zip("bsdtar", "--format", "zip", "--options", "zip:encryption=aes%d" % bits,
                        "--passphrase", WINZIP_AES_PASSWORD, "-cf", "OUT", "."), "utf8",
            WINZIP_AES_PASSWORD))
    found += [
        ("python-deflated", None, python_zip(zipfile.ZIP_DEFLATED), "utf8", None),
        ("infozip-bzip2", "zip", command_zip("zip", "-q", "-r", "-Z", "bzip2", "OUT", "."),
         "latin", None),
        ("7z-bzip2", "7z", command_zip("7z", "a", "-tzip", "-m0=BZip2", "OUT", "."), "utf8", None),
        ("7z-lzma", "7z", command_zip("7z", "a", "-tzip", "-m0=LZMA", "OUT", "."), "utf8", None),
        ("7z-lzma-eos", "7z", command_zip("7z", "a", "-tzip", "-m0=LZMA:eos", "OUT", "."), "utf8",
         None),
        ("python-bzip2", None, python_zip(zipfile.ZIP_BZIP2), "utf8", None),
        ("python-lzma", None, python_zip(zipfile.ZIP_LZMA), "utf8", None),
        ("bsdtar", "bsdtar", command_zip("bsdtar", "--format", "zip", "-cf", "OUT", "."), "utf8",
         None),
    ]
    return found


# Keyed by the name in UTF-8; the long one is 200 characters and, at 246
# bytes, still within what a Linux file name may hold.
UNICODE_FILES = {
    "日本語.txt": "日本語のテキスト\n",
    "Ελληνικά/файл.txt": "Ελληνικά и русский\n",
    "Ünïcödé àéîõü ß.txt": "Latin\n",
    "emoji-\U0001F600.txt": "a surrogate pair in UTF-16\n",
    "L" * 150 + "é" * 46 + ".txt": "long\n",
    "plain.txt": "plain\n",
}


def name_archivers():
    """(label, tool, writer) of the archives with UNICODE_FILES."""
    return [
        ("python-stored", None, python_zip(zipfile.ZIP_STORED)),
        ("python-deflated", None, python_zip(zipfile.ZIP_DEFLATED)),
        # Info-ZIP stores the bytes of the names as Linux has them, UTF-8,
        # without flag bit 11.
        ("infozip", "zip", command_zip("zip", "-q", "-r", "OUT", ".")),
        ("7z", "7z", command_zip("7z", "a", "-tzip", "OUT", ".")),
        ("bsdtar", "bsdtar", command_zip("bsdtar", "--format", "zip", "-cf", "OUT", ".")),
    ]


def check_names(cli, work, sfx, destination):
    problems = []
    code, out, err = cli.run("--list", "--tsv", cli.path(sfx))
    listed = {line.split("\t")[0] for line in out.splitlines()}
    listed = {name[2:] if name.startswith("./") else name for name in listed}
    for name in sorted(UNICODE_FILES.keys() - listed):
        problems.append("not listed as stored: %r" % name)
    if code != 0 or err:
        problems.append("--list exit %d: %s" % (code, err.strip()))
    code, out, err = cli.run(cli.path(sfx), cli.path(destination))
    if code != 0 or err or out:
        problems.append("extraction exit %d: %s" % (code, (out + err).strip().replace("\n", "; ")))
    problems += tree_difference(os.path.join(work, "src-names"), destination)
    return problems


def run_name_archives(cli, work, stub):
    source = os.path.join(work, "src-names")
    write_files(source, {name: text.encode("utf-8") for name, text in UNICODE_FILES.items()})
    failures = 0
    for number, (label, tool, write) in enumerate(name_archivers()):
        if tool and shutil.which(tool) is None:
            print("SKIP names-%s: %s is not installed" % (label, tool))
            continue
        plain = os.path.join(work, "names-%s.zip" % label)
        sfx = os.path.join(work, "names-%s.exe" % label)
        write(plain, source)
        make_self_extracting(plain, sfx, stub)
        # Short, so that the long name stays within the 259-character path limit.
        destination = os.path.join(work, "目的地-%d" % number)
        problems = check_names(cli, work, sfx, destination)
        print("%s names-%s" % ("FAIL" if problems else "ok  ", label))
        for p in problems[:8]:
            print("     " + p)
        failures += bool(problems)
    return failures


# Appended to the program as they are, also without "zip -A".
UNADJUSTED = ["infozip-6", "infozip-encrypted", "infozip-streamed", "7z-deflate",
              "python-deflated", "python-zip64", "bsdtar"]
# Only so: "zip -A" cannot adjust Info-ZIP's own ZIP64 archives.
ONLY_UNADJUSTED = ["infozip-zip64"]


def make_self_extracting(zip_path, sfx_path, stub, adjust=True):
    with open(sfx_path, "wb") as out:
        out.write(stub)
        with open(zip_path, "rb") as z:
            out.write(z.read())
    if adjust:
        subprocess.run(["zip", "-q", "-A", sfx_path], check=True)


def unix_utf8(info, raw):
    """Unix and macOS writers name entries in UTF-8 without saying so."""
    if info.create_system not in (3, 19) or raw.isascii():
        return False
    try:
        raw.decode("utf-8")
        return True
    except UnicodeDecodeError:
        return False


def winzip_aes(info):
    """(real method, encryption kind 5) of a WinZip AES entry, else None."""
    extra = info.extra
    p = 0
    while p + 4 <= len(extra):
        tag, size = int.from_bytes(extra[p:p + 2], "little"), int.from_bytes(extra[p + 2:p + 4], "little")
        if tag == 0x9901 and size >= 7:
            return int.from_bytes(extra[p + 9:p + 11], "little"), 5
        p += 4 + size
    return None


def expected_listing(sfx_path):
    lines = []
    with zipfile.ZipFile(sfx_path) as z:
        for info in z.infolist():
            flagged = info.flag_bits & 0x800
            raw = info.orig_filename.encode("utf-8" if flagged else "cp437")
            name = raw.decode("utf-8" if flagged or unix_utf8(info, raw) else "cp1252")
            stamp = "%04d-%02d-%02d %02d:%02d:%02d" % info.date_time
            method, kind = info.compress_type, info.flag_bits & 1
            if method == 99:
                method, kind = winzip_aes(info) or (method, kind)
            lines.append("%s\t%d\t%d\t%d\t%08x\t%s\t%d\t0" % (
                name, method, info.compress_size, info.file_size, info.CRC, stamp, kind))
    return lines


def check_archive(cli, work, label, sfx, password):
    problems = []
    code, out, err = cli.run("--list", "--tsv", cli.path(sfx))
    if code != 0:
        problems.append("--list exit %d: %s" % (code, err.strip()))
    else:
        want = expected_listing(sfx)
        got = out.splitlines()
        for i in range(max(len(want), len(got))):
            w = want[i] if i < len(want) else "(none)"
            g = got[i] if i < len(got) else "(none)"
            if w != g:
                problems.append("listing line %d: got %r, zipfile says %r" % (i + 1, g, w))

    destination = os.path.join(work, "out-" + label)
    args = ["--password", password] if password else []
    code, out, err = cli.run(*args, cli.path(sfx), cli.path(destination))
    if code != 0 or err:
        problems.append("extraction exit %d: %s" % (code, err.strip().replace("\n", "; ")))
    differences = tree_difference(os.path.join(work, "src-utf8"), destination)
    if code != 0:
        problems.append("%d difference(s) in the tree extracted before the failure"
                        % len(differences))
    else:
        problems += differences
    return problems


def main():
    if len(sys.argv) not in (2, 3):
        print(__doc__)
        return 2
    cli = Cli(*sys.argv[1:])
    if shutil.which("zip") is None:
        print("SKIP: Info-ZIP zip is needed to adjust the archives' offsets")
        return SKIPPED
    work = tempfile.mkdtemp(prefix="extractor-interop-")
    try:
        make_tree(os.path.join(work, "src-utf8"), LATIN_NAME.encode("utf-8"))
        make_tree(os.path.join(work, "src-latin"), LATIN_NAME.encode("cp1252"))
        stub = some_binary(20000)
        failures = 0
        for label, tool, write, source, password in archivers():
            if tool and shutil.which(tool) is None:
                print("SKIP %s: %s is not installed" % (label, tool))
                continue
            plain = os.path.join(work, label + ".zip")
            write(plain, os.path.join(work, "src-" + source))
            ways = [True, False] if label in UNADJUSTED else [True]
            for adjust in [False] if label in ONLY_UNADJUSTED else ways:
                case = label if adjust else label + "-unadjusted"
                sfx = os.path.join(work, case + ".exe")
                make_self_extracting(plain, sfx, stub, adjust)
                problems = check_archive(cli, work, case, sfx, password)
                print("%s %s" % ("FAIL" if problems else "ok  ", case))
                for p in problems[:8]:
                    print("     " + p)
                failures += bool(problems)
        failures += run_name_archives(cli, work, stub)
        print("%d archive(s) failed" % failures if failures else "all archives passed")
        return 1 if failures else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
