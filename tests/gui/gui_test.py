"""The extractor's window as a user works it, under Wine on a virtual X
display: start-up, successful runs, overwrite, passwords, a second Unzip,
Abort and Close during a run, a file that is no archive, and DLLs planted
beside the program. Every case is a step script for gui_driver; the files a
run leaves are checked from here.

usage: gui_test.py --extractor EXE --driver EXE --make-sfx EXE --planted DIR
                   --naive-loader EXE --wine RUNNER --screenshots DIR [--keep] [CASE...]
"""

import argparse
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
from clirun import long_names, tree_difference, write_files  # noqa: E402
from gui_session import DESKTOP, LARGE_DESKTOP, Display, Session, step, wine_path  # noqa: E402

SKIPPED = 77
PREFIX = "Corvane Self-Extractor ["
INSTRUCTION = ("To extract the contents of this file please specify the destination directory "
               "and press the Unzip button.")
ABORTED = "Unzip Operation Aborted"
BUSY = "The current instance of the Zip object is already running an operation"
NOT_ZIP = "The file is not identified as a compliant zip file"

# Controls of the main window: ids, or the Nth child of a class.
UNZIP, ABORT, CLOSE, EDIT, BROWSE, OVERWRITE = 113, 104, 105, 115, 1006, 114
LABEL, STATUS, BAR = "STATIC#1", "STATIC#3", "msctls_progress32#1"
# Controls of the dialogs.
OK, CANCEL, ERROR_TEXT, WARNINGS_TEXT, PROMPT, PASSWORD = 1, 2, 109, 1005, 1003, 1002

WINDOW_MS = 30000  # the first start in a prefix is slow
DIALOG_MS = 20000
RUN_MS = 120000
SW_SHOWMINIMIZED = 2

SMALL_FILES = {"a.txt": b"alpha\n" * 1000, "sub/b.txt": b"beta\n",
               "sub/deeper/c.bin": bytes(range(256)) * 40}
SECRET_FILES = {"docs/a.txt": b"the first secret\n" * 500, "docs/b.bin": bytes(range(256)) * 9}
PASSWORD_TEXT = "open sesame"
# Other tools' WinZip AES, keyed with the password in UTF-8.
FOREIGN_AES = {
    "7z-aes256": (["7z", "a", "-tzip", "-mem=AES256", "-pPASSWORD", "OUT"], "Sesam-42"),
    "bsdtar-aes128": (["bsdtar", "--format", "zip", "--options", "zip:encryption=aes128",
                       "--passphrase", "PASSWORD", "-cf", "OUT"], "Grüße aus Köln"),
}


