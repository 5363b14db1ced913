"""Self-extracting files that install: the settings extractor-pack writes
(or a block written by hand and put in with cat), the switches /S, /D= and
/?, the program run after extraction and the exit codes.

The window cases run under Wine on a virtual X display, worked by the GUI
test driver, a screenshot per step; the unattended cases run through a
batch file with `start /wait`, as a deployment script would, which reads
the whole 32-bit exit code.

usage: installer_test.py --packer EXE --extractor EXE --driver EXE --run-marker EXE
                         --wine RUNNER --screenshots DIR
"""

import argparse
import filecmp
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "gui"))
sys.path.insert(0, os.path.join(HERE, "..", "app"))
import gui_session  # noqa: E402
from gui_session import Display, Session, step, wine_path  # noqa: E402
import resources_test  # noqa: E402

SKIPPED = 77
UNZIP, CLOSE, EDIT, STATUS = 113, 105, 115, "STATIC#3"
IDOK, IDYES, IDNO, MESSAGE_TEXT = 1, 6, 7, 65535
WINDOW_MS, RUN_MS = 30000, 60000
DEFAULT_CAPTION = "Corvane Self-Extractor [setup.exe]"

OWN = 0x20000000
BAD_SETTINGS, FAILED, WARNINGS, CANCELLED, RUN_FAILED = (OWN + n for n in range(1, 6))

OPEN, CLOSE_MARK = "[extractor settings]", "[end of extractor settings]"
MARKER = "src/bin/run_marker.exe"


def make_tree(root, marker_program):
    rng = random.Random(29)
    os.makedirs(os.path.join(root, "docs"))
    os.makedirs(os.path.join(root, "bin"))
    with open(os.path.join(root, "readme.txt"), "w") as f:
        f.write("Tool\r\n" * 200)
    with open(os.path.join(root, "docs", "data.bin"), "wb") as f:
        f.write(bytes(rng.getrandbits(8) for _ in range(150000)))
    shutil.copyfile(marker_program, os.path.join(root, "bin", "run_marker.exe"))
    return root


def tree_problems(source, destination):
    """Differences between the packed folder and what came out."""
    problems = []
    out = os.path.join(destination, "src")
    for folder, _, files in os.walk(source):
        for name in files:
            path = os.path.join(folder, name)
            other = os.path.join(out, os.path.relpath(path, source))
            if not os.path.isfile(other):
                problems.append("missing " + other)
            elif not filecmp.cmp(path, other, shallow=False):
                problems.append("differs " + other)
    return problems


class Harness:
    def __init__(self, options, work):
        self.options = options
        self.work = work
        self.source = make_tree(os.path.join(work, "src"), options.run_marker)
        self.session = None
        self.count = 0

    def wine(self, args, timeout=300):
        with tempfile.TemporaryFile() as out:
            done = subprocess.run([self.options.wine] + args, stdin=subprocess.DEVNULL, stdout=out,
                                  stderr=subprocess.STDOUT, timeout=timeout)
            out.seek(0)
            return done.returncode, out.read().decode("utf-8", "replace")

    def folder(self, label):
        path = os.path.join(self.work, label)
        os.makedirs(path)
        return path

    def pack(self, folder, args, source=None, name="setup.exe"):
        program = os.path.join(folder, name)
        code, output = self.wine([self.options.packer, "-o", wine_path(program), "--stub",
                                  wine_path(self.options.extractor)] + args +
                                 ([] if "--from-zip" in args else
                                  [wine_path(source or self.source)]))
        return program if code == 0 else "packer exit %d: %s" % (code, output.strip())

    def cat(self, folder, block):
        """The program, a block written by hand and a ZIP of the tree made
        by another tool, put together as `cat` does."""
        archive = os.path.join(folder, "files.zip")
        with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
            for base, _, files in os.walk(self.source):
                for name in files:
                    path = os.path.join(base, name)
                    z.write(path, os.path.relpath(path, self.work))
        program = os.path.join(folder, "setup.exe")
        with open(program, "wb") as out:
            for part in [self.options.extractor, None, archive]:
                if part is None:
                    out.write(block.encode("utf-8"))
                else:
                    with open(part, "rb") as f:
                        out.write(f.read())
        return program

    def unattended(self, folder, program, switches, environment=()):
        """Runs program with switches from a batch file; its exit code."""
        lines = ["@set %s=%s" % pair for pair in environment]
        lines += ['@start /wait "" "%s" %s' % (wine_path(program), switches),
                  "@echo exit=%ERRORLEVEL%"]
        batch = os.path.join(folder, "run.bat")
        with open(batch, "w", newline="\r\n") as f:
            f.write("\n".join(lines) + "\n")
        _, output = self.wine(["cmd", "/c", wine_path(batch)], 300)
        for line in output.splitlines():
            if line.startswith("exit="):
                return int(line[5:])
        return None


