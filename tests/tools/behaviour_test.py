"""extractor-cli as scripts see it: exit statuses, the exact messages on
stderr, each after the file it concerns, warnings, the overwrite switch,
the password answers and an interrupt.

usage: behaviour_test.py EXTRACTOR_CLI [WINE_RUNNER [CONSOLE_EVENT]]
"""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import zipfile

from clirun import Cli, long_names, tree_difference, write_files

SKIPPED = 77
ABORTED = "Unzip Operation Aborted"
NOT_ZIP = "The file is not identified as a compliant zip file"
FILES = {"a.txt": b"alpha\n" * 1000, "sub/b.txt": b"beta\n", "sub/deeper/c.bin": bytes(range(256))}


class Checker:
    def __init__(self):
        self.failures = []

    def equal(self, what, got, want):
        if got != want:
            self.failures.append("%s: got %r, want %r" % (what, got, want))

    def result(self, what, run, code, err=None):
        """err: the whole of stderr, or a test of it."""
        got_code, _, got_err = run
        self.equal(what + " exit", got_code, code)
        if callable(err):
            if not err(got_err):
                self.failures.append("%s: stderr %r" % (what, got_err))
        elif err is not None:
            self.equal(what + " stderr", got_err, err)


def said(cli, path, *texts):
    """The lines extractor-cli writes for the file at path."""
    return "".join("extractor-cli: %s: %s\n" % (cli.path(path), text) for text in texts)


def write_tree(root):
    write_files(root, FILES)


def plain_archive(path):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for name, content in FILES.items():
            z.writestr(name, content)


def corrupted_archive(path):
    """One stored entry whose data no longer match its CRC-32."""
    with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as z:
        z.writestr("bad.txt", b"0123456789")
    with open(path, "r+b") as f:
        data = f.read()
        f.seek(data.index(b"0123456789"))
        f.write(b"X")


def size_damaged_archive(path):
    """One stored entry whose directory claims one byte more than it holds."""
    with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as z:
        z.writestr("short.txt", b"0123456789")
    with open(path, "r+b") as f:
        data = bytearray(f.read())
        at = data.index(b"PK\x01\x02")
        data[at + 24] += 1
        f.seek(0)
        f.write(data)


def exit_statuses(cli, check, work):
    """Each status a script may meet, with what stderr says and what stays."""
    missing = os.path.join(work, "no-such.zip")
    junk = os.path.join(work, "junk.zip")
    with open(junk, "wb") as f:
        f.write(b"this is no archive" * 100)
    bad = os.path.join(work, "bad.zip")
    corrupted_archive(bad)
    short = os.path.join(work, "short.zip")
    size_damaged_archive(short)
    plain = os.path.join(work, "plain.zip")
    plain_archive(plain)
    kept = os.path.join(work, "kept-out")
    write_files(kept, {"a.txt": b"mine"})
    # A file entry, then one whose name is mended, then one that cannot be
    # written: the warning comes before the error.
    later = os.path.join(work, "later.zip")
    with zipfile.ZipFile(later, "w") as z:
        z.writestr("first.txt", b"1")
        z.writestr("C:\\drive.txt", b"2")
        z.writestr("blocked/x.txt", b"3")
    later_out = os.path.join(work, "later-out")
    write_files(later_out, {"blocked": b"a file where a folder goes"})
    # A file that leads to /dev/full stands for a full disk, under Wine too.
    full_out = os.path.join(work, "full-out")
    os.makedirs(full_out)
    os.symlink("/dev/full", os.path.join(full_out, "a.txt"))
    out = lambda name: os.path.join(work, name)
    cases = [
        # what, arguments, status, stderr, file that stays (or None)
        ("extracted", [plain, out("ok-out")], 0, "", out("ok-out/sub/deeper/c.bin")),
        ("files kept", [plain, kept], 0,
         lambda e: e.startswith(said(cli, os.path.join(kept, "a.txt"), "File Exists")),
         os.path.join(kept, "a.txt")),
        ("no operands", [], 2, lambda e: "usage:" in e, None),
        ("unknown option", ["--bogus", plain, out("x")], 2, lambda e: "usage:" in e, None),
        ("--version", ["--version"], 0, "", None),
        ("missing archive", [missing, out("m")], 1,
         said(cli, missing, "No file with that name found"), None),
        ("missing archive listed", ["--list", missing], 1,
         said(cli, missing, "No file with that name found"), None),
        ("a folder as the archive", [work, out("f")], 1,
         said(cli, work, "Could not open file for reading"), None),
        ("not a zip", [junk, out("j")], 1, said(cli, junk, NOT_ZIP), None),
        ("damaged data", [bad, out("bad-out")], 3,
         said(cli, out("bad-out/bad.txt"), "CRC Does Not Match"), out("bad-out/bad.txt")),
        ("a size that does not match", [short, out("short-out")], 3,
         said(cli, out("short-out/short.txt"), "Incorrect File Size"),
         out("short-out/short.txt")),
        ("a full disk", ["--overwrite", plain, full_out], 1,
         lambda e: e.startswith(said(cli, os.path.join(full_out, "a.txt"), "Disk full")[:-1]),
         None),
        # The system's reason follows the message, in its own words.
        ("a failure after a warning", [later, later_out], 1,
         lambda e: e.startswith(
             said(cli, os.path.join(later_out, "drive.txt"), "Unsafe Path Corrected") +
             said(cli, os.path.join(later_out, "blocked", "x.txt"), "Write failed")[:-1] +
             ": ") and "xists" in e, os.path.join(later_out, "drive.txt")),
    ]
    for what, args, status, err, stays in cases:
        args = [a if a.startswith("-") else cli.path(a) for a in args]
        check.result(what, cli.run(*args), status, err)
        if stays:
            check.equal(what + ": file kept", os.path.isfile(stays), True)
    check.equal("missing archive not created", os.path.exists(missing), False)
    code, text, _ = cli.run("--version")
    check.equal("--version", text.startswith("extractor-cli 1."), True)
    code, text, _ = cli.run("--help")
    check.equal("--help lists the statuses", code == 0 and "130" in text and "--tsv" in text, True)


