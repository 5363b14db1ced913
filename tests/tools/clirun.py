"""Runs extractor-cli for the tests, natively or under Wine, and compares
folder trees."""

import os
import subprocess
import tempfile


class Cli:
    def __init__(self, exe, runner=None):
        self.exe = os.path.abspath(exe)
        self.runner = os.path.abspath(runner) if runner else None

    def path(self, p):
        """A path as the program takes it: under Wine a Z: path."""
        p = os.path.abspath(p)
        if self.runner:
            return "Z:" + p.replace("/", "\\")
        return p

    def run(self, *args, cwd=None, stdin=subprocess.DEVNULL, timeout=120):
        """Exit code, stdout and stderr as text, with Windows line ends made plain."""
        command = ([self.runner] if self.runner else []) + [self.exe] + list(args)
        # Files, not pipes: a wineserver that the run starts keeps inherited
        # pipes open for seconds after the program has ended.
        with tempfile.TemporaryFile() as out_file, tempfile.TemporaryFile() as err_file:
            done = subprocess.run(command, cwd=cwd, stdin=stdin, stdout=out_file,
                                  stderr=err_file, timeout=timeout)
            out_file.seek(0)
            err_file.seek(0)
            out = out_file.read().decode("utf-8").replace("\r\n", "\n")
            err = err_file.read().decode("utf-8").replace("\r\n", "\n")
        if self.runner:
            # Wine's own notes, such as a volume label it cannot read for Z:.
            err = "".join(line for line in err.splitlines(True) if not line.startswith("wine: "))
        return done.returncode, out, err


def write_files(root, files):
    """Writes relative path -> bytes under root, making the folders."""
    for name, content in files.items():
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(content)


def tree(root):
    """Relative path -> file bytes, or None for a folder."""
    found = {}
    for folder, dirs, files in os.walk(root):
        for d in dirs:
            found[os.path.relpath(os.path.join(folder, d), root)] = None
        for f in files:
            full = os.path.join(folder, f)
            with open(full, "rb") as stream:
                found[os.path.relpath(full, root)] = stream.read()
    return found


def tree_difference(expected_root, actual_root):
    """Empty when both trees hold the same folders and files with the same bytes."""
    expected, actual = tree(expected_root), tree(actual_root)
    problems = []
    for name in sorted(expected.keys() - actual.keys()):
        problems.append("missing " + name)
    for name in sorted(actual.keys() - expected.keys()):
        problems.append("unexpected " + name)
    for name in sorted(expected.keys() & actual.keys()):
        if expected[name] != actual[name]:
            if expected[name] is None or actual[name] is None:
                problems.append("file and folder mixed up: " + name)
            else:
                problems.append("content differs: %s (%d bytes, expected %d)"
                                % (name, len(actual[name]), len(expected[name])))
    return problems


def long_names(root_length, lengths):
    """Entry names that make paths of the given lengths under a destination
    whose path has root_length characters: folders of 100 characters and a
    file name for the rest."""
    names = []
    for length in lengths:
        rest = length - root_length - 1
        folders = []
        while rest > 150:
            folders.append("%03d" % len(names) + "d" * 97)
            rest -= 101
        names.append("/".join(folders + ["f" * rest]))
    return names