class Case:
    """One run of the program: its folder, its self-extracting file and
    what went wrong."""

    def __init__(self, harness, name):
        self.harness = harness
        self.name = name
        self.folder = os.path.join(harness.work, name)
        os.makedirs(self.folder)
        self.destination = os.path.join(self.folder, "out")
        self.problems = []

    def program(self, archive, file_name="setup.exe"):
        path = os.path.join(self.folder, file_name)
        shutil.copyfile(archive, path)
        return path

    def run(self, steps, allowed_ms, environment=None):
        desktop = LARGE_DESKTOP if self.harness.scaled else DESKTOP
        self.problems += self.harness.session.run_script(self.name, self.folder, steps,
                                                         allowed_ms // 1000, environment, desktop)

    def log_lines(self):
        with open(os.path.join(self.folder, self.name + ".log"), encoding="latin-1") as f:
            return f.read().splitlines()

    def same_tree(self, source):
        self.problems += tree_difference(source, self.destination)


def opening(program, environment=(), show=None, arguments=""):
    steps = []
    for name, value in environment:
        steps.append(step("unset", name) if value is None else step("env", name, value))
    if show is not None:
        steps.append(step("show", show))
    steps.append(step("start", '"%s"%s' % (wine_path(program), arguments)))
    steps.append(step("window", "EXTRACT", WINDOW_MS))
    return steps


def unzip_into(destination):
    return [step("set-text", EDIT, wine_path(destination)), step("click", UNZIP)]


def closing():
    return [step("click", CLOSE), step("exit", 10000, 0)]


def error_dialog(text, screenshot=None):
    """The error dialog, answered with OK. A failed run shows it at once,
    without waiting for the user to touch the window."""
    steps = [step("dialog", "Error Message", DIALOG_MS),
             step("dialog-text", ERROR_TEXT, text), step("dialog-icon", 32513),
             step("dialog-focus", OK), step("dialog-active")]
    if screenshot:
        steps.append(step("screenshot", screenshot))
    return steps + [step("dialog-click", OK), step("dialog-gone", DIALOG_MS)]


def success_text(count):
    return "Successfully Unzipped %d file%s" % (count, "" if count == 1 else "s")


class Harness:
    def __init__(self, options, session, work):
        self.options = options
        self.session = session
        self.work = work
        self.archives = {}
        self.scaled = False  # a screen scale above 96 DPI is set
        self.sources = os.path.join(work, "sources")

    def source(self, name, files):
        root = os.path.join(self.sources, name)
        if not os.path.isdir(root):
            write_files(root, files)
        return root

    def stub(self):
        with open(self.options.extractor, "rb") as f:
            return f.read()

    def archive(self, key, make):
        """A self-extracting file made once for all cases that use it."""
        if key not in self.archives:
            path = os.path.join(self.work, key + ".exe")
            make(path)
            self.archives[key] = path
        return self.archives[key]

    def zipped(self, key, files, folders=(), compression=zipfile.ZIP_DEFLATED, adjusted=True):
        def make(path):
            plain = path + ".zip"
            if compression in FOREIGN_METHODS:
                FOREIGN_METHODS[compression](plain, files)
            else:
                with zipfile.ZipFile(plain, "w", compression) as z:
                    for folder in folders:
                        z.writestr(folder, b"")
                    for name, content in files.items():
                        z.writestr(name, content)
            self.behind_stub(plain, path, adjusted)
        return self.archive(key, make)

    def behind_stub(self, plain, path, adjusted=True):
        """The archive appended to the program; adjusted, its offsets count
        the program's bytes (zip -A), otherwise it is as a plain copy makes it."""
        with open(path, "wb") as out:
            out.write(self.stub())
            with open(plain, "rb") as z:
                shutil.copyfileobj(z, out)
        if adjusted:
            subprocess.run(["zip", "-q", "-A", path], check=True)

    def empty_archive(self):
        def make(path):
            stub = self.stub()
            with open(path, "wb") as out:
                out.write(stub)
                out.write(struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 0, 0, 0, len(stub), 0))
        return self.archive("empty", make)

    def big_archive(self):
        """One stored entry of 256 MiB, so a run lasts long enough to watch."""
        def make(path):
            block = random.Random(5).randbytes(1 << 20)
            plain = path + ".zip"
            with zipfile.ZipFile(plain, "w", zipfile.ZIP_STORED) as z:
                with z.open("big.bin", "w", force_zip64=False) as entry:
                    for _ in range(256):
                        entry.write(block)
            self.behind_stub(plain, path)
            self.big_content = block * 256
        return self.archive("big", make)

    def secret_archive(self, kind):
        source = self.source("secret", SECRET_FILES)
        if kind in FOREIGN_AES:
            command, password = FOREIGN_AES[kind]

            def make(path):
                words = [w.replace("PASSWORD", password).replace("OUT", path + ".zip")
                         for w in command]
                # The tools take the password's characters from the locale.
                subprocess.run(words + sorted(SECRET_FILES), cwd=source, check=True,
                               stdout=subprocess.DEVNULL,
                               env=dict(os.environ, LC_ALL="C.UTF-8"))
                self.behind_stub(path + ".zip", path)
        elif kind == "traditional":
            def make(path):
                subprocess.run(["zip", "-q", "-P", PASSWORD_TEXT, path + ".zip"] +
                               list(SECRET_FILES), cwd=source, check=True)
                self.behind_stub(path + ".zip", path)
        else:
            def make(path):
                stub = os.path.join(self.work, "stub.exe")
                shutil.copyfile(self.options.extractor, stub)
                entries = ["%s=%s" % (name, wine_path(os.path.join(source, name)))
                           for name in SECRET_FILES]
                code, output = self.session.run_wine(
                    [self.options.make_sfx, wine_path(path), wine_path(stub), "--aes", kind.split("-")[1],
                     PASSWORD_TEXT] + entries, 120)
                if code != 0:
                    raise RuntimeError("make_sfx failed: " + output)
        return self.archive("secret-" + kind, make), source


# The cases. Each returns its Case; a case with problems fails.

STARTUP_VARIANTS = [
    # label, file name, environment, show command, arguments
    ("setup", "setup.exe", [("TEMP", "TEMPDIR")], None, ""),
    ("arguments", "setup.exe", [("TEMP", "TEMPDIR")], None, ' /s -d "c:\\else where" /overwrite'),
    ("temp-unset", "setup.exe", [("TEMP", None)], None, ""),
    ("temp-empty", "setup.exe", [("TEMP", "")], None, ""),
    ("temp-too-long", "setup.exe", [("TEMP", "c:\\" + "t" * 300)], None, ""),
    ("long-name", "n" * 86 + ".exe", [("TEMP", "TEMPDIR")], None, ""),
    ("minimised", "setup.exe", [("TEMP", "TEMPDIR")], SW_SHOWMINIMIZED, ""),
]