def overwrite(cli, check, work, source):
    archive = os.path.join(work, "plain.zip")
    plain_archive(archive)
    out = os.path.join(work, "plain-out")
    check.result("first extraction", cli.run(cli.path(archive), cli.path(out)), 0, "")
    check.equal("first tree", tree_difference(source, out), [])

    changed = os.path.join(out, "a.txt")
    with open(changed, "wb") as f:
        f.write(b"local edit, longer than nothing" * 10000)
    os.remove(os.path.join(out, "sub", "b.txt"))
    check.result("without --overwrite", cli.run(cli.path(archive), cli.path(out)), 0,
                 said(cli, changed, "File Exists") +
                 said(cli, os.path.join(out, "sub", "deeper", "c.bin"), "File Exists"))
    with open(changed, "rb") as f:
        check.equal("existing file untouched", f.read()[:10], b"local edit")
    check.equal("missing file restored", os.path.isfile(os.path.join(out, "sub", "b.txt")), True)

    check.result("--overwrite", cli.run("--overwrite", cli.path(archive), cli.path(out)), 0, "")
    check.equal("tree after --overwrite", tree_difference(source, out), [])


def passwords(cli, check, work, source):
    if shutil.which("zip") is None:
        print("SKIP passwords: Info-ZIP zip is not installed")
        return
    archive = os.path.join(work, "secret.zip")
    subprocess.run(["zip", "-q", "-r", "-P", "open sesame", archive, "."], cwd=source,
                   check=True)
    out = os.path.join(work, "secret-out")
    aborted = lambda e: e.startswith("extractor-cli: " + cli.path(out)) and e.endswith(
        ": " + ABORTED + "\n")
    check.result("no password, no terminal", cli.run(cli.path(archive), cli.path(out)), 1,
                 aborted)
    check.result("empty password",
                 cli.run("--password", "", cli.path(archive), cli.path(out)), 1,
                 said(cli, archive, "The Encryption property has a value other than "
                      "zipNoEncryption and an operation was conducted without providing a "
                      "password"))
    check.result("wrong password",
                 cli.run("--password", "open says me", cli.path(archive), cli.path(out)), 1,
                 aborted)
    check.result("right password",
                 cli.run("--overwrite", "--password=open sesame", cli.path(archive),
                         cli.path(out)), 0, "")
    check.equal("decrypted tree", tree_difference(source, out), [])
    if not cli.runner:
        prompt(cli, check, archive, os.path.join(work, "prompt-out"), source)


