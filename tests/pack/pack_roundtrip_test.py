"""Self-extracting files made by extractor-pack come back byte for byte and
with their times through extractor-cli: every level, every encryption (WinZip
AES of each strength, which 7z and bsdtar also read, traditional, and the
three legacy AES kinds), split files and removable disks, and archives of other
tools copied with --from-zip. Other ZIP readers accept the output, also
after it has been signed.

usage: pack_roundtrip_test.py EXTRACTOR_PACK EXTRACTOR_CLI [WINE_RUNNER]
"""

import errno
import lzma
import random
import os
import shutil
import struct
import subprocess
import sys
import time
import zipfile

from packrun import PASSWORD, listing, make_tree, script_main, times_difference
from packrun import tree_difference

# WinZip AES is keyed with the UTF-8 of the password, as 7z and bsdtar key it.
AES_PASSWORD = "Schlüssel €-42"

os.environ["TZ"] = "UTC"  # the extractor takes the stored local time as UTC


class Run:
    def __init__(self, packer, cli, work, check):
        self.packer, self.cli, self.work, self.check = packer, cli, work, check
        self.source = make_tree(os.path.join(work, "src"))
        self.stub = cli.exe
        if not cli.exe.lower().endswith(".exe"):
            # 7z finds no archive behind more than about 8 MiB of program, and
            # a sanitizer build of extractor-cli is larger; a cut ELF file is
            # no better, as 7z then takes the file for a damaged ELF. Natively,
            # where the program in front is never run, a MiB of text stands in.
            self.stub = os.path.join(work, "stub.bin")
            with open(self.stub, "wb") as f:
                f.write(b"stand-in for the program in front\n" * 30000)

    def pack(self, label, args, inputs=None, stub=None):
        folder = os.path.join(self.work, label)
        os.makedirs(folder)
        sfx = os.path.join(folder, "setup.exe")
        inputs = [self.packer.path(self.source)] if inputs is None else inputs
        code, _, err = self.packer.run("-o", self.packer.path(sfx), "--stub",
                                       self.packer.path(stub or self.stub), *args, *inputs,
                                       timeout=300)
        # Only the legacy scheme is warned about, in one line that says what it lacks.
        warned = "extractor-pack: warning: legacy-aes" in err
        self.check.equal(label + ": warned", warned, "--encryption" in args and "legacy-aes" in args)
        if warned:
            err = "".join(line for line in err.splitlines(True) if "warning:" not in line)
        self.check.equal(label + ": packer exit", (code, err), (0, ""))
        return sfx

    def extract(self, label, sfx, password=None, expected=None, cwd=None):
        out = os.path.join(self.work, label + "-out")
        args = ["--password", password] if password else []
        code, _, err = self.cli.run(*args, self.cli.path(sfx), self.cli.path(out), cwd=cwd,
                                    timeout=300)
        self.check.equal(label + ": extraction", (code, err), (0, ""))
        expected = expected or os.path.join(self.work, "src-parent")
        self.check.equal(label + ": tree", tree_difference(expected, out), [])
        self.check.equal(label + ": times", times_difference(expected, out), [])


def round_trips(run):
    cases = [("level-%d" % level, ["--level", str(level)], None) for level in range(10)]
    cases += [
        ("traditional", ["--encryption", "traditional", "--password", PASSWORD], PASSWORD),
        ("traditional-stored", ["--level", "0", "--encryption", "traditional",
                                "--password=" + PASSWORD], PASSWORD),
        ("aes-default", ["--password", PASSWORD], PASSWORD),
    ]
    cases += [("legacy-aes-%d" % kind, ["--encryption", "legacy-aes", "--aes-kind", str(kind),
                                        "--password", PASSWORD], PASSWORD) for kind in (2, 3, 4)]
    cases += [("aes-%d" % bits, ["--aes-strength", str(bits), "--password", AES_PASSWORD],
               AES_PASSWORD) for bits in (128, 192, 256)]
    # A packer built without libbz2 and liblzma (the Windows one) refuses them.
    if "without" not in run.packer.run("--method", "bzip2", "-o", run.packer.path(
            os.path.join(run.work, "probe.exe")), "--stub", run.packer.path(run.stub),
            run.packer.path(run.stub))[2]:
        cases += [
            ("bzip2", ["--method", "bzip2"], None),
            ("lzma", ["--method", "lzma"], None),
            ("split-bzip2", ["--method", "bzip2", "--split", "64k"], None),
            ("lzma-aes", ["--method", "lzma", "--password", PASSWORD], PASSWORD),
        ]
    # Volume ends fall inside deflated, stored, traditional and AES data.
    cases += [
        ("split", ["--split", "64k"], None),
        ("split-stored", ["--split", "1M", "--level", "0"], None),
        ("split-traditional", ["--split", "100k", "--encryption", "traditional",
                               "--password", PASSWORD], PASSWORD),
        ("split-aes", ["--split", "70001", "--password", PASSWORD], PASSWORD),
        ("split-one-volume", ["--split", "100M"], None),
    ]
    for label, args, password in cases:
        sfx = run.pack(label, args)
        run.extract(label, sfx, password)
    volumes = listing(os.path.join(run.work, "split"))
    run.check.equal("split volumes named by the rule",
                    [v for v in volumes if not v.startswith("setup.")], [])
    run.check.equal("split: setup.zip is the last volume", "setup.zip" in volumes, True)
    run.check.equal("one volume is a plain file", listing(os.path.join(run.work, "split-one-volume")),
                    ["setup.exe"])


