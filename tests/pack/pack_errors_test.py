"""extractor-pack's failures: each message and exit code, and that a failed
run leaves no output, volume or temporary file behind (and an output of an
earlier run as it was). Natively also the password prompt and the progress
line on a terminal.

usage: pack_errors_test.py EXTRACTOR_PACK EXTRACTOR_CLI [WINE_RUNNER]
"""

import os
import random
import re
import socket
import sys
import shutil
import zipfile

from packrun import PASSWORD, Cli, listing, script_main, tree_difference, write_files

PREFIX = "extractor-pack: "


class Errors:
    def __init__(self, packer, cli, work, check):
        self.packer, self.cli, self.work, self.check = packer, cli, work, check
        self.stub = os.path.join(work, "stub.bin")
        with open(self.stub, "wb") as f:
            f.write(b"MZ" + bytes(100000))
        self.count = 0

    def path(self, p):
        return self.packer.path(p)

    def fails(self, label, args, message, code=1, output_name="setup.exe", stub=True, packer=None):
        """Runs the packer into a folder of its own, which must look afterwards
        as before: an earlier setup.exe there stays as it was."""
        self.count += 1
        folder = os.path.join(self.work, "out%d" % self.count)
        os.makedirs(folder)
        earlier = os.path.join(folder, "setup.exe")
        with open(earlier, "wb") as f:
            f.write(b"an earlier run")
        os.chmod(folder, 0o777)  # also for a packer run as another user
        output = os.path.join(folder, output_name.rstrip("/"))
        if output_name.endswith("/"):
            os.makedirs(output)
        before = listing(folder)
        stub_args = ["--stub", self.path(self.stub)] if stub else []
        got_code, out, err = (packer or self.packer).run("-o", self.path(output), *stub_args,
                                                         *args, timeout=600)
        self.check.equal(label + ": exit", got_code, code)
        if code == 2:
            self.check.equal(label + ": usage", err.startswith(PREFIX + message) and
                             "usage:" in err, True)
        else:
            self.check.equal(label + ": message", err, PREFIX + message + "\n")
        self.check.equal(label + ": left behind", listing(folder), before)
        with open(earlier, "rb") as f:
            self.check.equal(label + ": earlier output", f.read(), b"an earlier run")
        return output


def sparse(path, size):
    with open(path, "wb") as f:
        f.truncate(size)


def usage(e, source):
    p = e.path(source)
    cases = [
        ("no inputs", [], "nothing to pack"),
        ("unknown option", ["--bogus", p], "unknown option --bogus"),
        ("level 10", ["--level", "10", p], "--level takes 0 to 9, not 10"),
        ("small volumes", ["--split", "1k", p], "--split takes a size of at least 64k"),
        ("bad size", ["--disks", "12q", p], "--disks takes a size of at least 64k"),
        ("encryption without password", ["--encryption", "aes", p], "--encryption needs --password"),
        ("aes kind 5", ["--aes-kind", "5", p], "--aes-kind takes 2, 3 or 4, not 5"),
        ("aes kind without legacy", ["--password", "pw", "--aes-kind", "2", p],
         "--aes-kind belongs to --encryption legacy-aes"),
        ("aes strength 512", ["--aes-strength", "512", p], "--aes-strength takes 128, 192 or 256"),
        ("split and disks", ["--split", "1M", "--disks", "1M", p], "--split and --disks exclude"),
        ("from-zip and paths", ["--from-zip", p, p], "--from-zip takes no other files"),
        ("password without terminal", ["--encryption", "aes", p, "--password"],
         "--password needs a value when"),
    ]
    for label, args, message in cases:
        e.fails(label, args, message, code=2)
    code, out, err = e.packer.run("--help")
    e.check.equal("--help", (code, out.startswith("usage: extractor-pack"), err), (0, True, ""))