def prompt(cli, check, archive, out, source):
    """Without --password the password is asked on the terminal, unechoed."""
    import pty
    import select
    pid, terminal = pty.fork()
    if pid == 0:
        os.execv(cli.exe, [cli.exe, archive, out])
    seen = b""
    answered = False
    while True:
        ready, _, _ = select.select([terminal], [], [], 20)
        if not ready:
            os.kill(pid, 9)
            check.failures.append("prompt: no progress, seen %r" % seen)
            break
        try:
            chunk = os.read(terminal, 100)
        except OSError:
            break
        if not chunk:
            break
        seen += chunk
        if not answered and b"Password: " in seen:
            os.write(terminal, b"open sesame\n")
            answered = True
    _, status = os.waitpid(pid, 0)
    check.equal("prompt exit", os.waitstatus_to_exitcode(status), 0)
    check.equal("password not echoed", b"sesame" in seen, False)
    check.equal("tree after the prompt", tree_difference(source, out), [])


# Names legal in an archive that Windows cannot hold: stored name, the name
# it comes out under.
UNSAFE_NAMES = [
    ("before.txt", "before.txt"),
    ("ab.txt:hidden", "ab.txt_hidden"),
    ("sub/NUL.txt", "sub/_NUL.txt"),
    ("COM1", "_COM1"),
    ("sub\\deeper\\lpt9\\aux.tar.gz", "sub/deeper/_lpt9/_aux.tar.gz"),
    ("a*b?.txt", "a_b_.txt"),
    ('q/<in>|"pipe".txt', "q/_in___pipe_.txt"),
    ("ends in a dot.", "ends in a dot"),
    ("ends in spaces  ", "ends in spaces"),
    ("folder. . /inside.txt", "folder/inside.txt"),
    ("after.txt", "after.txt"),
]


def unsafe_names(cli, check, work):
    archive = os.path.join(work, "unsafe.zip")
    with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
        for stored, _ in UNSAFE_NAMES:
            z.writestr(zipfile.ZipInfo(stored), stored.encode())
    expected = os.path.join(work, "unsafe-expected")
    write_files(expected, {mended: stored.encode() for stored, mended in UNSAFE_NAMES})
    out = os.path.join(work, "unsafe-out")
    warnings = "".join(said(cli, os.path.join(out, *mended.split("/")), "Unsafe Path Corrected")
                       for stored, mended in UNSAFE_NAMES if stored != mended)
    before = set(os.listdir(work))
    check.result("unsafe names", cli.run(cli.path(archive), cli.path(out)), 0, warnings)
    check.equal("unsafe names tree", tree_difference(expected, out), [])
    check.equal("nothing beside the destination", set(os.listdir(work)) - before, {"unsafe-out"})


def long_paths(cli, check, work):
    """Paths past 260 characters are written whole; a name past the file
    system's 255 characters fails and leaves nothing."""
    out = os.path.join(work, "long-out")
    names = long_names(len(cli.path(out)), [300, 600])
    files = {name: name.encode() * 3 for name in names}
    archive = os.path.join(work, "long.zip")
    with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
        for name, content in files.items():
            z.writestr(name, content)
    check.result("long paths", cli.run(cli.path(archive), cli.path(out)), 0, "")
    expected = os.path.join(work, "long-expected")
    write_files(expected, files)
    check.equal("long paths tree", tree_difference(expected, out), [])

    archive = os.path.join(work, "overlong.zip")
    with zipfile.ZipFile(archive, "w") as z:
        z.writestr("o" * 256, b"never")
    out = os.path.join(work, "overlong-out")
    check.result("a 256-character name", cli.run(cli.path(archive), cli.path(out)), 1,
                 lambda e: e.startswith(said(cli, os.path.join(out, "o" * 256), "Write failed")
                                        [:-1] + ": "))
    check.equal("left of the 256-character name", os.listdir(out) if os.path.isdir(out) else [],
                [])


STREAM = ":Zone.Identifier"
MARKED = {"a.txt": b"alpha", "sub/b.txt": b"beta", "c.txt" + STREAM: b"[ZoneTransfer]\r\nZoneId=0"}


