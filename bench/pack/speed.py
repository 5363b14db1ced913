"""Packs about 100 MB of text, program files and random bytes, as a tree and as
one file of the same data, with extractor-pack and its peers at levels 1, 6
and 9, in alternating rounds of one run; the best of the rounds of each
counts. Prints MB/s of input and output bytes of each, and extractor-pack's
speed as a multiple of each peer's.

Peers: Info-ZIP zip (one thread), 7-Zip's ZIP writer (7z a -tzip, -mx=1, 5
and 9 for levels 1, 6 and 9, with --threads threads), and pigz (gzip output,
speed only; the tree through tar). extractor-pack also runs with --workers 1,
for the gain its workers bring.

usage: speed.py EXTRACTOR_PACK [--size-mb N] [--rounds N] [--threads N]
                [--levels 1,6,9] [--inputs tree,file]
"""

import argparse
import os
import random
import shlex
import shutil
import subprocess
import sys
import tempfile
import time

SEVEN_ZIP_LEVEL = {1: 1, 6: 5, 9: 9}


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


def make_single(tree, path):
    """The tree's files one after the other, text and program files mixed as
    in a disk image."""
    files = sorted(os.path.join(d, f) for d, _, fs in os.walk(tree) for f in fs)
    random.Random(6).shuffle(files)
    with open(path, "wb") as out:
        for name in files:
            with open(name, "rb") as f:
                shutil.copyfileobj(f, out)


def commands(packer, level, threads, source, work):
    """name -> (shell command, output file); source is relative to work."""
    mx = SEVEN_ZIP_LEVEL.get(level, level)
    packer = shlex.quote(packer)
    tree = os.path.isdir(os.path.join(work, source))
    pigz = ("tar -cf - %s | pigz -%d -p %d > out.tar.gz" % (source, level, threads) if tree
            else "pigz -%d -p %d -c %s > out.gz" % (level, threads, source))
    found = {
        "extractor-pack": ("%s -o out.exe --stub stub --level %d --workers %d %s"
                           % (packer, level, threads, source), "out.exe"),
        "extractor-pack --workers 1": ("%s -o out1.exe --stub stub --level %d --workers 1 %s"
                                       % (packer, level, source), "out1.exe"),
        "zip": ("zip -q -r -%d out.zip %s" % (level, source), "out.zip"),
        "7z -mx=%d" % mx: ("7z a -bd -bso0 -tzip -mx=%d -mmt=%d out.7z.zip %s"
                           % (mx, threads, source), "out.7z.zip"),
        "pigz -%d" % level: (pigz, "out.tar.gz" if tree else "out.gz"),
    }
    tools = {"zip": "zip", "7z": "7z", "pigz": "pigz"}
    return {name: c for name, c in found.items()
            if name.startswith("extractor-pack") or shutil.which(tools[name.split()[0]])}


def timed(command, cwd):
    start = time.perf_counter()
    subprocess.run(command, shell=True, cwd=cwd, check=True, stdout=subprocess.DEVNULL)
    return time.perf_counter() - start


def measure(packer, work, source, size, level, options):
    """name -> (best seconds, output bytes), the tools taking turns."""
    runs = commands(packer, level, options.threads, source, work)
    best = {name: float("inf") for name in runs}
    sizes = {}
    for _ in range(options.rounds):
        for name, (command, output) in runs.items():
            if os.path.exists(os.path.join(work, output)):
                os.remove(os.path.join(work, output))
            best[name] = min(best[name], timed(command, work))
            sizes[name] = os.path.getsize(os.path.join(work, output))
            if name.startswith("extractor-pack"):
                sizes[name] -= os.path.getsize(os.path.join(work, "stub"))
    return {name: (best[name], sizes[name]) for name in runs}


def main():
    parser = argparse.ArgumentParser(usage=__doc__)
    parser.add_argument("packer")
    parser.add_argument("--size-mb", type=int, default=100)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--threads", type=int, default=2)
    parser.add_argument("--levels", default="1,6,9")
    parser.add_argument("--inputs", default="tree,file")
    options = parser.parse_args()
    packer = os.path.abspath(options.packer)
    work = tempfile.mkdtemp(prefix="pack-bench-")
    try:
        make_input(os.path.join(work, "in"), options.size_mb)
        make_single(os.path.join(work, "in"), os.path.join(work, "single.bin"))
        with open(os.path.join(work, "stub"), "wb") as f:
            f.write(bytes(200000))
        files = sum(len(f) for _, _, f in os.walk(os.path.join(work, "in")))
        size = os.path.getsize(os.path.join(work, "single.bin"))
        print("input: %.1f MB, as a tree of %d files and as one file; %d threads"
              % (size / 1e6, files, options.threads))
        found = {}
        for kind in options.inputs.split(","):
            source = "in" if kind == "tree" else "single.bin"
            for level in map(int, options.levels.split(",")):
                results = measure(packer, work, source, size, level, options)
                ours = results["extractor-pack"][0]
                print("\n%s, level %d:" % (kind, level))
                print("  %-28s %9s %12s %14s" % ("", "MB/s", "bytes", "ours is x as fast"))
                for name, (seconds, written) in results.items():
                    print("  %-28s %9.1f %12d %14.2f" % (name, size / seconds / 1e6, written,
                                                         seconds / ours))
                found[kind, level] = results
        summarise(found)
    finally:
        shutil.rmtree(work, ignore_errors=True)


def summarise(found):
    if ("file", 6) in found:
        file6 = found["file", 6]
        print("\none file, level 6: workers against --workers 1: %.2fx (1.8x wanted)"
              % (file6["extractor-pack --workers 1"][0] / file6["extractor-pack"][0]))
    for kind in ("tree", "file"):
        results = found.get((kind, 6), {})
        if "7z -mx=5" in results:
            print("%s, level 6: extractor-pack against 7z -mx=5: %.2fx as fast, %+.2f %% bytes"
                  % (kind, results["7z -mx=5"][0] / results["extractor-pack"][0],
                     100.0 * (results["extractor-pack"][1] / results["7z -mx=5"][1] - 1)))


if __name__ == "__main__":
    sys.exit(main())
