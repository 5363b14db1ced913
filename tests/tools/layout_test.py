"""Archives laid out as other tools write them when they stream or when the
entries outgrow the classic records, appended to a program stub without
"zip -A", must extract byte for byte through extractor-cli: Info-ZIP
reading its data from a pipe and writing to one (sizes in ZIP64 fields
and data descriptors), and 70,000 empty entries, more than the end
record's 16-bit count holds (under Wine only listed).

usage: layout_test.py EXTRACTOR_CLI [WINE_RUNNER]
"""

import os
import random
import shutil
import subprocess
import sys
import tempfile
import zipfile

from clirun import Cli

SKIPPED = 77


def appended(work, name, archive):
    """The archive behind a program stub, its offsets left as written."""
    path = os.path.join(work, name + ".exe")
    with open(path, "wb") as out:
        out.write(b"MZ" + random.Random(2).randbytes(30000))
        out.write(archive)
    return path


def infozip_from_pipe_to_pipe(content):
    """zip - -: the entry "-" from standard input, the archive to standard
    output, both pipes."""
    run = subprocess.run(["zip", "-q", "-", "-"], input=content, stdout=subprocess.PIPE,
                         check=True)
    return run.stdout


def many_empty_entries(path, count):
    with zipfile.ZipFile(path, "w") as z:
        for i in range(count):
            z.writestr("many/%05d.txt" % i, b"")


def check_pipe(cli, work):
    if shutil.which("zip") is None:
        print("SKIP pipe: Info-ZIP zip is not installed")
        return []
    content = random.Random(3).randbytes(300000) + b"text " * 400000
    sfx = appended(work, "pipe", infozip_from_pipe_to_pipe(content))
    destination = os.path.join(work, "out-pipe")
    code, out, err = cli.run(cli.path(sfx), cli.path(destination))
    problems = []
    if code != 0 or err:
        problems.append("exit %d: %s" % (code, err.strip()))
    path = os.path.join(destination, "-")
    if not os.path.isfile(path):
        problems.append("entry - not extracted")
    else:
        with open(path, "rb") as f:
            if f.read() != content:
                problems.append("entry - differs")
    return problems


def check_many(cli, work):
    count = 70000
    plain = os.path.join(work, "many.zip")
    many_empty_entries(plain, count)
    with open(plain, "rb") as f:
        sfx = appended(work, "many", f.read())
    problems = []
    code, out, err = cli.run("--list", "--tsv", cli.path(sfx))
    if code != 0 or len(out.splitlines()) != count:
        problems.append("--list exit %d, %d lines: %s" % (code, len(out.splitlines()), err.strip()))
    if cli.runner:
        # 70,000 files cost Wine minutes; the native run extracts them.
        return problems
    destination = os.path.join(work, "out-many")
    code, out, err = cli.run(cli.path(sfx), cli.path(destination), timeout=600)
    if code != 0 or err:
        problems.append("exit %d: %s" % (code, err.strip()))
    folder = os.path.join(destination, "many")
    names = sorted(os.listdir(folder)) if os.path.isdir(folder) else []
    if names != ["%05d.txt" % i for i in range(count)]:
        problems.append("%d of %d files extracted" % (len(names), count))
    elif any(os.path.getsize(os.path.join(folder, n)) for n in names):
        problems.append("a file that is not empty")
    return problems


def main():
    if len(sys.argv) not in (2, 3):
        print(__doc__)
        return 2
    cli = Cli(*sys.argv[1:])
    work = tempfile.mkdtemp(prefix="extractor-layout-")
    try:
        failures = 0
        for label, check in [("pipe", check_pipe), ("70000-entries", check_many)]:
            problems = check(cli, work)
            print("%s %s" % ("FAIL" if problems else "ok  ", label))
            for p in problems[:8]:
                print("     " + p)
            failures += bool(problems)
        print("%d case(s) failed" % failures if failures else "all cases passed")
        return 1 if failures else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