def zone_marks(cli, check, work):
    """The archive's download mark goes on every extracted file when its zone
    is the internet or untrusted. The stream "name:Zone.Identifier" is a file
    of that name: so Wine keeps it, and so the Linux build stands in for it."""
    archive = os.path.join(work, "marked.zip")
    with zipfile.ZipFile(archive, "w") as z:
        for name, content in MARKED.items():
            z.writestr(name, content)
    mark = (b"[ZoneTransfer]\r\nZoneId=3\r\nReferrerUrl=https://example.org/\r\n"
            b"HostUrl=https://example.org/marked.zip\r\n")
    mended = {name.replace(":", "_"): content for name, content in MARKED.items()}
    for zone, carried in [(b"3", True), (b"4", True), (b"2", False), (None, False)]:
        what = "zone %s" % (zone.decode() if zone else "none")
        if zone:
            with open(archive + STREAM, "wb") as f:
                f.write(mark.replace(b"ZoneId=3", b"ZoneId=" + zone))
        elif os.path.exists(archive + STREAM):
            os.remove(archive + STREAM)
        out = os.path.join(work, "marked-out-%s" % (zone.decode() if zone else "none"))
        check.result(what, cli.run(cli.path(archive), cli.path(out)), 0,
                     said(cli, os.path.join(out, "c.txt_Zone.Identifier"),
                          "Unsafe Path Corrected"))
        expected = dict(mended)
        if carried:
            for name in mended:
                expected[name + STREAM] = mark.replace(b"ZoneId=3", b"ZoneId=" + zone)
        folder = os.path.join(work, "marked-expected-%s" % what)
        write_files(folder, expected)
        check.equal(what + " tree", tree_difference(folder, out), [])


def interrupt(cli, check, work, console_event):
    """A signal or console event during a large entry acts as Abort: that
    entry's file goes, the files before it stay, and the status says which
    stop it was. Under Wine SIGINT becomes the console's Ctrl-C; Ctrl-Break
    and the console's close come through console_event."""
    archive = os.path.join(work, "large.zip")
    with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED, compresslevel=1) as z:
        z.writestr("before.txt", b"kept")
        with z.open("large.bin", "w", force_zip64=True) as entry:
            block = bytes(1 << 24)
            for _ in range(256):  # 4 GiB of zeros, a few MB packed
                entry.write(block)
    if cli.runner:
        stops = [("SIGINT", signal.SIGINT, 130)]
        if console_event:
            stops += [("Ctrl-Break", "break", 130), ("console close", "close", 129)]
    else:
        stops = [("SIGINT", signal.SIGINT, 130), ("SIGTERM", signal.SIGTERM, 143),
                 ("SIGHUP", signal.SIGHUP, 129)]
    for what, stop, status in stops:
        out = os.path.join(work, "interrupted-out-" + what.replace(" ", "-"))
        large = os.path.join(out, "large.bin")
        command = [cli.exe, cli.path(archive), cli.path(out)]
        if isinstance(stop, str):
            command = [console_event, stop, cli.path(large), cli.path(cli.exe)] + command[1:]
        with tempfile.TemporaryFile() as err_file:
            run = subprocess.Popen(([cli.runner] if cli.runner else []) + command,
                                   stdin=subprocess.DEVNULL, stderr=err_file)
            if not isinstance(stop, str):
                for _ in range(2000):
                    if os.path.exists(large) and os.path.getsize(large) > 0:
                        break
                    time.sleep(0.01)
                run.send_signal(stop)
            code = run.wait(timeout=60)
            err_file.seek(0)
            err = err_file.read().decode("utf-8").replace("\r\n", "\n")
        check.equal(what + " exit", code, status)
        check.equal(what + " message", err, said(cli, large, ABORTED))
        check.equal(what + ": interrupted entry removed", os.path.exists(large), False)
        check.equal(what + ": entry before kept",
                    os.path.isfile(os.path.join(out, "before.txt")), True)


def main():
    if len(sys.argv) not in (2, 3, 4):
        print(__doc__)
        return 2
    cli = Cli(*sys.argv[1:3])
    console_event = os.path.abspath(sys.argv[3]) if len(sys.argv) == 4 else None
    check = Checker()
    work = tempfile.mkdtemp(prefix="extractor-cli-")
    try:
        source = os.path.join(work, "src")
        write_tree(source)
        exit_statuses(cli, check, work)
        interrupt(cli, check, work, console_event)
        overwrite(cli, check, work, source)
        passwords(cli, check, work, source)
        unsafe_names(cli, check, work)
        long_paths(cli, check, work)
        zone_marks(cli, check, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    for f in check.failures:
        print("FAIL " + f)
    print("%d failure(s)" % len(check.failures) if check.failures else "all checks passed")
    return 1 if check.failures else 0


if __name__ == "__main__":
    sys.exit(main())