def read_marker(path):
    try:
        with open(path) as f:
            return f.read().splitlines()
    except OSError:
        return None


def temporary_problems(ran, temp):
    """The program ran in a fresh folder under TEMP, or, elevated (as Wine
    runs programs by default), under the Windows folder's Temp; the folder
    is gone."""
    windows_temp = os.path.join(os.environ["WINEPREFIX"], "drive_c", "windows", "temp")
    if ran is None:
        return ["the program did not run"]
    folder = ran[0]
    name = folder.split("\\")[-1]
    if folder.startswith(wine_path(temp) + "\\extractor-"):
        left = os.path.join(temp, name)
    elif folder.lower().startswith("c:\\windows\\temp\\extractor-"):
        left = os.path.join(windows_temp, name)
    else:
        return ["the program did not run in a temporary folder: %s" % ran]
    problems = ["left behind: " + left] if os.path.exists(left) else []
    if os.listdir(temp):
        problems.append("left in TEMP: %s" % os.listdir(temp))
    return problems


def block(*lines):
    return "\r\n".join([OPEN] + list(lines) + [CLOSE_MARK]) + "\r\n"


# Unattended runs: (label, how the file is made, switches, environment
# names, expected exit code, check). How: a list of packer options, or a
# settings block put in with cat.
def silent_cases():
    return [
        ("silent-plain", [], "/S /D={out}", 0, "tree"),
        ("silent-run-0", ["--run", MARKER + " 0 first"], "/S /D={out}", 0, "tree ran"),
        ("silent-run-9", ["--run", MARKER + " 9"], "/S /D={out}", 9, "tree ran"),
        ("silent-folder-expanded", ["--folder", "%TEMP%\\tool"], "/S", 0, "temp-tool"),
        ("silent-temporary", ["--run", MARKER + " 0", "--temporary"], "/S", 0, "temporary"),
        ("silent-overwrite", ["--overwrite"], "/S /D={out}", 0, "replaced"),
        ("silent-kept", [], "/S /D={out}", WARNINGS, "kept"),
        ("silent-damaged", [], "/S /D={out}", FAILED, "damaged"),
        ("silent-password", ["--password", "secret"], "/S /D={out}", FAILED, "no-files"),
        ("silent-missing-volume", ["--split", "64k"], "/S /D={out}", FAILED, "missing-volume"),
        ("silent-from-zip", ["--from-zip", "{zip}", "--run", MARKER + " 4"], "/S /D={out}", 4,
         "tree ran"),
        ("silent-split-run", ["--split", "100k", "--run", MARKER + " 0"], "/S /D={out}", 0,
         "tree ran"),
        ("silent-admin", ["--admin", "--run", MARKER + " 0"], "/S /D={out}", 0,
         "tree ran planted"),
        ("cat-good", block("run=src\\bin\\RUN_MARKER.EXE 5 x"), "/S /D={out}", 5, "tree ran"),
        ("cat-unknown-key", block("title=T", "titel=T", "run=" + MARKER), "/S /D={out}",
         BAD_SETTINGS, "nothing"),
        ("cat-run-dotdot", block("run=../" + MARKER), "/S /D={out}", BAD_SETTINGS, "nothing"),
        ("cat-run-absolute", block("run=C:\\windows\\notepad.exe"), "/S /D={out}", BAD_SETTINGS,
         "nothing"),
        ("cat-run-missing", block("run=src/bin/other.exe"), "/S /D={out}", BAD_SETTINGS,
         "nothing"),
        ("cat-no-closing", OPEN + "\r\nrun=" + MARKER + " 0\r\n", "/S /D={out}", BAD_SETTINGS,
         "nothing"),
    ]


def damage_first_data(program, name):
    """Makes the deflate stream of entry name start with an invalid block
    type, so that it fails to decode."""
    with open(program, "r+b") as f:
        data = bytearray(f.read())
        with zipfile.ZipFile(program) as z:
            info = z.getinfo(name)
        at = info.header_offset
        name_length, extra_length = struct.unpack_from("<HH", data, at + 26)
        data[at + 30 + name_length + extra_length] = 0xFF
        f.seek(0)
        f.write(data)