def failures(e, source):
    w = e.work
    missing = os.path.join(w, "no-such-folder")
    e.fails("missing input", [e.path(missing)], "cannot find " + e.path(missing))
    e.fails("missing stub", ["--stub", e.path(missing), e.path(source)],
            "cannot find the program %s (give one with --stub)" % e.path(missing), stub=False)

    odd = os.path.join(w, "odd")
    os.makedirs(odd)
    write_files(odd, {"a.txt": b"a"})
    sock = socket.socket(socket.AF_UNIX)
    sock.bind(os.path.join(odd, "socket"))
    socket_path = e.path(os.path.join(odd, "socket"))
    # Windows knows no sockets among files: to it the name is not there.
    e.fails("unreadable: a socket", [e.path(odd)],
            ("cannot find %s" if e.packer.runner else "cannot read %s: not a file or folder")
            % socket_path)
    sock.close()
    unreadable(e)

    nowhere = os.path.join(w, "no-such-folder", "setup.exe")
    code, _, err = e.packer.run("-o", e.path(nowhere), "--stub", e.path(e.stub), e.path(source))
    e.check.equal("output folder missing", (code, err), (1, PREFIX + "cannot write " +
                                                          e.path(nowhere) + "\n"))
    e.fails("output is a folder", [e.path(source)], "cannot write %s: a folder"
            % e.path(os.path.join(w, "out%d" % (e.count + 1), "sub")), output_name="sub/")

    # A file whose entry needs ZIP64 where it cannot have it: refused before
    # it is read.
    huge = os.path.join(w, "huge")
    os.makedirs(huge)
    sparse(os.path.join(huge, "big.bin"), 4 * 1024**3 - 1)
    for label, args in [("split", ["--split", "100M"]), ("disks", ["--disks", "100M"])]:
        e.fails("file of 4 GB into volumes: " + label, args + [e.path(huge)],
                "cannot pack huge/big.bin into volumes: an entry of 4 GB or more needs ZIP64, "
                "which --split and --disks do not write")
    e.fails("file of 4 GB with the extractor's AES", ["--password", PASSWORD, e.path(huge)],
            "cannot pack huge/big.bin: entries with the extractor's AES stay below 4 GB and within "
            "the first 4 GB of the archive (use --encryption traditional for larger archives)")
    shutil.rmtree(huge)

    e.fails("split output name", ["--split", "1M", e.path(source)],
            "--split needs an output name with an extension, such as setup.exe",
            output_name="setup")
    e.fails("split output named like a volume", ["--split", "1M", e.path(source)],
            "--split: the volumes take names ending in digits and zip; setup.zip would be one "
            "of them", output_name="setup.zip")

    # Failures after volumes have been written.
    big = os.path.join(w, "big")
    write_files(big, {"random.bin": random.Random(3).randbytes(999 * 65536 + 100)})
    e.fails("more than 999 volumes", ["--level", "0", "--split", "64k", e.path(big)],
            "more than 999 volumes: choose a larger volume size")
    write_files(big, {"random.bin": random.Random(3).randbytes(200000)})
    e.fails("program does not fit on a disk", ["--disks", "64k", e.path(big)],
            "the program and the directory (100134 bytes) do not fit on one disk")
    shutil.rmtree(big)


def as_unprivileged(e):
    """The packer, run as a user whom file permissions bind: as itself, or
    for root as nobody; absent when that cannot be."""
    if os.getuid() != 0:
        return e.packer
    if shutil.which("setpriv") is None:
        return None
    runner = os.path.join(e.work, "as-nobody.sh")
    with open(runner, "w") as f:
        f.write('#!/bin/sh\nexec setpriv --reuid=65534 --regid=65534 --clear-groups "$@"\n')
    os.chmod(runner, 0o755)
    os.chmod(e.work, 0o755)
    return Cli(e.packer.exe, runner)


def unreadable(e):
    """A file that cannot be read stops the run, naming it and the reason."""
    packer = None if e.packer.runner else as_unprivileged(e)
    if packer is None:
        print("SKIP unreadable file: natively only, as a user bound by permissions")
        return
    locked = os.path.join(e.work, "locked", "locked.txt")
    write_files(e.work, {"locked/a.txt": b"a", "locked/locked.txt": b"secret"})
    os.chmod(locked, 0)
    e.fails("unreadable: no permission", [e.path(os.path.dirname(locked))],
            "cannot read %s: Permission denied" % e.path(locked), packer=packer)
    shutil.rmtree(os.path.dirname(locked))