def workers_agree(run):
    """Files compressed on several workers make the archive one worker makes,
    byte for byte: more files than the workers hold at once, stored and
    deflated ones, in one file and in volumes."""
    many = os.path.join(run.work, "many")
    rng = random.Random(7)
    for i in range(150):
        size = rng.choice([0, 1, 700, 20000, 90000])
        data = rng.randbytes(size) if i % 5 == 0 else bytes(rng.choice(b"abc ") for _ in range(size))
        os.makedirs(os.path.join(many, "d%d" % (i % 7)), exist_ok=True)
        with open(os.path.join(many, "d%d" % (i % 7), "f%03d" % i), "wb") as f:
            f.write(data)
    inputs = [run.packer.path(run.source), run.packer.path(many)]
    for label, args in [("level-6", []), ("level-0", ["--level", "0"]),
                        ("level-9", ["--level", "9"]), ("split", ["--split", "64k"])]:
        outputs = {}
        for workers in ("1", "4"):
            folder = os.path.dirname(run.pack("workers-%s-%s" % (label, workers),
                                              [*args, "--workers", workers], inputs))
            outputs[workers] = {name: open(os.path.join(folder, name), "rb").read()
                                for name in listing(folder)}
        run.check.equal(label + ": the same archive from 1 and 4 workers",
                        outputs["4"] == outputs["1"], True)


def other_readers(run):
    """Info-ZIP unzip and Python's zipfile read the output as it is; 7z
    tests the bzip2 and LZMA entries (Info-ZIP unzip has no LZMA). Each file
    entry names the format version its method needs, so an older reader
    declines it rather than misreading it."""
    needed = {0: 20, 8: 20, 12: 46, 14: 63, 93: 63, 95: 63}

    def version(info):
        # A WinZip AES entry needs 5.1, or more for the method inside.
        if info.compress_type != 99:
            return needed[info.compress_type]
        field = info.extra.find(b"\x01\x99\x07\x00")
        return max(51, needed[struct.unpack_from("<H", info.extra, field + 9)[0]])

    for label, password in [("level-6", None), ("traditional", PASSWORD), ("bzip2", None),
                            ("lzma", None), ("aes-128", AES_PASSWORD), ("lzma-aes", PASSWORD)]:
        sfx = os.path.join(run.work, label, "setup.exe")
        if not os.path.exists(sfx):
            continue
        with zipfile.ZipFile(sfx) as z:
            wrong = [(i.filename, i.extract_version) for i in z.infolist()
                     if i.extract_version != version(i)]
            run.check.equal(label + ": entries with a wrong version needed", wrong, [])
        if "aes" in label:  # WinZip AES: Python cannot decrypt it
            continue
        if label in ("bzip2", "lzma") and shutil.which("7z"):
            done = subprocess.run(["7z", "t", sfx], capture_output=True)
            run.check.equal(label + ": 7z t", done.returncode, 0)
        if shutil.which("unzip") and label != "lzma":
            args = ["-P", password] if password else []
            done = subprocess.run(["unzip", "-tq", *args, sfx], capture_output=True)
            run.check.equal(label + ": unzip -t", done.returncode, 0)
        with zipfile.ZipFile(sfx) as z:
            if password:
                z.setpassword(password.encode())
            run.check.equal(label + ": zipfile testzip", z.testzip(), None)
            names = sorted(z.namelist())
        run.check.equal(label + ": names as zipfile reads them",
                        "src/naïve/café.txt" in names and "src/empty_dir/deeper/" in names, True)


