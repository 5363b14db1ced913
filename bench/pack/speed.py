"""Packs about 100 MB of text, program files and random bytes with
extractor-pack and with Info-ZIP zip at levels 1, 6 and 9, alternating, and
prints the best of the rounds of each as MB/s of input.

usage: speed.py EXTRACTOR_PACK [--size-mb N] [--rounds N]
"""

import argparse

import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

LEVELS = (1, 6, 9)


def make_input(root, megabytes):
    """About the given size: two fifths text, two fifths program files, one
    fifth random bytes."""
    rng = random.Random(5)
    words = ["archive", "volume", "entry", "deflate", "header", "folder", "stream", "the", "of",
             "and", "data", "program", "install", "setup", "window", "unzip", "file"]
    os.makedirs(os.path.join(root, "text"))
    for i in range(megabytes * 2 // 5):
        with open(os.path.join(root, "text", "%02d.txt" % i), "w") as f:
            f.write(" ".join(rng.choice(words) + rng.choice(["", "s", "ed", ",", "."])
                             for _ in range(200000)))
    os.makedirs(os.path.join(root, "bin"))
    total = 0
    for name in sorted(os.listdir("/usr/bin")):
        path = os.path.join("/usr/bin", name)
        if total < (megabytes * 2 // 5) << 20 and os.path.isfile(path) and not os.path.islink(path):
            shutil.copyfile(path, os.path.join(root, "bin", name))
            total += os.path.getsize(path)
    os.makedirs(os.path.join(root, "random"))
    for i in range(max(1, megabytes // 10)):
        with open(os.path.join(root, "random", "%d.bin" % i), "wb") as f:
            f.write(rng.randbytes(2 << 20))


def timed(command, cwd):
    start = time.perf_counter()
    subprocess.run(command, cwd=cwd, check=True, stdout=subprocess.DEVNULL)
    return time.perf_counter() - start


def main():
    parser = argparse.ArgumentParser(usage=__doc__)
    parser.add_argument("packer")
    parser.add_argument("--size-mb", type=int, default=100)
    parser.add_argument("--rounds", type=int, default=3)
    options = parser.parse_args()
    packer = os.path.abspath(options.packer)
    work = tempfile.mkdtemp(prefix="pack-bench-")
    try:
        make_input(os.path.join(work, "in"), options.size_mb)
        files = sum(len(f) for _, _, f in os.walk(os.path.join(work, "in")))
        size = sum(os.path.getsize(os.path.join(d, f))
                   for d, _, fs in os.walk(os.path.join(work, "in")) for f in fs)
        with open(os.path.join(work, "stub"), "wb") as f:
            f.write(bytes(200000))
        print("input: %.1f MB in %d files" % (size / 1e6, files))
        print("%-6s %10s %10s %7s %12s %12s" % ("level", "pack MB/s", "zip MB/s", "ratio",
                                                "pack bytes", "zip bytes"))
        for level in LEVELS:
            best = {"pack": float("inf"), "zip": float("inf")}
            for _ in range(options.rounds):
                for name in ("out.exe", "out.zip"):
                    if os.path.exists(os.path.join(work, name)):
                        os.remove(os.path.join(work, name))
                best["pack"] = min(best["pack"], timed(
                    [packer, "-o", "out.exe", "--stub", "stub", "--level", str(level), "in"], work))
                best["zip"] = min(best["zip"], timed(["zip", "-q", "-r", "-%d" % level,
                                                      "out.zip", "in"], work))
            pack_rate, zip_rate = size / best["pack"] / 1e6, size / best["zip"] / 1e6
            print("%-6d %10.1f %10.1f %7.2f %12d %12d" % (
                level, pack_rate, zip_rate, pack_rate / zip_rate,
                os.path.getsize(os.path.join(work, "out.exe")) - 200000,
                os.path.getsize(os.path.join(work, "out.zip"))))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
