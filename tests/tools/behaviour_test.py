"""extractor-cli as scripts see it: exit codes, the exact messages on
stderr, warnings, the overwrite switch and the password answers.

usage: behaviour_test.py EXTRACTOR_CLI [WINE_RUNNER]
"""

import os
import shutil
import subprocess
import sys
import tempfile
import zipfile

from clirun import Cli, long_names, tree_difference, write_files

SKIPPED = 77
ABORTED = "Unzip Operation Aborted\n"
NOT_ZIP = "The file is not identified as a compliant zip file\n"
FILES = {"a.txt": b"alpha\n" * 1000, "sub/b.txt": b"beta\n", "sub/deeper/c.bin": bytes(range(256))}


class Checker:
    def __init__(self):
        self.failures = []

    def equal(self, what, got, want):
        if got != want:
            self.failures.append("%s: got %r, want %r" % (what, got, want))

    def result(self, what, run, code, err=None):
        got_code, _, got_err = run
        self.equal(what + " exit", got_code, code)
        if err is not None:
            self.equal(what + " stderr", got_err, err)


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


def usage_errors(cli, check, archive):
    # Which command lines are refused is the unit test's; here, how.
    for args in [[], ["--bogus", archive, "out"]]:
        code, out, err = cli.run(*args)
        check.equal("usage %r exit" % args, code, 2)
        check.equal("usage %r mentions usage" % args, "usage:" in err, True)
    check.result("--help", cli.run("--help"), 0, "")


def failures(cli, check, work):
    missing = os.path.join(work, "no-such.zip")
    code, _, err = cli.run("--list", cli.path(missing))
    check.equal("missing archive exit", code, 1)
    check.equal("missing archive stderr", err in ("Could not open file for reading\n", NOT_ZIP),
                True)
    check.equal("missing archive not created", os.path.exists(missing), False)
    junk = os.path.join(work, "junk.zip")
    with open(junk, "wb") as f:
        f.write(b"this is no archive" * 100)
    check.result("not a zip", cli.run(cli.path(junk), cli.path(os.path.join(work, "j"))), 1,
                 NOT_ZIP)
    bad = os.path.join(work, "bad.zip")
    corrupted_archive(bad)
    out = os.path.join(work, "bad-out")
    check.result("corrupted data", cli.run(cli.path(bad), cli.path(out)), 0,
                 "bad.txt: CRC Does Not Match\n")
    check.equal("corrupted file kept", os.path.isfile(os.path.join(out, "bad.txt")), True)


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
                 "a.txt: File Exists\nc.bin: File Exists\n")
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
    check.result("no password, no terminal", cli.run(cli.path(archive), cli.path(out)), 1,
                 ABORTED)
    check.result("empty password",
                 cli.run("--password", "", cli.path(archive), cli.path(out)), 1,
                 "The Encryption property has a value other than zipNoEncryption and an "
                 "operation was conducted without providing a password\n")
    check.result("wrong password",
                 cli.run("--password", "open says me", cli.path(archive), cli.path(out)), 1,
                 ABORTED)
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
    warnings = "".join("%s: Unsafe Path Corrected\n" % stored.replace("\\", "/").split("/")[-1]
                       for stored, mended in UNSAFE_NAMES if stored != mended)
    before = set(os.listdir(work))
    out = os.path.join(work, "unsafe-out")
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
                 "Write failed\n")
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
                     "c.txt:Zone.Identifier: Unsafe Path Corrected\n")
        expected = dict(mended)
        if carried:
            for name in mended:
                expected[name + STREAM] = mark.replace(b"ZoneId=3", b"ZoneId=" + zone)
        folder = os.path.join(work, "marked-expected-%s" % what)
        write_files(folder, expected)
        check.equal(what + " tree", tree_difference(folder, out), [])


def main():
    if len(sys.argv) not in (2, 3):
        print(__doc__)
        return 2
    cli = Cli(*sys.argv[1:])
    check = Checker()
    work = tempfile.mkdtemp(prefix="extractor-cli-")
    try:
        source = os.path.join(work, "src")
        write_tree(source)
        usage_errors(cli, check, cli.path(os.path.join(work, "plain.zip")))
        failures(cli, check, work)
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
