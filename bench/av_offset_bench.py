#!/usr/bin/env python3
"""Audio/video alignment of saved clips of the demo game.

The demo game shows a white picture and starts a loud beep at the same instant once a second. For
each clip this finds every white picture and the beep onset nearest to it in the main audio track,
and prints the offset (audio minus video, ms): per clip the median, over all clips the median and
the worst. Positive means the sound comes late.

Usage: bench/av_offset_bench.py [--build build/linux] [--clips 10] [--game-size 1280x720]
Without a display or sound server it runs itself inside scripts/virtual-desktop.
"""
import argparse
import os
import statistics
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

import harness  # noqa: E402
import media  # noqa: E402
from runner import desktop_ready  # noqa: E402

RATE = 48000


def frame_times(path):
    """Presentation times (s) of the decoded pictures."""
    out = subprocess.run(
        ["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries", "frame=pts_time",
         "-of", "json", str(path)],
        check=True, stdout=subprocess.PIPE, stdin=subprocess.DEVNULL).stdout
    import json
    return [float(f["pts_time"]) for f in json.loads(out).get("frames", []) if "pts_time" in f]


def white_times(path):
    """Presentation times of the pictures that are almost entirely white."""
    times = frame_times(path)
    found = []
    for t, frame in zip(sorted(times), media.gray_frames(path, 32, 18)):
        if sum(frame) / len(frame) > 200:
            found.append(t)
    # A flash lasts one picture; keep the first of any run of white pictures.
    return [t for i, t in enumerate(found) if i == 0 or t - found[i - 1] > 0.5]


def beep_onsets(path, track=0):
    """File times at which a track's level jumps from the steady tone to the beep (1 ms steps).
    The track is laid on its packets' time stamps, so a gap the recorder kept stays a gap."""
    samples = media.audio_samples(path, track, RATE, on_timeline=True)
    step = RATE // 1000
    levels = [media.rms(samples[i:i + step]) for i in range(0, len(samples) - step, step)]
    if not levels:
        return []
    quiet = sorted(levels)[len(levels) // 2]
    loud = max(levels)
    threshold = (quiet + loud) / 2
    onsets, last = [], -10**9
    for i, level in enumerate(levels):
        if level > threshold and i - last > 500:
            onsets.append(i / 1000.0)
            last = i
        elif level > threshold:
            last = i
    return onsets


def clip_offsets(path, track=0):
    if not media.audio_streams(media.probe(path)):
        return []
    beeps = beep_onsets(path, track)
    offsets = []
    for flash in white_times(path):
        nearest = min(beeps, key=lambda b: abs(b - flash), default=None)
        if nearest is not None and abs(nearest - flash) < 0.3:
            offsets.append((nearest - flash) * 1000.0)
    return offsets


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=os.path.join(ROOT, "build", "linux"))
    parser.add_argument("--clips", type=int, default=10)
    parser.add_argument("--game-size", default="1280x720",
                        help="window size of the demo game (the clip is the screen's size)")
    args = parser.parse_args()
    os.environ["HALVEX_BUILD_DIR"] = os.path.abspath(args.build)
    if not desktop_ready() and not os.environ.get("HALVEX_E2E_INSIDE"):
        os.environ["HALVEX_E2E_INSIDE"] = "1"
        cmd = [os.path.join(ROOT, "scripts", "virtual-desktop"), "--", sys.executable, *sys.argv]
        return subprocess.run(cmd, stdin=subprocess.DEVNULL).returncode

    width, height = (int(v) for v in args.game_size.split("x"))
    game = harness.Game(width=width, height=height, sound=True)
    halvex = harness.Halvex()
    per_clip = []
    try:
        halvex.start()
        game.activate()
        if not halvex.wait_line("[CLIPS] Clips On:", 30):
            raise RuntimeError("Halvex no empezo a grabar:\n" + halvex.output())
        time.sleep(11)  # a full clip's worth of history
        for n in range(args.clips):
            path = halvex.save_clip()
            if not path:
                print("  clip %d: no se guardo" % (n + 1))
                continue
            offsets = clip_offsets(path)
            if offsets:
                per_clip.append(offsets)
                print("  clip %d: %d destellos, desfase mediano %+.1f ms (%+.1f .. %+.1f)" %
                      (n + 1, len(offsets), statistics.median(offsets), min(offsets), max(offsets)))
            else:
                print("  clip %d: sin destellos o sin pitidos medibles" % (n + 1))
            time.sleep(2)
    finally:
        halvex.cleanup()
        game.cleanup()
    everything = [o for offsets in per_clip for o in offsets]
    if not everything:
        print("Sin medidas")
        return 1
    medians = [statistics.median(o) for o in per_clip]
    print("Desfase audio-video en %d clips: mediana %+.1f ms, peor %+.1f ms (una imagen a 60 fps = "
          "16.7 ms)" % (len(per_clip), statistics.median(medians), max(everything, key=abs)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
