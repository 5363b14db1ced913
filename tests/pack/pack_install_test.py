"""extractor-pack finds extractor.exe without --stub: in the build tree, where
the build puts it beside the packer, and after `cmake --install`, which puts
the packer, extractor-cli and extractor.exe side by side in bin/.

usage: pack_install_test.py CMAKE BUILD_DIR EXTRACTOR_PACK EXTRACTOR_CLI [WINE_RUNNER]
"""

import os
import shutil
import subprocess
import sys
import tempfile

from packrun import Checker, Cli, SKIPPED, tree_difference, write_files


def pack_without_stub(packer, cli, work, label, check):
    """Packs a small tree with the program found beside the packer and
    extracts it again; the output begins with that program."""
    program = os.path.join(os.path.dirname(packer.exe), "extractor.exe")
    source = os.path.join(work, label + "-src")
    write_files(source, {"a.txt": b"alpha\n" * 1000, "sub/b.txt": b"beta\n"})
    sfx = os.path.join(work, label + ".exe")
    code, _, err = packer.run("-o", packer.path(sfx), packer.path(source))
    if not os.path.exists(program):
        check.equal(label + ": without a program beside it", (code, err), (
            1, "extractor-pack: cannot find the program %s (give one with --stub)\n"
            % packer.path(program)))
        return False
    check.equal(label + ": pack", (code, err), (0, ""))
    with open(program, "rb") as p, open(sfx, "rb") as s:
        head = p.read()
        check.equal(label + ": the program in front", s.read(len(head)) == head, True)
    out = os.path.join(work, label + "-out")
    code, _, err = cli.run(cli.path(sfx), cli.path(out))
    check.equal(label + ": extraction", (code, err), (0, ""))
    check.equal(label + ": tree", tree_difference(source, os.path.join(out, label + "-src")), [])
    return True


def main():
    if len(sys.argv) not in (5, 6):
        print(__doc__)
        return 2
    cmake, build, packer_exe, cli_exe = sys.argv[1:5]
    runner = sys.argv[5] if len(sys.argv) > 5 else None
    check = Checker()
    work = tempfile.mkdtemp(prefix="extractor-pack-install-")
    try:
        packer, cli = Cli(packer_exe, runner), Cli(cli_exe, runner)
        in_build = pack_without_stub(packer, cli, work, "build-tree", check)
        if not in_build:
            print("SKIP packing without --stub: no Windows build of extractor.exe was found")

        prefix = os.path.join(work, "prefix")
        done = subprocess.run([cmake, "--install", build, "--prefix", prefix],
                              capture_output=True, text=True)
        check.equal("cmake --install", (done.returncode, done.stderr), (0, ""))
        bin_dir = os.path.join(prefix, "bin")
        installed = sorted(os.listdir(bin_dir)) if os.path.isdir(bin_dir) else []
        wanted = sorted([os.path.basename(packer_exe), os.path.basename(cli_exe)] +
                        (["extractor.exe"] if in_build else []))
        check.equal("installed side by side", installed, wanted)
        if in_build and installed == wanted:
            pack_without_stub(Cli(os.path.join(bin_dir, os.path.basename(packer_exe)), runner),
                              Cli(os.path.join(bin_dir, os.path.basename(cli_exe)), runner),
                              work, "installed", check)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    status = check.report()
    return status if status or in_build else SKIPPED


if __name__ == "__main__":
    sys.exit(main())
