"""Runs the demo game and Halvex on the (virtual) desktop for the end-to-end tests."""
import glob
import os
import shutil
import signal
import subprocess
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
GAME_TITLE = "Space: Odyssey"
GAME_FOLDER = "Space- Odyssey"   # the title with ':' made safe for a folder name
GAME_PROGRAM = "halvex-demo-game"


def build_dir():
    return os.environ.get("HALVEX_BUILD_DIR", os.path.join(ROOT, "build", "linux"))


def find_program(name):
    """The built program of that name under the build folder, or None."""
    direct = {"Halvex": "src/app/Halvex", GAME_PROGRAM: "tools/demo_game/" + GAME_PROGRAM}
    path = os.path.join(build_dir(), direct.get(name, name))
    if os.access(path, os.X_OK):
        return path
    for found in glob.glob(os.path.join(build_dir(), "**", name), recursive=True):
        if os.path.isfile(found) and os.access(found, os.X_OK):
            return found
    return None


def wait_until(check, timeout, interval=0.1):
    """Calls check() until it returns something true or the time is up; returns its last value."""
    end = time.monotonic() + timeout
    while True:
        value = check()
        if value or time.monotonic() >= end:
            return value
        time.sleep(interval)


def xdotool(*args, check=True):
    return subprocess.run(["xdotool", *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          stdin=subprocess.DEVNULL, check=check, timeout=30).stdout.decode()


def press_key(key):
    """Holds the key as long as a person would: Halvex samples the keyboard once per loop pass, so
    a press and release within a few milliseconds could fall between two samples."""
    xdotool("keydown", key)
    time.sleep(0.15)
    xdotool("keyup", key)


def stop_process(proc, timeout=10):
    """SIGTERM, then SIGKILL; returns the exit code."""
    if proc.poll() is None:
        proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(timeout)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
    return proc.returncode


class Game:
    """The demo game: one process, one window."""

    def __init__(self, width=1280, height=720, sound=True, extra=()):
        self.width, self.height = width, height
        program = find_program(GAME_PROGRAM)
        if not program:
            raise RuntimeError("falta " + GAME_PROGRAM + " en " + build_dir())
        args = [program, "--size", "%dx%d" % (width, height)]
        if not sound:
            args.append("--no-sound")
        self.log = tempfile.NamedTemporaryFile(prefix="demo-game-", suffix=".log", delete=False)
        self.proc = subprocess.Popen(args + list(extra), stdout=self.log, stderr=subprocess.STDOUT,
                                     stdin=subprocess.DEVNULL)
        self.window = wait_until(self._find_window, 15)
        if not self.window:
            self.close()
            raise RuntimeError("la ventana del juego no aparecio")

    def _find_window(self):
        out = xdotool("search", "--all", "--pid", str(self.proc.pid), "--name", "^Space: Odyssey$",
                      check=False)
        ids = out.split()
        return ids[0] if ids else None

    def geometry(self):
        """(x, y, width, height) of the window's picture on the screen."""
        out = subprocess.run(["xwininfo", "-id", self.window], stdout=subprocess.PIPE,
                             stdin=subprocess.DEVNULL, check=True).stdout.decode()
        values = {}
        for line in out.splitlines():
            if ":" in line:
                key, _, value = line.strip().partition(":")
                values[key] = value.strip()
        return (int(values["Absolute upper-left X"]), int(values["Absolute upper-left Y"]),
                int(values["Width"]), int(values["Height"]))

    def activate(self):
        xdotool("windowactivate", "--sync", self.window, check=False)
        wait_until(lambda: xdotool("getactivewindow", check=False).strip() == self.window, 10)

    def minimize(self):
        xdotool("windowminimize", "--sync", self.window, check=False)

    def output(self):
        with open(self.log.name, errors="replace") as f:
            return f.read()

    def close(self):
        code = stop_process(self.proc)
        self.log.close()
        return code

    def cleanup(self):
        self.close()
        os.unlink(self.log.name)


class Halvex:
    """Halvex with its own settings file, save folder and runtime folder."""

    def __init__(self, settings=None, home=None):
        self.program = find_program("Halvex")
        if not self.program:
            raise RuntimeError("falta el programa Halvex en " + build_dir())
        self.home = home or tempfile.mkdtemp(prefix="halvex-e2e-")
        self.config = os.path.join(self.home, "config")
        self.runtime = os.path.join(self.home, "runtime")
        self.save_root = os.path.join(self.home, "clips")
        for d in (self.config, self.runtime, self.save_root):
            os.makedirs(d, exist_ok=True)
        os.chmod(self.runtime, 0o700)
        sections = {"ClipSettings": {"DurationSeconds": "10", "SaveRoot": self.save_root}}
        for section, keys in (settings or {}).items():
            sections.setdefault(section, {}).update(keys)
        with open(os.path.join(self.config, "Halvex.ini"), "w", encoding="utf-8") as f:
            for section, keys in sections.items():
                f.write("[%s]\n" % section)
                for k, v in keys.items():
                    f.write("%s=%s\n" % (k, v))
        self.env = dict(os.environ, XDG_CONFIG_HOME=self.config, XDG_RUNTIME_DIR=self.runtime)
        self.log_path = os.path.join(self.home, "halvex.log")
        self.proc = None

    def start(self):
        self._log = open(self.log_path, "wb")
        self.proc = subprocess.Popen([self.program], env=self.env, stdout=self._log,
                                     stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        return self

    def run_second(self, timeout=30):
        """Starts another Halvex on the same settings; (exit code, output, seconds)."""
        start = time.monotonic()
        proc = subprocess.run([self.program], env=self.env, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL, timeout=timeout)
        return proc.returncode, proc.stdout.decode("utf-8", "replace"), time.monotonic() - start

    def output(self):
        with open(self.log_path, "rb") as f:
            return f.read().decode("utf-8", "replace")

    def wait_line(self, fragment, timeout=30):
        """True once a line containing fragment was printed."""
        return bool(wait_until(lambda: fragment in self.output() or self.proc.poll() is not None,
                               timeout)) and fragment in self.output()

    def clips(self, extension="mp4"):
        pattern = os.path.join(self.save_root, GAME_FOLDER, "clip_*." + extension)
        return sorted(p for p in glob.glob(pattern) if not p.endswith(".part"))

    def save_clip(self, extension="mp4", timeout=60):
        """Presses F8 and waits for a new finished clip; its path or None."""
        before = set(self.clips(extension))
        press_key("F8")
        found = wait_until(lambda: sorted(set(self.clips(extension)) - before), timeout, 0.25)
        return found[0] if found else None

    def stop(self):
        code = stop_process(self.proc, timeout=20) if self.proc else None
        if self.proc:
            self._log.close()
        return code

    def cleanup(self):
        self.stop()
        shutil.rmtree(self.home, ignore_errors=True)
