"""Archives from other tools whose methods extractor-cli does not decode:
PPMd from 7z. Each entry fails with 13007, its
partial file is deleted, the entry before it stays and the entry after it
is not extracted.

usage: foreign_methods_test.py EXTRACTOR_CLI [WINE_RUNNER]
"""

import os
import shutil
import subprocess
import sys
import tempfile

from clirun import Cli

SKIPPED = 77
UNKNOWN = "The Encryption Algorithm used is not recognized by this DLL\n"


def add(archive, cwd, command):
    subprocess.run(command + [archive, "odd.bin"], cwd=cwd, check=True, stdout=subprocess.DEVNULL)


ODD_ENTRY = {
    "ppmd": ["7z", "a", "-tzip", "-mm=PPMd"],
}


def main():
    if len(sys.argv) not in (2, 3):
        print(__doc__)
        return 2
    if shutil.which("7z") is None or shutil.which("zip") is None:
        print("SKIP: 7z or Info-ZIP zip is not installed")
        return SKIPPED
    cli = Cli(*sys.argv[1:])
    failures = []
    work = tempfile.mkdtemp(prefix="extractor-methods-")
    try:
        with open(os.path.join(work, "before.txt"), "wb") as f:
            f.write(b"before\n")
        with open(os.path.join(work, "after.txt"), "wb") as f:
            f.write(b"after\n")
        with open(os.path.join(work, "odd.bin"), "wb") as f:
            f.write(b"".join(b"line %d of the odd entry\n" % i for i in range(3000)))
        for label, command in ODD_ENTRY.items():
            archive = os.path.join(work, label + ".zip")
            out = os.path.join(work, label + "-out")
            subprocess.run(["zip", "-q", "-0", archive, "before.txt"], cwd=work, check=True)
            add(archive, work, command)
            subprocess.run(["zip", "-q", "-0", archive, "after.txt"], cwd=work, check=True)
            code, _, err = cli.run("--password", "pw", cli.path(archive), cli.path(out))
            got = (code, err, sorted(os.listdir(out)) if os.path.isdir(out) else None)
            message = "extractor-cli: %s: %s" % (cli.path(os.path.join(out, "odd.bin")), UNKNOWN)
            want = (1, message, ["before.txt"])
            if got != want:
                failures.append("%s: got %r, want %r" % (label, got, want))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    for f in failures:
        print("FAIL " + f)
    print("%d failure(s)" % len(failures) if failures else "all checks passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