def startup(harness, label, file_name, environment, show, arguments):
    case = Case(harness, "startup-" + label)
    program = case.program(harness.zipped("small", SMALL_FILES), file_name)
    temp = wine_path(os.path.join(case.folder, "temp dir"))
    environment = [(n, temp if v == "TEMPDIR" else v) for n, v in environment]
    steps = opening(program, environment, show, arguments)
    if len(file_name) + len(PREFIX) + 1 > 99:
        steps.append(step("caption-starts", PREFIX + file_name[:74], 99))
    else:
        steps.append(step("caption", PREFIX + file_name + "]"))
    expected_temp = dict(environment).get("TEMP")
    if not expected_temp or len(expected_temp) >= 260:
        expected_temp = "c:\\Temp"
    steps += [step("text", EDIT, expected_temp), step("iconic", 1 if show else 0)]
    if label == "setup":
        steps += [step("text", LABEL, INSTRUCTION), step("text", UNZIP, "Unzip"),
                  step("text", ABORT, "Abort"), step("text", CLOSE, "Close"),
                  step("text", BROWSE, "Browse"),
                  step("text", OVERWRITE, "Overwrite Existing Files"),
                  step("text", "STATIC#2", "Destination Directory:"),
                  # The first paint has replaced the initial "Unzipping: ".
                  step("wait-text", STATUS, " ", 5000), step("checked", OVERWRITE, 0),
                  step("progress", BAR, 0), step("screenshot", "main-idle")]
    case.run(steps + closing(), WINDOW_MS + 10000)
    return case


def browse_cancel(harness):
    case = Case(harness, "browse-cancel")
    program = case.program(harness.zipped("small", SMALL_FILES))
    steps = opening(program) + [
        step("set-text", EDIT, "c:\\kept"), step("click", BROWSE),
        step("dialog", "*", DIALOG_MS), step("screenshot", "browse"),
        step("dialog-click", CANCEL), step("dialog-gone", DIALOG_MS),
        step("text", EDIT, "c:\\kept")] + closing()
    case.run(steps, WINDOW_MS + 2 * DIALOG_MS)
    return case


def seven_zip(method):
    """Entries 7z compresses with a method Python's zipfile cannot write."""
    def make(plain, files):
        folder = plain + ".in"
        write_files(folder, files)
        subprocess.run(["7z", "a", "-tzip", "-mm=" + method, os.path.abspath(plain)] + list(files),
                       cwd=folder, check=True, stdout=subprocess.DEVNULL)
    return make


def zstd_zip(plain, files):
    """Zstandard entries (method 93, version 6.3), each one frame from the
    zstd program, in an archive written here: no tool at hand writes them."""
    central, offset = b"", 0
    with open(plain, "wb") as out:
        for name, content in files.items():
            data = subprocess.run(["zstd", "-q", "-c", "-19"], input=content, check=True,
                                  stdout=subprocess.PIPE).stdout
            fields = struct.pack("<HHHHHIII", 63, 0, 93, 0, 0x21, zipfile.crc32(content),
                                 len(data), len(content))
            raw = name.encode()
            out.write(b"PK\x03\x04" + fields + struct.pack("<HH", len(raw), 0) + raw + data)
            central += (b"PK\x01\x02" + struct.pack("<H", 63) + fields +
                        struct.pack("<HHHHHII", len(raw), 0, 0, 0, 0, 0, offset) + raw)
            offset += 30 + len(raw) + len(data)
        out.write(central + struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(files), len(files),
                                        len(central), offset, 0))


FOREIGN_METHODS = {"ppmd": seven_zip("PPMd"), "xz": seven_zip("XZ"), "zstd": zstd_zip}

MIXED = {"a.txt": b"first\n" * 3000, "sub/b.bin": bytes(range(256)) * 100}
SUCCESS_VARIANTS = [
    # label, files, folder entries, entry count, offsets adjusted, method
    ("three", MIXED, ["sub/"], 3, True, zipfile.ZIP_DEFLATED),
    ("one", {"only.txt": b"the one entry\n" * 100}, [], 1, True, zipfile.ZIP_DEFLATED),
    # cat extractor.exe files.zip > setup.exe, without zip -A.
    ("appended", MIXED, [], 2, False, zipfile.ZIP_DEFLATED),
    ("bzip2", MIXED, [], 2, True, zipfile.ZIP_BZIP2),
    ("lzma", MIXED, [], 2, True, zipfile.ZIP_LZMA),
    ("ppmd", MIXED, [], 2, True, "ppmd"),
    ("xz", MIXED, [], 2, True, "xz"),
    ("zstd", MIXED, [], 2, True, "zstd"),
]


def success(harness, label, files, folders, count, adjusted, method):
    case = Case(harness, "success-" + label)
    program = case.program(
        harness.zipped("success-" + label, files, folders, method, adjusted=adjusted))
    # An Abort before any Unzip must leave no trace on the run.
    steps = opening(program) + [step("click", ABORT)] + unzip_into(case.destination) + [
        step("wait-text", STATUS, success_text(count), RUN_MS), step("progress", BAR, 0),
        step("no-dialog", "*", 1000), step("screenshot", "main-finished"),
        # Shown again, the window no longer claims a run it has forgotten.
        step("repaint"), step("wait-text", STATUS, " ", 5000)] + closing()
    case.run(steps, WINDOW_MS + RUN_MS)
    case.same_tree(harness.source("success-" + label, files))
    return case