def size_in_line(line, what):
    """The bytes a size like "1.2 MB" in the line after what stands for, and
    the rounding it allows."""
    found = re.search(re.escape(what) + r"([\d.]+) (bytes|kB|MB)", line)
    if not found:
        return None, 0
    unit = {"bytes": 1, "kB": 1e3, "MB": 1e6}[found.group(2)]
    return float(found.group(1)) * unit, unit / 10


def summaries(e, source):
    """The last line gives the output's size and its share of the input's,
    also when an archive is copied; a link to nothing is skipped with a
    warning that names it."""
    folder = os.path.join(e.work, "summary")
    os.makedirs(folder)
    linked = os.path.join(e.work, "linked")
    write_files(linked, {"a.txt": os.urandom(3000) + bytes(50000)})
    os.symlink(os.path.join(e.work, "gone"), os.path.join(linked, "gone"))
    plain = os.path.join(folder, "plain.zip")
    with zipfile.ZipFile(plain, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("x.txt", b"x" * 200000)
    for label, args, entries, size in [
            ("files", [e.path(linked)], 2, 53000),
            ("from-zip", ["--from-zip", e.path(plain)], 1, 200000)]:
        sfx = os.path.join(folder, label + ".exe")
        code, out, err = e.packer.run("-o", e.path(sfx), "--stub", e.path(e.stub), *args)
        if not e.check.equal(label + ": exit", (code, os.path.exists(sfx)), (0, True)):
            continue
        if label == "files" and not e.packer.runner:
            e.check.equal("link to nothing: warning", err, PREFIX + "warning: skipped %s: a link to "
                          "nothing\n" % e.path(os.path.join(linked, "gone")))
            with zipfile.ZipFile(sfx) as z:
                e.check.equal("link to nothing: entries", z.namelist(), ["linked/", "linked/a.txt"])
        written = os.path.getsize(sfx)
        e.check.equal(label + ": summary", out.startswith("%d entries packed into " % entries) and
                      out.endswith(": %s\n" % e.path(sfx)), True)
        shown, slack = size_in_line(out, "packed into ")
        e.check.equal(label + ": output size shown", shown is not None and
                      abs(shown - written) <= slack, True)
        percent = re.search(r"\(([\d.]+)% of ", out)
        e.check.equal(label + ": ratio shown", percent is not None and
                      abs(float(percent.group(1)) - 100.0 * written / size) <= 0.05, True)


def from_zip_failures(e):
    w = e.work
    junk = os.path.join(w, "junk.zip")
    with open(junk, "wb") as f:
        f.write(b"no archive here" * 1000)
    e.fails("from-zip: no archive", ["--from-zip", e.path(junk)],
            e.path(junk) + " is not a ZIP archive")
    missing = os.path.join(w, "missing.zip")
    e.fails("from-zip: missing", ["--from-zip", e.path(missing)], "cannot find " + e.path(missing))
    zip64 = os.path.join(w, "zip64.zip")
    limit = zipfile.ZIP_FILECOUNT_LIMIT
    zipfile.ZIP_FILECOUNT_LIMIT = 1  # two entries are then written with ZIP64 records
    try:
        with zipfile.ZipFile(zip64, "w") as z:
            z.writestr("a.txt", b"a")
            z.writestr("b.txt", b"b")
    finally:
        zipfile.ZIP_FILECOUNT_LIMIT = limit
    with open(zip64, "rb") as f:
        good = f.read()
    end64 = good.rindex(b"PK\x06\x06")
    damaged = [
        ("ZIP64 end record missing", good[:end64] + b"XX" + good[end64 + 2:],
         " is not a ZIP archive"),
        # The central header of a.txt says its offset is in a ZIP64 field it lacks.
        ("ZIP64 field missing", good.replace(b"\x00\x00\x00\x00a.txt", b"\xff\xff\xff\xffa.txt"),
         " is damaged: the ZIP64 field of a.txt is missing or short"),
    ]
    for label, data, message in damaged:
        with open(zip64, "wb") as f:
            f.write(data)
        e.fails("from-zip: " + label, ["--from-zip", e.path(zip64)], e.path(zip64) + message)


def interrupted(e):
    """Ctrl-C in the middle of a file: the run ends as a failure, leaving nothing."""
    if e.packer.runner:
        print("SKIP interrupt: natively only")
        return
    import signal
    import subprocess
    import time
    folder = os.path.join(e.work, "interrupted")
    write_files(folder, {"in/random.bin": random.Random(9).randbytes(40 << 20)})
    process = subprocess.Popen([e.packer.exe, "-o", "setup.exe", "--stub", e.stub, "--level", "9",
                                "in"], cwd=folder, stdout=subprocess.DEVNULL,
                               stderr=subprocess.PIPE)
    time.sleep(0.5)
    process.send_signal(signal.SIGINT)
    _, err = process.communicate(timeout=120)
    e.check.equal("interrupt", (process.returncode, err), (1, b"extractor-pack: interrupted\n"))
    e.check.equal("interrupt: left behind", listing(folder), ["in"])


def on_terminal(packer, arguments, answers):
    """Runs the packer on a terminal, typing each answer after a prompt."""
    import pty
    import select
    pid, terminal = pty.fork()
    if pid == 0:
        os.execv(packer.exe, [packer.exe] + arguments)
    seen, typed = b"", 0
    while True:
        ready, _, _ = select.select([terminal], [], [], 60)
        if not ready:
            os.kill(pid, 9)
            break
        try:
            chunk = os.read(terminal, 1000)
        except OSError:
            break
        if not chunk:
            break
        seen += chunk
        if typed < len(answers) and seen.count(b"Password") > typed:
            os.write(terminal, answers[typed].encode() + b"\n")
            typed += 1
    _, status = os.waitpid(pid, 0)
    return os.waitstatus_to_exitcode(status), seen.decode("utf-8", "replace")


def terminal(e, source):
    if e.packer.runner:
        print("SKIP terminal: no terminal under Wine")
        return
    w = e.work
    sfx = os.path.join(w, "asked.exe")
    # Without a value (here: before another option) the password is asked for.
    args = ["-o", sfx, "--stub", e.stub, "--password", "--encryption", "traditional", source]
    code, seen = on_terminal(e.packer, args, [PASSWORD, PASSWORD])
    e.check.equal("prompt: exit", code, 0)
    e.check.equal("prompt: not echoed", PASSWORD in seen, False)
    out = os.path.join(w, "asked-out")
    code, _, err = e.cli.run("--password", PASSWORD, sfx, out)
    e.check.equal("prompt: extraction with the password typed", (code, err), (0, ""))
    e.check.equal("prompt: tree", tree_difference(source, os.path.join(out, "src")), [])
    code, seen = on_terminal(e.packer, args, [PASSWORD, "something else"])
    e.check.equal("prompt: answers differ", (code, "the passwords given differ" in seen), (1, True))

    # One worker: the line is drawn once the run has taken half a second.
    slow = os.path.join(w, "slow")
    write_files(slow, {"%d.bin" % i: random.Random(i).randbytes(8 << 20) for i in range(4)})
    code, seen = on_terminal(e.packer, ["-o", os.path.join(w, "slow.exe"), "--stub", e.stub,
                                        "--level", "9", "--workers", "1", slow], [])
    e.check.equal("progress: exit", code, 0)
    e.check.equal("progress: a line with files, bytes and percent",
                  "/5 files" in seen and "/33.6 MB" in seen and "100%" in seen, True)
    shutil.rmtree(slow)


def run_all(packer, cli, work, check):
    e = Errors(packer, cli, work, check)
    source = os.path.join(work, "src")
    write_files(source, {"a.txt": b"alpha\n" * 100, "sub/b.txt": b"beta\n"})
    usage(e, source)
    failures(e, source)
    summaries(e, source)
    from_zip_failures(e)
    terminal(e, source)
    interrupted(e)


if __name__ == "__main__":
    sys.exit(script_main(__doc__, "extractor-pack-errors-", run_all))
