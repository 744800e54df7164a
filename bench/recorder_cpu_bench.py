#!/usr/bin/env python3
"""CPU cost of recording the demo game: Halvex against a plain x11grab + libx264 recording.

Both run for the same time on the same (virtual) display showing the same demo game, at the same
size, frame rate, bit rate and x264 preset. Prints the CPU seconds of each, their ratio and the
number of pictures Halvex dropped for backlog.

Usage: bench/recorder_cpu_bench.py [--build build/linux] [--seconds 60] [--size 1280x720]
       [--fps 60] [--kbps 20000]
Without a display or sound server it runs itself inside scripts/virtual-desktop.
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

import harness  # noqa: E402
from runner import desktop_ready  # noqa: E402

CLOCK_TICKS = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    """User + system time of a process and its waited-for children."""
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    # Fields after the command: utime is 14th, stime 15th, cutime 16th, cstime 17th (1-based).
    utime, stime, cutime, cstime = (int(v) for v in fields[11:15])
    return (utime + stime + cutime + cstime) / CLOCK_TICKS


def measure(proc, seconds):
    start = cpu_seconds(proc.pid)
    time.sleep(seconds)
    return cpu_seconds(proc.pid) - start


def run_halvex(game, args):
    width, height = args.size.split("x")
    settings = {"VideoQuality": {"Width": width, "Height": height, "FPS": str(args.fps),
                                 "BitrateKbps": str(args.kbps), "Codec": "H264"}}
    halvex = harness.Halvex(settings=settings)
    try:
        halvex.start()
        game.activate()
        if not halvex.wait_line("[CLIPS] Clips On:", 30):
            raise RuntimeError("Halvex no empezo a grabar:\n" + halvex.output())
        time.sleep(3)  # let the encoder settle
        used = measure(halvex.proc, args.seconds)
        halvex.stop()
        log = halvex.output()
        dropped = re.search(r"Frames de video descartados por backlog: (\d+)", log)
        encoded = re.search(r"Frames de video codificados: (\d+)", log)
        encoder = re.search(r"^\[VIDEO\] Codificador de video: .*$", log, re.M)
        return used, (int(dropped.group(1)) if dropped else None), \
            (int(encoded.group(1)) if encoded else None), (encoder.group(0) if encoder else "")
    finally:
        halvex.cleanup()


def run_x11grab(game, args):
    x, y, width, height = game.geometry()
    out = tempfile.NamedTemporaryFile(suffix=".mkv", delete=False)
    out.close()
    cmd = ["ffmpeg", "-v", "error", "-nostdin", "-y", "-f", "x11grab", "-framerate", str(args.fps),
           "-video_size", "%dx%d" % (width, height), "-i", "%s+%d,%d" % (os.environ["DISPLAY"], x, y),
           "-s", args.size, "-sws_flags", "bicubic", "-c:v", "libx264", "-preset", "veryfast",
           "-tune", "zerolatency", "-b:v", "%dk" % args.kbps, "-maxrate", "%dk" % args.kbps,
           "-bufsize", "%dk" % (4 * args.kbps), "-g", str(2 * args.fps), "-bf", "0",
           "-pix_fmt", "yuv420p", out.name]
    proc = subprocess.Popen(cmd, stdin=subprocess.DEVNULL)
    try:
        time.sleep(3)
        if proc.poll() is not None:
            raise RuntimeError("ffmpeg termino antes de tiempo")
        return measure(proc, args.seconds)
    finally:
        harness.stop_process(proc)
        os.unlink(out.name)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=os.path.join(ROOT, "build", "linux"))
    parser.add_argument("--seconds", type=float, default=60)
    parser.add_argument("--size", default="1280x720")
    parser.add_argument("--fps", type=int, default=60)
    parser.add_argument("--kbps", type=int, default=20000)
    args = parser.parse_args()
    os.environ["HALVEX_BUILD_DIR"] = os.path.abspath(args.build)
    if not desktop_ready() and not os.environ.get("HALVEX_E2E_INSIDE"):
        os.environ["HALVEX_E2E_INSIDE"] = "1"
        cmd = [os.path.join(ROOT, "scripts", "virtual-desktop"), "--", sys.executable, *sys.argv]
        return subprocess.run(cmd, stdin=subprocess.DEVNULL).returncode

    width, height = (int(v) for v in args.size.split("x"))
    game = harness.Game(width=width, height=height, sound=False)
    try:
        game.activate()
        halvex_cpu, dropped, encoded, encoder = run_halvex(game, args)
        game.activate()
        grab_cpu = run_x11grab(game, args)
    finally:
        game.cleanup()
    print("Grabacion de %s a %d fps, %d kbps, %.0f s" % (args.size, args.fps, args.kbps, args.seconds))
    print("  Halvex:        %.1f s de CPU (%.0f%% de un nucleo) %s" %
          (halvex_cpu, 100 * halvex_cpu / args.seconds, encoder))
    print("  x11grab+x264:  %.1f s de CPU (%.0f%% de un nucleo)" %
          (grab_cpu, 100 * grab_cpu / args.seconds))
    print("  relacion Halvex / x11grab: %.2f" % (halvex_cpu / grab_cpu if grab_cpu else float("nan")))
    print("  imagenes codificadas: %s, descartadas por backlog: %s" % (encoded, dropped))
    return 0


if __name__ == "__main__":
    sys.exit(main())