def empty_archive(harness):
    case = Case(harness, "empty-archive")
    program = case.program(harness.empty_archive())
    steps = opening(program) + unzip_into(case.destination) + [
        step("wait-text", STATUS, " ", RUN_MS), step("progress", BAR, 0),
        step("no-dialog", "*", 1500)] + closing()
    case.run(steps, WINDOW_MS + RUN_MS)
    return case


def progress(harness):
    case = Case(harness, "progress")
    program = case.program(harness.big_archive())
    steps = opening(program) + unzip_into(case.destination) + [
        step("watch-run", BAR, STATUS, "Unzipping: big.bin", success_text(1), RUN_MS,
             "main-running"), step("progress", BAR, 0)] + closing()
    case.run(steps, WINDOW_MS + 3 * RUN_MS)
    check_big_file(harness, case)
    return case


def check_big_file(harness, case):
    path = os.path.join(case.destination, "big.bin")
    if not os.path.isfile(path):
        case.problems.append("big.bin was not extracted")
        return
    with open(path, "rb") as f:
        if f.read() != harness.big_content:
            case.problems.append("big.bin differs from the entry")


OVERWRITE_VARIANTS = [
    # label, clicks on the check box, files kept
    ("off", 0, True),
    ("on", 1, False),
    ("on-then-off", 2, True),
]
LOCAL_EDIT = b"a local edit that must survive" * 100


def overwrite(harness, label, clicks, kept):
    case = Case(harness, "overwrite-" + label)
    program = case.program(harness.zipped("small", SMALL_FILES))
    source = harness.source("small", SMALL_FILES)
    write_files(case.destination, {"a.txt": LOCAL_EDIT, "sub/deeper/c.bin": LOCAL_EDIT})
    steps = opening(program) + [step("click", OVERWRITE)] * clicks + [
        step("checked", OVERWRITE, clicks % 2)] + unzip_into(case.destination)
    if kept:
        steps += [step("dialog", "Warning Messages", RUN_MS),
                  step("dialog-text", WARNINGS_TEXT, "a.txt: File Exists\r\nc.bin: File Exists"),
                  step("dialog-icon", 32513), step("dialog-active")]
        if label == "off":
            steps.append(step("screenshot", "warnings"))
        steps += [step("dialog-click", OK), step("dialog-gone", DIALOG_MS),
                  step("wait-text", STATUS, " ", RUN_MS)]
    else:
        steps.append(step("wait-text", STATUS, success_text(3), RUN_MS))
    case.run(steps + [step("no-dialog", "*", 1000)] + closing(), WINDOW_MS + 2 * RUN_MS)
    if kept:
        for name in ["a.txt", "sub/deeper/c.bin"]:
            with open(os.path.join(case.destination, name), "rb") as f:
                if f.read() != LOCAL_EDIT:
                    case.problems.append("existing %s was changed" % name)
        if not os.path.isfile(os.path.join(case.destination, "sub", "b.txt")):
            case.problems.append("missing sub/b.txt was not extracted")
    else:
        case.same_tree(source)
    return case


def password_dialog(answer):
    return [step("dialog", "Password Required", RUN_MS),
            step("dialog-text", PROMPT, "Please enter the password for file: a.txt"),
            step("dialog-focus", OK), step("dialog-active"),
            step("dialog-set-text", PASSWORD, answer), step("dialog-click", OK),
            step("dialog-gone", DIALOG_MS)]


PASSWORD_KINDS = ["traditional", "aes-4", "7z-aes256", "bsdtar-aes128"]


def password_right(harness, kind):
    case = Case(harness, "password-%s" % kind)
    archive, source = harness.secret_archive(kind)
    program = case.program(archive)
    steps = opening(program) + unzip_into(case.destination)
    if kind == "traditional":
        steps += [step("dialog", "Password Required", RUN_MS), step("screenshot", "password")]
    # The second entry takes the password the first one proved.
    right = FOREIGN_AES[kind][1] if kind in FOREIGN_AES else PASSWORD_TEXT
    if kind in FOREIGN_AES:
        steps += [step("dialog", "Password Required", RUN_MS),
                  step("dialog-set-text", PASSWORD, "wrong guess"),
                  step("screenshot", "password-%s" % kind)]
    steps += password_dialog("wrong guess") + password_dialog(right) + [
        step("wait-text", STATUS, success_text(2), RUN_MS), step("no-dialog", "*", 1000)]
    case.run(steps + closing(), WINDOW_MS + 4 * RUN_MS)
    case.same_tree(source)
    return case