def silent_case(harness, label, how, switches, expected, check):
    folder = harness.folder(label)
    out = os.path.join(folder, "out dir")
    temp = os.path.join(folder, "temp")
    os.makedirs(temp)
    marker = os.path.join(folder, "marker.txt")
    if isinstance(how, str):
        program = harness.cat(folder, how)
    else:
        if "{zip}" in how:
            archive = os.path.join(folder, "in.zip")
            harness.cat(folder, "")
            shutil.move(os.path.join(folder, "files.zip"), archive)
            how = [wine_path(archive) if a == "{zip}" else a for a in how]
        program = harness.pack(folder, how)
        if not os.path.isfile(program):
            return [program]
    if "damaged" in check:
        damage_first_data(program, "src/readme.txt")
    if "missing-volume" in check:
        os.remove(os.path.join(folder, "setup.001"))
    if "kept" in check or "replaced" in check:
        os.makedirs(os.path.join(out, "src"))
        with open(os.path.join(out, "src", "readme.txt"), "w") as f:
            f.write("older")
    if "planted" in check:
        for name in ["comctl32", "shell32", "ole32"]:
            shutil.copyfile(os.path.join(harness.options.planted, name + ".dll"),
                            os.path.join(folder, name + ".dll"))
    environment = [("TEMP", wine_path(temp)), ("TMP", wine_path(temp))]
    if "temporary" in check:
        environment.append(("RUN_MARKER", wine_path(marker)))
    code = harness.unattended(folder, program, switches.format(out=wine_path(out)), environment)
    problems = []
    if code != expected:
        problems.append("exit code %s, not %d" % (code, expected))
    if "tree" in check:
        problems += tree_problems(harness.source, out)
    ran = read_marker(os.path.join(out, "ran.txt"))
    if "ran" in check and (ran is None or ran[0] != wine_path(out)):
        problems.append("the program did not run in the destination: %s" % ran)
    if "ran" not in check and ran is not None:
        problems.append("the program ran")
    if "temp-tool" in check:
        problems += tree_problems(harness.source, os.path.join(temp, "tool"))
    if "temporary" in check:
        problems += temporary_problems(read_marker(marker), temp)
    if "replaced" in check or "kept" in check:
        with open(os.path.join(out, "src", "readme.txt")) as f:
            replaced = f.read() != "older"
        if replaced != ("replaced" in check):
            problems.append("the existing file was %s" % ("replaced" if replaced else "kept"))
    if "damaged" in check and os.path.exists(os.path.join(out, "src", "readme.txt")):
        problems.append("the damaged entry's file is there")
    if "nothing" in check and os.path.exists(out):
        problems.append("something was extracted: %s" % os.listdir(out))
    if "no-files" in check or "missing-volume" in check:
        files = [n for _, _, names in os.walk(out) for n in names]
        if "no-files" in check and files:
            problems.append("files of encrypted entries: %s" % files)
    if "planted" in check:
        loaded = [n for n in os.listdir(folder) if n.endswith(".loaded")]
        if loaded:
            problems.append("planted DLLs were loaded: %s" % loaded)
    return problems


# The packer refuses these and writes nothing.
REFUSALS = [
    ("run-missing", ["--run", "src/bin/other.exe"]),
    ("run-dotdot", ["--run", "../src/bin/run_marker.exe"]),
    ("run-absolute", ["--run", "C:\\windows\\notepad.exe"]),
    ("run-rooted", ["--run", "/src/bin/run_marker.exe"]),
    ("run-folder", ["--run", "src/bin"]),
    ("temporary-without-run", ["--temporary"]),
    ("line-break", ["--title", "two\nlines"]),
    ("too-large", ["--title", "t" * 9000]),
    ("admin-without-room", ["--admin", "--stub", "{marker}"]),
    ("from-zip-run-missing", ["--from-zip", "{zip}", "--run", "src/bin/other.exe"]),
    ("disks-run-missing", ["--disks", "100k", "--run", "other.exe"]),
]


def refusal_case(harness, label, args):
    folder = harness.folder("refuse-" + label)
    if "{zip}" in args:
        os.remove(harness.cat(folder, ""))
    args = [wine_path(os.path.join(folder, "files.zip")) if a == "{zip}" else
            wine_path(harness.options.run_marker) if a == "{marker}" else a for a in args]
    output_file = os.path.join(folder, "setup.exe")
    command = [harness.options.packer, "-o", wine_path(output_file)]
    if "--stub" not in args:
        command += ["--stub", wine_path(harness.options.extractor)]
    command += args + ([] if "--from-zip" in args else [wine_path(harness.source)])
    code, output = harness.wine(command)
    problems = []
    if code == 0:
        problems.append("packed")
    if os.listdir(folder) not in ([], ["files.zip"]):
        problems.append("left behind: %s" % os.listdir(folder))
    print("     %s: %s" % (label, output.strip().splitlines()[0] if output.strip() else ""))
    return problems


