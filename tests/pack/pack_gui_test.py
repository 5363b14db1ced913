"""Self-extracting files made by extractor-pack.exe, extracted by
extractor.exe as a user would: under Wine on a virtual X display, the GUI
test driver types the destination, presses Unzip, answers the password
dialog and closes the window. Levels, both encryptions, the three AES kinds,
split files, and files signed with osslsigncode (a few KB of signature and
more than 100 KB).

usage: pack_gui_test.py --packer EXE --extractor EXE --driver EXE --wine RUNNER
                        --screenshots DIR
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "gui"))
import gui_session  # noqa: E402
import signing  # noqa: E402
from gui_session import Display, Session, step, wine_path  # noqa: E402
from packrun import PASSWORD, make_tree, times_difference, tree_difference  # noqa: E402

SKIPPED = 77
UNZIP, CLOSE, EDIT, STATUS = 113, 105, 115, "STATIC#3"
OK, PASSWORD_EDIT = 1, 1002
WINDOW_MS, DIALOG_MS, RUN_MS = 30000, 20000, 120000

CASES = [
    ("level-0", ["--level", "0"], False),
    ("level-5", ["--level", "5"], False),
    ("level-9", ["--level", "9"], False),
    ("traditional", ["--encryption", "traditional", "--password", PASSWORD], True),
    ("legacy-aes-2", ["--encryption", "legacy-aes", "--aes-kind", "2", "--password", PASSWORD],
     True),
    ("legacy-aes-3", ["--encryption", "legacy-aes", "--aes-kind", "3", "--password", PASSWORD],
     True),
    ("legacy-aes-4", ["--encryption", "legacy-aes", "--aes-kind", "4", "--password", PASSWORD],
     True),
    ("split", ["--split", "300k"], False),
    ("aes-128", ["--aes-strength", "128", "--password", PASSWORD], True),
    ("split-aes", ["--split", "200k", "--password", PASSWORD], True),
    # Signed with that many bytes of extra certificates.
    ("signed", [], False, 0),
    ("signed-large", [], False, 120000),
]


def unzip_steps(program, destination, asks_password):
    steps = [step("start", '"%s"' % wine_path(program)), step("window", "EXTRACT", WINDOW_MS),
             step("set-text", EDIT, wine_path(destination)), step("click", UNZIP)]
    if asks_password:
        steps += [step("dialog", "Password Required", RUN_MS),
                  step("dialog-set-text", PASSWORD_EDIT, PASSWORD), step("dialog-click", OK),
                  step("dialog-gone", DIALOG_MS)]
    return steps + [step("wait-text-starts", STATUS, "Successfully Unzipped", RUN_MS),
                    step("no-dialog", "*", 1000), step("screenshot", "finished"),
                    step("click", CLOSE), step("exit", 10000, 0)]


def run_case(options, session, work, source, expected, label, args, asks_password,
             signature=None):
    folder = os.path.join(work, label)
    os.makedirs(folder)
    program = os.path.join(folder, "setup.exe")
    packed = program if signature is None else os.path.join(work, label + "-unsigned.exe")
    code, output = session.run_wine(
        [options.packer, "-o", wine_path(packed), "--stub", wine_path(options.extractor)] +
        args + [wine_path(source)], 300)
    if code != 0:
        return ["packer exit %d: %s" % (code, output.strip())]
    if signature is not None:
        signer = signing.Signer(os.path.join(work, "signing"))
        signer.sign(packed, program, signature)
        if not signer.verifies(program):
            return ["osslsigncode verify failed"]
    destination = os.path.join(folder, "out")
    problems = session.run_script(label, folder, unzip_steps(program, destination, asks_password),
                                  (WINDOW_MS + 2 * RUN_MS) // 1000)
    return problems + tree_difference(expected, destination) + times_difference(expected,
                                                                                destination)


def main():
    parser = argparse.ArgumentParser(usage=__doc__)
    for name in ["packer", "extractor", "driver", "wine", "screenshots"]:
        parser.add_argument("--" + name, required=True)
    options = parser.parse_args()
    if not os.environ.get("WINEPREFIX"):
        print("SKIP: WINEPREFIX is not set; run the tests through scripts/test.sh")
        return SKIPPED
    if shutil.which("Xvfb") is None and not os.environ.get("DISPLAY"):
        print("SKIP: Xvfb is not installed")
        return SKIPPED
    os.environ["TZ"] = "UTC"  # the extractor takes the stored local time as UTC
    # A desktop of its own: the other window tests' screenshots never show
    # this one's windows.
    gui_session.DESKTOP = "extractor-pack-gui,800x600"
    work = tempfile.mkdtemp(prefix="extractor-pack-gui-")
    failed = 0
    try:
        source = make_tree(os.path.join(work, "src"))
        expected = os.path.join(work, "expected")
        os.makedirs(expected)
        shutil.copytree(source, os.path.join(expected, "src"), copy_function=shutil.copy2)
        with Display():
            session = Session(options.wine, options.driver, options.screenshots)
            for label, args, asks_password, *signature in CASES:
                if signature and not signing.available():
                    print("SKIP %s: osslsigncode or openssl is not installed" % label)
                    continue
                problems = run_case(options, session, work, source, expected, label, args,
                                    asks_password, *signature)
                print("%s %s" % ("FAIL" if problems else "ok  ", label), flush=True)
                for problem in problems[:8]:
                    print("     " + problem)
                failed += bool(problems)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("%d of %d case(s) failed" % (failed, len(CASES)) if failed else
          "all %d cases passed" % len(CASES))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