CANCEL_WAYS = [
    # kind, how the dialog is left
    ("traditional", [step("dialog-click", CANCEL)]),
    ("aes-4", [step("dialog-click", CANCEL)]),
    ("traditional", [step("dialog-escape")]),
    ("aes-4", [step("dialog-close")]),
    ("traditional", [step("dialog-set-text", PASSWORD, "wrong guess"), step("dialog-click", OK),
                     step("dialog-gone", DIALOG_MS), step("dialog", "Password Required", RUN_MS),
                     step("screenshot", "password-again"), step("dialog-click", CANCEL)]),
    ("7z-aes256", [step("dialog-click", CANCEL)]),
]


def password_cancel(harness, index, kind, leave):
    case = Case(harness, "password-cancel-%d-%s" % (index, kind))
    program = case.program(harness.secret_archive(kind)[0])
    steps = opening(program) + unzip_into(case.destination) + [
        step("dialog", "Password Required", RUN_MS)] + leave + [
        step("dialog-gone", DIALOG_MS)] + error_dialog(
            ABORTED, "error-aborted" if index == 0 else None) + [
        step("no-dialog", "*", 1000)] + closing()
    case.run(steps, WINDOW_MS + 3 * RUN_MS)
    # The entry asked about is not left behind, not even as an empty file.
    for folder, _, files in os.walk(case.destination):
        case.problems += ["left behind: " + os.path.relpath(os.path.join(folder, name),
                                                            case.destination) for name in files]
    return case


def second_unzip(harness):
    case = Case(harness, "second-unzip")
    program = case.program(harness.big_archive())
    steps = opening(program) + unzip_into(case.destination) + [
        step("click", UNZIP)] + error_dialog(BUSY) + [
        step("wait-text", STATUS, success_text(1), RUN_MS), step("no-dialog", "*", 1500)
    ] + closing()
    case.run(steps, WINDOW_MS + 2 * RUN_MS)
    check_big_file(harness, case)
    return case


def abort_run(harness):
    case = Case(harness, "abort")
    program = case.program(harness.big_archive())
    steps = opening(program) + unzip_into(case.destination) + [
        step("wait-progress", BAR, 1, RUN_MS), step("click", ABORT)] + error_dialog(ABORTED) + [
        step("progress", BAR, 0)] + closing()
    case.run(steps, WINDOW_MS + 2 * RUN_MS)
    if os.path.exists(os.path.join(case.destination, "big.bin")):
        case.problems.append("the partial big.bin was left behind")
    return case


def close_running(harness):
    case = Case(harness, "close-running")
    program = case.program(harness.big_archive())
    # The stopped run's error may show while the window closes: a user
    # answers it, and the program must still end with 0.
    steps = opening(program) + unzip_into(case.destination) + [
        step("wait-progress", BAR, 1, RUN_MS), step("click", CLOSE),
        step("exit-dismissing", "Error Message", RUN_MS, 0)]
    case.run(steps, WINDOW_MS + 2 * RUN_MS)
    return case


def close_box_running(harness):
    """The caption's close box does not wait for the run; the process must
    still end cleanly, with 0."""
    case = Case(harness, "close-box-running")
    program = case.program(harness.big_archive())
    steps = opening(program) + unzip_into(case.destination) + [
        step("wait-progress", BAR, 1, RUN_MS), step("close-box"), step("exit", RUN_MS, 0)]
    case.run(steps, WINDOW_MS + 2 * RUN_MS)
    return case


def not_an_archive(harness):
    case = Case(harness, "not-an-archive")
    program = case.program(harness.options.extractor)
    steps = opening(program) + unzip_into(case.destination) + error_dialog(NOT_ZIP, "error") + [
        step("running")] + closing()
    case.run(steps, WINDOW_MS + 2 * DIALOG_MS)
    return case


def keyboard(harness):
    """The window worked from the keyboard alone: Tab goes round the six
    controls a user works, Space toggles the check box, typing replaces the
    destination, Enter unzips and Escape closes."""
    case = Case(harness, "keyboard")
    program = case.program(harness.zipped("small", SMALL_FILES))
    destination = wine_path(case.destination)
    order = [BROWSE, OVERWRITE, UNZIP, ABORT, CLOSE, EDIT]
    steps = opening(program) + [step("focus", EDIT)]
    for control in order:
        steps += [step("key", "tab"), step("focus", control)]
        if control == OVERWRITE:
            steps += [step("key", "space"), step("checked", OVERWRITE, 1), step("key", "space"),
                      step("checked", OVERWRITE, 0)]
    # Tab selects the whole destination, which the typed text replaces.
    steps += [step("type", destination), step("wait-text", EDIT, destination, 5000),
              step("key", "enter"),
              step("wait-text", STATUS, success_text(3), RUN_MS), step("no-dialog", "*", 1000),
              step("key", "escape"), step("exit", 10000, 0)]
    case.run(steps, WINDOW_MS + RUN_MS)
    case.same_tree(harness.source("small", SMALL_FILES))
    return case