def entry_data(sfx, info):
    """The compressed bytes of an entry, found through its local header."""
    with open(sfx, "rb") as f:
        f.seek(info.header_offset)
        header = f.read(30)
        name_length, extra_length = struct.unpack_from("<HH", header, 26)
        f.seek(info.header_offset + 30 + name_length + extra_length)
        return f.read(info.compress_size)


def zstd_and_xz(run):
    """--method zstd and xz: every compressed entry is one Zstandard frame or
    one complete .xz stream, which the reference decoders read back byte for
    byte; entries name version 6.3, and 7z extracts them. The extractor's
    own reading is checked where it has the method's decoder."""
    def zstd_reference(data):
        return subprocess.run(["zstd", "-d", "-c", "-q"], input=data, capture_output=True,
                              check=True).stdout

    readers = {"zstd": (93, zstd_reference),
               "xz": (95, lambda data: lzma.decompress(data, format=lzma.FORMAT_XZ))}
    for method, (number, reference) in readers.items():
        probe = run.packer.run("--method", method, "-o", run.packer.path(
            os.path.join(run.work, "probe-%s.exe" % method)), "--stub", run.packer.path(run.stub),
            run.packer.path(run.stub))[2]
        if "without" in probe:
            print("SKIP --method %s: this packer has not its library" % method)
            continue
        if method == "zstd" and shutil.which("zstd") is None:
            print("SKIP --method zstd: no zstd program to check the frames")
            continue
        for level in (1, 6, 9):
            label = "%s-%d" % (method, level)
            sfx = run.pack(label, ["--method", method, "--level", str(level)])
            with zipfile.ZipFile(sfx) as z:
                packed = [i for i in z.infolist() if i.compress_type == number]
                run.check.equal(label + ": entries of the method", len(packed) > 0, True)
                run.check.equal(label + ": versions needed",
                                sorted({i.extract_version for i in packed}), [63])
                for info in packed:
                    with open(os.path.join(run.work, "src-parent", info.filename), "rb") as f:
                        original = f.read()
                    run.check.equal(label + ": " + info.filename + " through the reference",
                                    reference(entry_data(sfx, info)) == original, True)
            code, _, err = run.cli.run(run.cli.path(sfx), run.cli.path(
                os.path.join(run.work, label + "-out")), timeout=300)
            if code != 0 and "not recognized" in err:
                print("SKIP %s through the extractor: built without the decoder" % label)
            else:
                run.check.equal(label + ": extraction", (code, err), (0, ""))
                run.check.equal(label + ": tree", tree_difference(
                    os.path.join(run.work, "src-parent"), os.path.join(run.work, label + "-out")),
                    [])
        if shutil.which("7z"):
            out = os.path.join(run.work, "%s-by-7z" % method)
            sfx = os.path.join(run.work, "%s-6" % method, "setup.exe")
            done = subprocess.run(["7z", "x", "-y", "-o" + out, sfx], capture_output=True)
            run.check.equal(method + ": 7z x", done.returncode, 0)
            run.check.equal(method + ": tree from 7z",
                            tree_difference(os.path.join(run.work, "src-parent"), out), [])


def unzip_names(run):
    """Info-ZIP unzip lists and extracts names outside ASCII as they were:
    it reads the names of entries made on FAT in the OEM code page even when
    they are flagged as UTF-8."""
    if shutil.which("unzip") is None:
        print("SKIP names through unzip: not installed")
        return
    sfx = os.path.join(run.work, "level-6", "setup.exe")
    env = dict(os.environ, LC_ALL="C.UTF-8")
    listed = subprocess.run(["unzip", "-l", sfx], capture_output=True, env=env).stdout
    listed = listed.decode("utf-8", "replace")
    run.check.equal("unzip -l: names outside ASCII",
                    [n for n in ("src/Größe.txt", "src/naïve/café.txt") if n not in listed], [])
    out = os.path.join(run.work, "level-6-by-unzip")
    done = subprocess.run(["unzip", "-q", sfx, "-d", out], capture_output=True, env=env)
    run.check.equal("unzip: exit", done.returncode, 0)
    run.check.equal("unzip: tree", tree_difference(os.path.join(run.work, "src-parent"), out), [])