def layout_cases(harness):
    """Without installer options the program is copied as it is; --admin
    changes its manifest in place and adds no block."""
    problems = []
    folder = harness.folder("layout")
    with open(harness.options.extractor, "rb") as f:
        stub = f.read()
    for name, args in [("plain.exe", []), ("admin.exe", ["--admin"]),
                       ("titled.exe", ["--title", "Tool"])]:
        program = harness.pack(folder, args, name=name)
        if not os.path.isfile(program):
            return [program]
        with open(program, "rb") as f:
            data = f.read()
        head, behind = data[:len(stub)], data[len(stub):]
        resources = resources_test.Image(data).resources()
        manifest = resources.get((resources_test.RT_MANIFEST, 1))
        found = []
        level = "requireAdministrator" if name == "admin.exe" else "asInvoker"
        resources_test.check_manifest(manifest, found, level)
        problems += ["%s: %s" % (name, p) for p in found]
        if len(manifest) != len(resources_test.Image(stub).resources()[
                (resources_test.RT_MANIFEST, 1)]):
            problems.append("%s: the manifest changed its size" % name)
        if name == "plain.exe" and (head != stub or not behind.startswith(b"PK\x03\x04")):
            problems.append("plain.exe: not the program followed by the archive")
        if name == "admin.exe":
            differing = sum(a != b for a, b in zip(head, stub))
            if not behind.startswith(b"PK\x03\x04") or differing > 40:
                problems.append("admin.exe: %d bytes differ, or a block was added" % differing)
        if name == "titled.exe" and (head != stub or not behind.startswith(
                (OPEN + "\r\ntitle=Tool\r\n" + CLOSE_MARK + "\r\nPK\x03\x04").encode())):
            problems.append("titled.exe: no block right behind the program")
    return problems