def scaled(pixels, dpi):
    """MulDiv(pixels, dpi, 96): rounded to the nearest."""
    return (pixels * dpi + 48) // 96


def window_table(width, dpi):
    """The main window's controls, (class, id or order among the statics,
    x, y, width, height), with the table's lengths scaled to dpi; width is
    the client area's."""
    m, bw, bh, lh = (scaled(v, dpi) for v in (10, 75, 25, 15))
    return [("static", 1, m, m, width - 3 * m - bw, 2 * bh),
            ("button", UNZIP, width - m - bw, m, bw, bh),
            ("button", ABORT, width - m - bw, 2 * m + bh, bw, bh),
            ("button", CLOSE, width - m - bw, 3 * m + 2 * bh, bw, bh),
            ("static", 2, m, 3 * m + 2 * bh - lh, width - 4 * m - 2 * bw, lh),
            ("edit", EDIT, m, 3 * m + 2 * bh, width - 4 * m - 2 * bw, bh),
            ("button", BROWSE, width - 2 * m - 2 * bw, 3 * m + 2 * bh, bw, bh),
            ("button", OVERWRITE, m, 4 * m + 3 * bh, width, bh),
            ("static", 3, m, 5 * m + 4 * bh, width, lh),
            ("msctls_progress32", 0, m, 6 * m + 4 * bh + lh, width - 2 * m, bh)]


def check_layout(case, dpi):
    """Compares the layout the driver logged with the window table."""
    lines = case.log_lines()
    sizes = {line.split()[0]: tuple(map(int, line.split()[1:3])) for line in lines
             if line.startswith(("client ", "window "))}
    if "client" not in sizes:
        case.problems.append("the driver logged no layout")
        return
    width, height = sizes["client"]
    if sizes["window"] != (scaled(400, dpi), scaled(240, dpi)):
        case.problems.append("window %s at %d DPI" % (sizes["window"], dpi))
    seen, statics = {}, 0
    for line in lines:
        if line.startswith("layout "):
            kind, ident, *place = line.split()[1:]
            kind = kind.lower()
            if kind == "static":
                statics += 1
                ident = statics
            seen[(kind, int(ident))] = tuple(map(int, place))
    for kind, ident, *place in window_table(width, dpi):
        got = seen.get((kind, ident))
        if got != tuple(place):
            case.problems.append("%s %d at %d DPI: expected %s, seen %s" % (
                kind, ident, dpi, tuple(place), got))
            continue
        # The check box and the status line reach one margin past the right
        # edge by design; everything else lies inside the client area.
        right_limit = width + scaled(10, dpi) if ident in (OVERWRITE, 3) else width
        x, y, w, h = got
        if x < 0 or y < 0 or x + w > right_limit or y + h > height:
            case.problems.append("%s %d is clipped at %d DPI" % (kind, ident, dpi))


def layout(harness, dpi):
    case = Case(harness, "layout-%d" % dpi)
    program = case.program(harness.zipped("small", SMALL_FILES))
    steps = opening(program) + [step("layout"), step("font-height", EDIT, scaled(8, dpi)),
                                step("screenshot", "main")] + closing()
    case.run(steps, WINDOW_MS + 10000)
    check_layout(case, dpi)
    return case


def dialogs_at(harness, dpi):
    """The three dialogs at dpi, for the screenshots; their templates are in
    dialog units and scale with the font."""
    case = Case(harness, "dialogs-%d" % dpi)
    folder = case.destination
    # The warnings: both files exist already and are kept.
    write_files(os.path.join(folder, "warned"), {"a.txt": LOCAL_EDIT,
                                                 "sub/deeper/c.bin": LOCAL_EDIT})
    warned = case.program(harness.zipped("small", SMALL_FILES), "warned.exe")
    secret = case.program(harness.secret_archive("traditional")[0], "secret.exe")
    broken = case.program(harness.options.extractor, "broken.exe")
    steps = opening(warned) + unzip_into(os.path.join(folder, "warned")) + [
        step("dialog", "Warning Messages", RUN_MS), step("screenshot", "warnings"),
        step("dialog-click", OK), step("dialog-gone", DIALOG_MS),
        step("wait-text", STATUS, " ", RUN_MS)] + closing()
    steps += opening(secret) + unzip_into(os.path.join(folder, "secret")) + [
        step("dialog", "Password Required", RUN_MS), step("screenshot", "password"),
        step("dialog-click", CANCEL), step("dialog-gone", DIALOG_MS)] + error_dialog(ABORTED)
    steps += closing()
    steps += opening(broken) + unzip_into(os.path.join(folder, "broken")) + error_dialog(
        NOT_ZIP, "error") + closing()
    case.run(steps, 3 * WINDOW_MS + 4 * RUN_MS)
    return case


