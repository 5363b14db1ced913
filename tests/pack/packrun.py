"""Shared by the packer's test scripts: the programs under test, natively or
under Wine, and the trees packed."""

import os
import random
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))

from clirun import Cli, tree, tree_difference, write_files  # noqa: E402,F401

SKIPPED = 77
PASSWORD = "pack Sesame-42"


class Checker:
    def __init__(self):
        self.failures = []

    def equal(self, what, got, want):
        if got != want:
            self.failures.append("%s: got %r, want %r" % (what, got, want))
        return got == want

    def report(self):
        for f in self.failures:
            print("FAIL " + f)
        print("%d failure(s)" % len(self.failures) if self.failures else "all checks passed")
        return 1 if self.failures else 0


def programs(argv):
    """PACKER EXTRACTOR_CLI [WINE_RUNNER]: the packer and the extractor, both
    run the same way."""
    runner = argv[3] if len(argv) > 3 else None
    return Cli(argv[1], runner), Cli(argv[2], runner)


def script_main(usage, prefix, body):
    """A script's whole run: body(packer, cli, work, check) in a work folder
    removed afterwards; the exit status is the checker's."""
    if len(sys.argv) not in (3, 4):
        print(usage)
        return 2
    packer, cli = programs(sys.argv)
    check = Checker()
    work = tempfile.mkdtemp(prefix=prefix)
    try:
        body(packer, cli, work, check)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return check.report()


def text(rng, size):
    words = ["archive", "volume", "entry", "deflate", "header", "folder", "Größe", "naïve",
             "the", "a", "of", "and", "data", "\n"]
    out, total = [], 0
    while total < size:
        w = rng.choice(words)
        out.append(w)
        total += len(w) + 1
    return " ".join(out).encode("utf-8")[:size]


def make_tree(root):
    """Empty files and folders, names outside ASCII, a file of several MiB
    and one that deflate cannot shrink."""
    rng = random.Random(11)
    write_files(root, {
        "readme.txt": text(rng, 30000),
        "docs/guide/chapter.txt": text(rng, 4 * 1024 * 1024 + 123),
        "data/random.bin": rng.randbytes(300001),
        "data/empty.bin": b"",
        "Größe.txt": "Maße: 3 × 4\n".encode("utf-8"),
        "naïve/café.txt": b"cafe\n",
    })
    os.makedirs(os.path.join(root, "empty_dir", "deeper"))
    # Even and odd seconds: the archive keeps times to two seconds.
    for i, (folder, dirs, files) in enumerate(sorted(os.walk(root))):
        for name in files:
            os.utime(os.path.join(folder, name), (1700000000 + i, 1700000001 + i * 7))
    return root


def times_difference(expected_root, actual_root):
    """Files whose time differs from the source's, taken down to even seconds."""
    problems = []
    for folder, _, files in os.walk(expected_root):
        for name in files:
            source = os.path.join(folder, name)
            target = os.path.join(actual_root, os.path.relpath(source, expected_root))
            want = int(os.stat(source).st_mtime) // 2 * 2
            # The extractor's day fractions may land a tick below the second.
            if os.path.exists(target) and abs(os.stat(target).st_mtime - want) > 0.01:
                problems.append("time of %s: %d, want %d" % (name, os.stat(target).st_mtime, want))
    return problems


def listing(folder):
    return sorted(os.listdir(folder)) if os.path.isdir(folder) else []