def window_case(harness, label, make, steps_of, expected_code, check):
    """A window case: make(folder) gives the program; steps_of(program, out)
    the driver's steps up to the program's end."""
    folder = harness.folder(label)
    out = os.path.join(folder, "out")
    temp = os.path.join(folder, "temp")
    os.makedirs(temp)
    marker = os.path.join(folder, "marker.txt")
    program = make(folder)
    if not os.path.isfile(program):
        return [program]
    start = [step("env", "TEMP", wine_path(temp)), step("env", "TMP", wine_path(temp)),
             step("env", "RUN_MARKER", wine_path(marker))]
    steps = start + steps_of(program, out, temp) + [step("exit", RUN_MS, expected_code)]
    problems = harness.session.run_script(label, folder, steps, (WINDOW_MS + 2 * RUN_MS) // 1000)
    ran = read_marker(marker)
    if "tree" in check:
        problems += tree_problems(harness.source, out)
    if "nothing" in check and (os.path.exists(out) or os.listdir(temp)):
        problems.append("something was extracted")
    if "ran" in check and (ran is None or ran[0] != wine_path(out)):
        problems.append("the program did not run in the destination: %s" % ran)
    if "temporary" in check:
        problems += temporary_problems(ran, temp)
    return problems


def start(program, arguments=""):
    return step("start", '"%s"%s' % (wine_path(program), arguments))


def unzip_and_close(out, code_wait=0):
    return [step("set-text", EDIT, wine_path(out)), step("click", UNZIP),
            step("wait-text-starts", STATUS, "Successfully Unzipped", RUN_MS),
            step("screenshot", "finished")] + (
                [step("sleep", code_wait)] if code_wait else []) + [step("click", CLOSE)]


def window_cases(harness):
    pack = harness.pack
    marker_run = MARKER + " {code} wait"
    return [
        ("gui-caption-folder",
         lambda f: pack(f, ["--title", "Tool Setup", "--folder", "%TEMP%\\tool"]),
         lambda p, out, temp: [start(p), step("window", "EXTRACT", WINDOW_MS),
                               step("caption", "Tool Setup"),
                               step("text", EDIT, wine_path(temp) + "\\tool"),
                               step("screenshot", "shown")] + unzip_and_close(out),
         0, "tree"),
        ("gui-question-no",
         lambda f: pack(f, ["--question", "Install Tool now?"]),
         lambda p, out, temp: [start(p), step("dialog", DEFAULT_CAPTION, WINDOW_MS),
                               step("dialog-text", MESSAGE_TEXT, "Install Tool now?"),
                               step("screenshot", "question"), step("dialog-click", IDNO)],
         CANCELLED, "nothing"),
        ("gui-question-yes",
         lambda f: pack(f, ["--question", "Install Tool now?", "--title", "Tool Setup"]),
         lambda p, out, temp: [start(p), step("dialog", "Tool Setup", WINDOW_MS),
                               step("dialog-click", IDYES), step("window", "EXTRACT", WINDOW_MS),
                               step("screenshot", "window")] + unzip_and_close(out),
         0, "tree"),
        ("gui-run-0",
         lambda f: pack(f, ["--run", marker_run.format(code=0)]),
         lambda p, out, temp: [start(p), step("window", "EXTRACT", WINDOW_MS)] +
         unzip_and_close(out, 4000),
         0, "tree ran"),
        ("gui-auto-run-7",
         lambda f: pack(f, ["--auto", "--folder", "%TEMP%\\..\\out", "--run",
                            marker_run.format(code=7)]),
         lambda p, out, temp: [start(p), step("window", "EXTRACT", WINDOW_MS),
                               step("wait-text-starts", STATUS, "Successfully Unzipped", RUN_MS),
                               step("screenshot", "running")],
         7, "tree ran"),
        # Closed while the program runs: the exit code is still the
        # program's, not that of a process ended after its wait at exit.
        ("gui-close-while-running",
         lambda f: pack(f, ["--run", MARKER + " 5 long"]),
         lambda p, out, temp: [start(p), step("window", "EXTRACT", WINDOW_MS)] +
         unzip_and_close(out),
         5, "tree ran"),
        ("gui-temporary",
         lambda f: pack(f, ["--temporary", "--run", marker_run.format(code=3)]),
         lambda p, out, temp: [start(p), step("window", "EXTRACT", WINDOW_MS),
                               step("screenshot", "progress-only")],
         3, "temporary"),
        ("gui-bad-settings",
         lambda f: harness.cat(f, block("title=T", "titel=T")),
         lambda p, out, temp: [start(p), step("dialog", DEFAULT_CAPTION, WINDOW_MS),
                               step("dialog-text", MESSAGE_TEXT,
                                    "The settings of this file cannot be used; nothing was "
                                    "extracted.\nline 3: unknown key"),
                               step("screenshot", "message"), step("dialog-click", IDOK)],
         BAD_SETTINGS, "nothing"),
        ("gui-help",
         lambda f: pack(f, []),
         lambda p, out, temp: [start(p, " /?"), step("dialog", DEFAULT_CAPTION, WINDOW_MS),
                               step("screenshot", "help"), step("dialog-click", IDOK)],
         0, "nothing"),
    ]


def report(label, problems):
    print("%s %s" % ("FAIL" if problems else "ok  ", label), flush=True)
    for problem in problems[:8]:
        print("     " + problem)
    return bool(problems)


def main():
    parser = argparse.ArgumentParser(usage=__doc__)
    for name in ["packer", "extractor", "driver", "run-marker", "planted", "wine", "screenshots"]:
        parser.add_argument("--" + name, required=True)
    parser.add_argument("cases", nargs="*", help="only the cases with these labels")
    options = parser.parse_args()
    if not os.environ.get("WINEPREFIX"):
        print("SKIP: WINEPREFIX is not set; run the tests through scripts/test.sh")
        return SKIPPED
    work = tempfile.mkdtemp(prefix="extractor-installer-")
    wanted = set(options.cases)
    failed = total = 0
    try:
        harness = Harness(options, work)
        for label, how, switches, code, check in silent_cases():
            if wanted and label not in wanted:
                continue
            total += 1
            failed += report(label, silent_case(harness, label, how, switches, code, check))
        for label, args in REFUSALS:
            if wanted and "refuse-" + label not in wanted:
                continue
            total += 1
            failed += report("refuse-" + label, refusal_case(harness, label, args))
        if not wanted or "layout" in wanted:
            total += 1
            failed += report("layout", layout_cases(harness))
        gui = [case for case in window_cases(harness) if not wanted or case[0] in wanted]
        if gui and shutil.which("Xvfb") is None and not os.environ.get("DISPLAY"):
            print("NOTE: Xvfb is not installed: no window cases")
            gui = []
        if gui:
            gui_session.DESKTOP = "extractor-installer,800x600"
            with Display():
                harness.session = Session(options.wine, options.driver, options.screenshots)
                for label, make, steps_of, code, check in gui:
                    total += 1
                    failed += report(label, window_case(harness, label, make, steps_of, code,
                                                        check))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("%d of %d case(s) failed" % (failed, total) if failed else
          "all %d cases passed" % total)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