def long_paths(harness):
    """Paths of 300 and 600 characters are extracted whole."""
    case = Case(harness, "long-paths")
    names = long_names(len(wine_path(case.destination)), [300, 600])
    files = {name: name.encode() * 5 for name in names}
    program = case.program(harness.zipped("long-paths", files))
    steps = opening(program) + unzip_into(case.destination) + [
        step("wait-text", STATUS, success_text(2), RUN_MS), step("no-dialog", "*", 1000)]
    case.run(steps + closing(), WINDOW_MS + RUN_MS)
    case.same_tree(harness.source("long-paths", files))
    return case


def overlong_name(harness):
    """A name past the file system's 255 characters fails and leaves nothing."""
    case = Case(harness, "overlong-name")
    program = case.program(harness.zipped("overlong", {"o" * 256: b"never"}))
    steps = opening(program) + unzip_into(case.destination) + error_dialog("Write failed") + [
        step("no-dialog", "*", 1000)] + closing()
    case.run(steps, WINDOW_MS + RUN_MS)
    left = os.listdir(case.destination) if os.path.isdir(case.destination) else []
    if left:
        case.problems.append("left behind: %s" % left)
    return case


ZONE_STREAM = ":Zone.Identifier"


def zone_mark(harness, zone):
    """A setup.exe downloaded from the internet (zone 3) or an untrusted site
    (4) marks every file it extracts the same; one from a trusted site (2)
    or without a mark marks nothing. Wine keeps the stream
    "name:Zone.Identifier" as a file of that name beside name."""
    case = Case(harness, "zone-%s" % (zone or "none"))
    program = case.program(harness.zipped("small", SMALL_FILES))
    mark = ("[ZoneTransfer]\r\nZoneId=%s\r\nReferrerUrl=https://example.org/get\r\n"
            "HostUrl=https://example.org/setup.exe\r\n" % zone).encode()
    if zone:
        with open(program + ZONE_STREAM, "wb") as f:
            f.write(mark)
    steps = opening(program) + unzip_into(case.destination) + [
        step("wait-text", STATUS, success_text(3), RUN_MS), step("no-dialog", "*", 1000)]
    case.run(steps + closing(), WINDOW_MS + RUN_MS)
    expected = dict(SMALL_FILES)
    if zone in ("3", "4"):
        expected.update({name + ZONE_STREAM: mark for name in SMALL_FILES})
    folder = os.path.join(case.folder, "expected")
    write_files(folder, expected)
    case.problems += tree_difference(folder, case.destination)
    return case


PLANTED = ["comctl32", "shell32", "ole32"]
# Wine prefers a DLL of this name found beside the program, as Windows would.
PREFER_PLANTED = {"WINEDLLOVERRIDES": ",".join(PLANTED) + "=n,b"}


def planted_control(harness):
    """A program that loads the same names carelessly, started the same way,
    must load the planted DLLs: else the planted-DLL case could not see a
    load at all."""
    case = Case(harness, "planted-control")
    plant(harness, case, PLANTED)
    loader = os.path.join(case.folder, "loader.exe")
    shutil.copyfile(harness.options.naive_loader, loader)
    command = wine_path(loader) + "".join(" %s.dll" % name for name in PLANTED)
    case.run([step("start", command), step("exit", 20000, 0)], 20000, PREFER_PLANTED)
    for name in PLANTED:
        if not os.path.exists(os.path.join(case.folder, name + ".dll.loaded")):
            case.problems.append("a careless load of %s.dll did not take the planted one" % name)
    return case


def planted_dlls(harness):
    """DLLs of system names beside the program must never be loaded, also
    not when the user browses; the program still works."""
    case = Case(harness, "planted-dlls")
    program = case.program(harness.zipped("small", SMALL_FILES))
    plant(harness, case, PLANTED)
    steps = opening(program) + [
        step("progress", BAR, 0), step("click", BROWSE), step("dialog", "*", DIALOG_MS),
        step("dialog-click", CANCEL), step("dialog-gone", DIALOG_MS)] + unzip_into(
            case.destination) + [step("wait-text", STATUS, success_text(3), RUN_MS)] + closing()
    case.run(steps, WINDOW_MS + RUN_MS + 2 * DIALOG_MS, PREFER_PLANTED)
    case.same_tree(harness.source("small", SMALL_FILES))
    for name in PLANTED:
        if os.path.exists(os.path.join(case.folder, name + ".dll.loaded")):
            case.problems.append("the planted %s.dll was loaded" % name)
    return case


def plant(harness, case, names):
    for name in names:
        shutil.copyfile(os.path.join(harness.options.planted, name + ".dll"),
                        os.path.join(case.folder, name + ".dll"))