def winzip_aes_readers(run):
    """7z and bsdtar extract the packer's WinZip AES entries byte for byte."""
    readers = [("7z", lambda sfx, out: ["7z", "x", "-y", "-p" + AES_PASSWORD, "-o" + out, sfx]),
               ("bsdtar", lambda sfx, out: ["bsdtar", "-x", "--passphrase", AES_PASSWORD, "-C",
                                            out, "-f", sfx])]
    for tool, command in readers:
        if shutil.which(tool) is None:
            print("SKIP WinZip AES through %s: not installed" % tool)
            continue
        for bits in (128, 192, 256):
            label = "aes-%d" % bits
            out = os.path.join(run.work, "%s-by-%s" % (label, tool))
            os.makedirs(out)
            sfx = os.path.join(run.work, label, "setup.exe")
            done = subprocess.run(command(sfx, out), capture_output=True)
            run.check.equal("%s: %s exit" % (label, tool), done.returncode, 0)
            run.check.equal("%s: tree from %s" % (label, tool),
                            tree_difference(os.path.join(run.work, "src-parent"), out), [])


def latin_copy(source, target):
    """The tree with its names in Windows-1252, as Info-ZIP stores names it
    does not flag as UTF-8 and the extractor reads them."""
    for folder, dirs, files in os.walk(source):
        relative = os.path.relpath(folder, source)
        latin = os.path.join(os.fsencode(target), os.fsencode(relative).decode().encode("cp1252"))
        os.makedirs(latin, exist_ok=True)
        for name in files:
            shutil.copy2(os.path.join(folder, name), os.path.join(latin, name.encode("cp1252")))


def from_zip(run):
    source = run.source
    latin = os.path.join(run.work, "src-latin")
    latin_copy(source, latin)
    makers = [
        ("zip-9", "zip", ["zip", "-qr", "-9", "OUT", "."], None),
        ("zip-encrypted", "zip", ["zip", "-qr", "-P", PASSWORD, "OUT", "."], PASSWORD),
        ("7z", "7z", ["7z", "a", "-tzip", "-mm=Deflate", "OUT", "."], None),
        ("7z-zipcrypto", "7z", ["7z", "a", "-tzip", "-mem=ZipCrypto", "-p" + PASSWORD, "OUT",
                                "."], PASSWORD),
        ("python", None, None, None),
        ("python-bzip2", None, None, None),
        ("python-lzma", None, None, None),
    ]
    # bzip2 and LZMA entries are copied as they are: the program decodes them.
    python_methods = {"python": zipfile.ZIP_DEFLATED, "python-bzip2": zipfile.ZIP_BZIP2,
                      "python-lzma": zipfile.ZIP_LZMA}
    for label, tool, command, password in makers:
        packed = latin if tool == "zip" else source
        if tool and shutil.which(tool) is None:
            print("SKIP from-zip %s: %s is not installed" % (label, tool))
            continue
        plain = os.path.join(run.work, label + ".zip")
        if command:
            subprocess.run([plain if a == "OUT" else a for a in command], cwd=packed, check=True,
                           stdout=subprocess.DEVNULL)
        else:
            with zipfile.ZipFile(plain, "w", python_methods[label]) as z:
                for folder, dirs, files in sorted(os.walk(source)):
                    for name in sorted(dirs) + sorted(files):
                        full = os.path.join(folder, name)
                        z.write(full, os.path.relpath(full, source))
        for variant, extra in [("", []), ("-split", ["--split", "64k"])]:
            sfx = run.pack("from-" + label + variant, ["--from-zip", run.packer.path(plain)] + extra,
                           inputs=[])
            out = os.path.join(run.work, "from-%s%s-out" % (label, variant))
            args = ["--password", password] if password else []
            code, _, err = run.cli.run(*args, run.cli.path(sfx), run.cli.path(out), timeout=300)
            run.check.equal("from-zip %s%s: extraction" % (label, variant), (code, err), (0, ""))
            run.check.equal("from-zip %s%s: tree" % (label, variant),
                            tree_difference(source, out), [])


