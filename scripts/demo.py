"""The main job's demo: packs the examples folder into a self-extracting
file and runs it under Wine, as a window for the user to work when there
is a display, otherwise on Xvfb where the GUI test driver presses Unzip.
Then shows what came out, whether it matches, and the packer's speed.

usage: demo.py --packer EXE --extractor EXE --driver EXE --wine RUNNER
               --examples DIR --demo DIR
"""

import argparse
import os
import shutil
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "gui"))
sys.path.insert(0, os.path.join(ROOT, "tests", "tools"))
from clirun import tree_difference  # noqa: E402
from gui_session import Display, Session, step, wine_path  # noqa: E402

UNZIP, CLOSE, EDIT, STATUS = 113, 105, 115, "STATIC#3"
USER_MINUTES = 30


def steps_for(program, out, user_at_display):
    start = [step("env", "TEMP", wine_path(out)), step("start", '"%s"' % wine_path(program)),
             step("window", "EXTRACT", 60000)]
    if user_at_display:
        # The destination shown is build/demo/out (the program's default is
        # TEMP); the user presses Unzip, and the run ends with the window.
        wait_ms = USER_MINUTES * 60000
        return start + [step("wait-text-starts", STATUS, "Successfully Unzipped", wait_ms),
                        step("screenshot", "demo"), step("exit", wait_ms, 0)]
    return start + [step("set-text", EDIT, wine_path(out)), step("click", UNZIP),
                    step("wait-text-starts", STATUS, "Successfully Unzipped", 120000),
                    step("screenshot", "demo"), step("click", CLOSE), step("exit", 10000, 0)]


def show_tree(root):
    for folder, dirs, files in sorted(os.walk(root)):
        dirs.sort()
        depth = os.path.relpath(folder, root).count(os.sep) + (folder != root)
        if folder != root:
            print("  " * depth + os.path.basename(folder) + "/")
        for name in sorted(files):
            size = os.path.getsize(os.path.join(folder, name))
            print("  " * (depth + 1) + "%s  (%d bytes)" % (name, size))


def main():
    parser = argparse.ArgumentParser(usage=__doc__)
    for name in ["packer", "extractor", "driver", "wine", "examples", "demo"]:
        parser.add_argument("--" + name, required=True)
    options = parser.parse_args()
    demo = os.path.abspath(options.demo)
    shutil.rmtree(demo, ignore_errors=True)
    os.makedirs(demo)
    program = os.path.join(demo, "setup.exe")
    out = os.path.join(demo, "out")
    os.makedirs(out)

    print("== packing %s into %s" % (options.examples, program))
    subprocess.run([options.packer, "-o", program, "--stub", options.extractor,
                    options.examples], check=True)

    user_at_display = bool(os.environ.get("DISPLAY"))
    print("== running setup.exe under Wine " + (
        "in a window: press Unzip, then Close (the destination shown is %s)" % out
        if user_at_display else "on Xvfb, worked by the GUI test driver"))
    shots = os.path.join(demo, "screens")
    with Display():
        session = Session(options.wine, options.driver, shots)
        allowed = USER_MINUTES * 60 if user_at_display else 240
        problems = session.run_script("demo", demo, steps_for(program, out, user_at_display),
                                      allowed)
    shot = os.path.join(demo, "screenshot.png")
    if os.path.exists(os.path.join(shots, "demo-demo.png")):
        shutil.copyfile(os.path.join(shots, "demo-demo.png"), shot)
    for problem in problems:
        print("   driver: " + problem)

    print("== extracted into " + out)
    show_tree(out)
    name = os.path.basename(os.path.normpath(options.examples))
    differences = tree_difference(options.examples, os.path.join(out, name))
    if differences:
        print("== %d difference(s):" % len(differences))
        for d in differences:
            print("   " + d)
    else:
        print("== every file matches examples/")
    print("== screenshot: " + (shot if os.path.exists(shot) else "(none was taken)"))
    return 1 if differences or problems or not os.path.exists(shot) else 0


if __name__ == "__main__":
    sys.exit(main())