def planted_msvcrt(harness):
    """Reported, not judged: the program imports no C runtime (the
    extractor_imports test holds it to that), but Wine's own user32.dll
    imports zlib1.dll and advapi32.dll, which import msvcrt.dll, and Wine
    takes that dependency from beside the program when told to prefer native
    DLLs; Windows takes it from its known DLLs, before any search."""
    case = Case(harness, "planted-msvcrt")
    program = case.program(harness.zipped("small", SMALL_FILES))
    plant(harness, case, ["msvcrt"])
    case.run(opening(program) + closing(), WINDOW_MS + 10000, {"WINEDLLOVERRIDES": "msvcrt=n,b"})
    imports = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", harness.options.extractor],
                             capture_output=True, text=True).stdout
    dlls = sorted({line.split(":", 1)[1].strip().lower() for line in imports.splitlines()
                   if "DLL Name:" in line})
    loaded = os.path.exists(os.path.join(case.folder, "msvcrt.dll.loaded"))
    print("NOTE planted-msvcrt: the program imports %s; the planted msvcrt.dll was %s; the run %s"
          % (", ".join(dlls) or "nothing", "LOADED" if loaded else "not loaded",
             "failed: " + "; ".join(case.problems[:2]) if case.problems else "worked"))
    case.problems = []
    return case


def all_cases():
    cases = [("startup-" + v[0], lambda h, v=v: startup(h, *v)) for v in STARTUP_VARIANTS]
    cases.append(("browse-cancel", browse_cancel))
    cases += [("success-" + v[0], lambda h, v=v: success(h, *v)) for v in SUCCESS_VARIANTS]
    cases.append(("empty-archive", empty_archive))
    cases += [("overwrite-" + v[0], lambda h, v=v: overwrite(h, *v)) for v in OVERWRITE_VARIANTS]
    cases += [("password-" + k, lambda h, k=k: password_right(h, k)) for k in PASSWORD_KINDS]
    cases += [("password-cancel-%d-%s" % (i, w[0]), lambda h, i=i, w=w: password_cancel(h, i, *w))
              for i, w in enumerate(CANCEL_WAYS)]
    cases += [("progress", progress), ("second-unzip", second_unzip), ("abort", abort_run),
              ("close-running", close_running), ("close-box-running", close_box_running), ("not-an-archive", not_an_archive),
              ("planted-control", planted_control), ("planted-dlls", planted_dlls),
              ("planted-msvcrt", planted_msvcrt), ("keyboard", keyboard),
              ("layout-96", lambda h: layout(h, 96)), ("long-paths", long_paths),
              ("overlong-name", overlong_name)]
    cases += [("zone-%s" % (z or "none"), lambda h, z=z: zone_mark(h, z))
              for z in ["3", "4", "2", None]]
    # Last: each changes the screen's scale for the programs started after it.
    cases += [("layout-%d" % dpi, lambda h, d=dpi: at_dpi(h, d, layout)) for dpi in SCALES]
    cases.append(("dialogs-192", lambda h: at_dpi(h, 192, dialogs_at)))
    return cases


SCALES = [144, 192]
# The value of this Wine version's own settings dialog, read by each program
# when it starts.
LOG_PIXELS = ["HKCU\\Control Panel\\Desktop", "/v", "LogPixels"]


def at_dpi(harness, dpi, run):
    harness.session.run_wine(["reg", "add"] + LOG_PIXELS + ["/t", "REG_DWORD", "/d", str(dpi),
                                                            "/f"], 120)
    harness.scaled = True
    try:
        return run(harness, dpi)
    finally:
        harness.scaled = False
        harness.session.run_wine(["reg", "delete"] + LOG_PIXELS + ["/f"], 120)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    for name in ["extractor", "driver", "make-sfx", "planted", "naive-loader", "wine",
                 "screenshots"]:
        parser.add_argument("--" + name, required=True)
    parser.add_argument("--keep", action="store_true", help="keep the work folder")
    parser.add_argument("cases", nargs="*", help="the cases to run, all by default: " +
                        ", ".join(name for name, _ in all_cases()))
    options = parser.parse_args()
    if not os.environ.get("WINEPREFIX"):
        print("SKIP: WINEPREFIX is not set; run the tests through scripts/test.sh")
        return SKIPPED
    for tool in ["zip", "Xvfb"]:
        if shutil.which(tool) is None and not (tool == "Xvfb" and os.environ.get("DISPLAY")):
            print("SKIP: %s is not installed" % tool)
            return SKIPPED
    chosen = [c for c in all_cases() if not options.cases or c[0] in options.cases]
    work = tempfile.mkdtemp(prefix="extractor-gui-")
    failed = 0
    try:
        with Display():
            harness = Harness(options, Session(options.wine, options.driver, options.screenshots),
                              work)
            for name, run in chosen:
                case = run(harness)
                print("%s %s" % ("FAIL" if case.problems else "ok  ", name), flush=True)
                for problem in case.problems:
                    print("     " + problem)
                failed += bool(case.problems)
    finally:
        if options.keep:
            print("work folder kept: " + work)
        else:
            shutil.rmtree(work, ignore_errors=True)
    print("screenshots: " + options.screenshots)
    print("%d of %d case(s) failed" % (failed, len(chosen)) if failed else
          "all %d cases passed" % len(chosen))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