def signed(run):
    """A signature appended to a packed program leaves the archive readable."""
    if not run.stub.lower().endswith(".exe"):
        print("SKIP signing: the stub is no Windows program in this build")
        return
    if shutil.which("osslsigncode") is None or shutil.which("openssl") is None:
        print("SKIP signing: osslsigncode or openssl is not installed")
        return
    folder = os.path.join(run.work, "signing")
    os.makedirs(folder)
    key, cert = os.path.join(folder, "key.pem"), os.path.join(folder, "cert.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key,
                    "-out", cert, "-days", "2", "-subj", "/CN=extractor test"], check=True,
                   capture_output=True)
    for label, password in [("level-6", None), ("traditional", PASSWORD)]:
        sfx = os.path.join(run.work, label, "setup.exe")
        signed_sfx = os.path.join(folder, label + "-signed.exe")
        subprocess.run(["osslsigncode", "sign", "-certs", cert, "-key", key, "-in", sfx,
                        "-out", signed_sfx], check=True, capture_output=True)
        verified = subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", signed_sfx],
                                  capture_output=True, text=True)
        run.check.equal(label + " signed: osslsigncode verify", verified.returncode, 0)
        growth = os.path.getsize(signed_sfx) - os.path.getsize(sfx)
        print("signature of %s: %d bytes" % (label, growth))
        run.extract(label + "-signed", signed_sfx, password)


def serve_disks(drive, disks, process, check):
    """A user who keeps changing disks until the program reads one: the
    label file is a pipe, so each look at the label is seen, and the disk is
    exchanged only while the program waits for the label."""
    fifo = os.path.join(drive, ".windows-label")
    os.mkfifo(fifo)
    answered = 0
    deadline = time.time() + 120
    while process.poll() is None and time.time() < deadline:
        try:
            fd = os.open(fifo, os.O_WRONLY | os.O_NONBLOCK)
        except OSError as e:
            if e.errno != errno.ENXIO:
                raise
            time.sleep(0.001)
            continue
        number = answered % len(disks) + 1
        shutil.copyfile(disks[number - 1], os.path.join(drive, "setup.exe"))
        os.write(fd, b"SETUP %03d\n" % number)
        os.close(fd)
        answered += 1
        # Wait until the program has closed the label before the next look.
        while process.poll() is None and fifo_open_in(process.pid, fifo):
            time.sleep(0.0005)
    if process.poll() is None:
        process.kill()
        check.failures.append("disks: the extraction did not end")
    return answered


def fifo_open_in(pid, path):
    fd_dir = "/proc/%d/fd" % pid
    try:
        return any(os.readlink(os.path.join(fd_dir, fd)) == path for fd in os.listdir(fd_dir))
    except OSError:
        return False


def removable_disks(run):
    if run.cli.runner:
        print("SKIP disks: Wine keeps a drive's label for the life of the process")
        return
    # The program on the last disk is not run here: a small stand-in will do.
    stub = os.path.join(run.work, "small-stub.bin")
    with open(stub, "wb") as f:
        f.write(b"MZ" + bytes(50000))
    for label, args, password in [
            ("disks", ["--disks", "700k"], None),
            ("disks-aes", ["--disks", "500k", "--password", PASSWORD], PASSWORD)]:
        run.pack(label, args, stub=stub)
        folder = os.path.join(run.work, label)
        names = listing(folder)
        disks = [os.path.join(folder, d, "setup.exe") for d in names if d.startswith("setup-disk")]
        run.check.equal(label + ": one folder per disk", len(disks) == len(names) and
                        len(disks) >= 3, True)
        drive = os.path.join(run.work, label + "-drive")
        os.makedirs(drive)
        shutil.copyfile(disks[-1], os.path.join(drive, "setup.exe"))
        out = os.path.join(run.work, label + "-out")
        command = [run.cli.exe] + (["--password", password] if password else [])
        process = subprocess.Popen(command + [os.path.join(drive, "setup.exe"), out], cwd=drive,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        serve_disks(drive, disks, process, run.check)
        err = process.stderr.read().decode()
        run.check.equal(label + ": extraction", (process.wait(), err), (0, ""))
        run.check.equal(label + ": tree",
                        tree_difference(os.path.join(run.work, "src-parent"), out), [])


def run_all(packer, cli, work, check):
    run = Run(packer, cli, work, check)
    # What the extraction of a packed "src" folder gives.
    os.makedirs(os.path.join(work, "src-parent"))
    shutil.copytree(run.source, os.path.join(work, "src-parent", "src"), copy_function=shutil.copy2)
    round_trips(run)
    workers_agree(run)
    other_readers(run)
    zstd_and_xz(run)
    unzip_names(run)
    winzip_aes_readers(run)
    from_zip(run)
    signed(run)
    removable_disks(run)


if __name__ == "__main__":
    sys.exit(script_main(__doc__, "extractor-pack-", run_all))
