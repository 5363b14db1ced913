"""What the user-interface tests run on: a virtual X display, a Wine prefix
with Wine's crash dialog turned off, and gui_driver started on a Wine
desktop of its own, one script per case, each under a time limit."""

import os
import shutil
import subprocess
import tempfile
import time

DESKTOP = "extractor-gui,800x600"
# Room for the window and dialogs at twice the usual scale.
LARGE_DESKTOP = "extractor-gui-scaled,1024x768"
# Start-up of a Wine program, screenshots and the slack of the driver's own
# waits come on top of the time the steps of a script allow.
RUN_SLACK_SECONDS = 60


def wine_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def word(text):
    """One word of a step script, quoted."""
    escaped = (text.replace("\\", "\\\\").replace('"', '\\"').replace("\r", "\\r")
               .replace("\n", "\\n"))
    return '"' + escaped + '"'


def step(*words):
    return " ".join(str(w) if isinstance(w, int) else word(w) for w in words)


class Display:
    """The X display the tests draw on: the caller's, or a fresh Xvfb."""

    def __init__(self):
        self.process = None

    def __enter__(self):
        if os.environ.get("DISPLAY"):
            return self
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten",
             "tcp"], pass_fds=[write_end], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        number = self._read_display_number(read_end)
        os.close(read_end)
        if number is None:
            self.__exit__(None, None, None)
            raise RuntimeError("Xvfb did not report a display within 20 s")
        os.environ["DISPLAY"] = ":" + number
        return self

    @staticmethod
    def _read_display_number(fd):
        import select
        text = b""
        deadline = time.monotonic() + 20
        while not text.endswith(b"\n") and time.monotonic() < deadline:
            ready, _, _ = select.select([fd], [], [], max(0, deadline - time.monotonic()))
            if not ready:
                break
            chunk = os.read(fd, 16)
            if not chunk:
                break
            text += chunk
        return text.decode().strip() or None

    def __exit__(self, *exc):
        if self.process:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
            del os.environ["DISPLAY"]


class Session:
    def __init__(self, wine, driver, screenshots):
        self.wine = wine
        self.driver = driver
        self.screenshots = screenshots
        shutil.rmtree(screenshots, ignore_errors=True)
        os.makedirs(screenshots)
        self.run_wine(["reg", "add", "HKCU\\Software\\Wine\\WineDbg", "/v", "ShowCrashDialog",
                       "/t", "REG_DWORD", "/d", "0", "/f"], 120)

    def run_wine(self, args, timeout, environment=None):
        # Files, not pipes: a wineserver started by the run keeps inherited
        # pipes open long after the program has ended.
        with tempfile.TemporaryFile() as out:
            done = subprocess.run([self.wine] + args, stdin=subprocess.DEVNULL, stdout=out,
                                  stderr=subprocess.STDOUT, timeout=timeout,
                                  env=dict(os.environ, **(environment or {})))
            out.seek(0)
            return done.returncode, out.read().decode("utf-8", "replace")

    def run_script(self, name, folder, steps, allowed_seconds, environment=None, desktop=DESKTOP):
        """Runs the steps; returns the driver's log lines that tell a failure
        (empty when every step passed). Wine takes some variables, such as
        WINEDLLOVERRIDES, only from the environment of the wine command that
        starts the driver, not from the one the driver hands on: those go
        in environment."""
        script = os.path.join(folder, name + ".steps")
        log = os.path.join(folder, name + ".log")
        with open(script, "w", newline="\r\n") as f:
            f.write("\n".join(steps) + "\n")
        if os.path.exists(log):
            os.remove(log)
        prefix = os.path.join(self.screenshots, name)
        try:
            self.run_wine(["explorer", "/desktop=" + desktop, wine_path(self.driver),
                           wine_path(script), wine_path(log), wine_path(prefix)],
                          allowed_seconds + RUN_SLACK_SECONDS, environment)
        except subprocess.TimeoutExpired:
            self._end_processes(self._log_lines(log))
            return ["the driver did not finish within %d s" % (allowed_seconds + RUN_SLACK_SECONDS)
                    ] + self._log_lines(log)[-5:]
        lines = self._log_lines(log)
        if lines and lines[-1] == "PASS":
            return []
        problems = [l for l in lines if not l.startswith(("ok ", "process ", "layout ", "client ",
                                                          "window "))]
        return problems or ["the driver wrote no result (log %s)" % log]

    def _end_processes(self, lines):
        """Ends the driver and its program by the ids it logged, so that a
        hung case leaves nothing on the desktop for the next one."""
        for line in lines:
            if line.startswith("process "):
                try:
                    self.run_wine(["taskkill", "/f", "/pid", line.split()[1]], 30)
                except subprocess.TimeoutExpired:
                    pass

    @staticmethod
    def _log_lines(log):
        try:
            with open(log, encoding="latin-1") as f:
                return f.read().splitlines()
        except OSError:
            return []
