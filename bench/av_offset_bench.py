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
import pattern  # noqa: E402
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


def white_times(path, game_size):
    """(time, lateness) of each flash: its picture's presentation time, and how much later than
    the promptest picture of the clip it shows what the game drew (s)."""
    times = sorted(frame_times(path))
    readings = pattern.read_clip(path, *game_size)
    # pts - frame number / 60 is the same for every picture read the instant it was drawn.
    drawn = [t - r.number / pattern.FRAMES_PER_SECOND for t, r in zip(times, readings)
             if r.kind == "code"]
    prompt = min(drawn) if drawn else None
    found = []
    for i, (t, r) in enumerate(zip(times, readings)):
        if r.kind != "white" or (found and t - found[-1][0] < 0.5):
            continue  # a flash lasts one picture; keep the first of any run of white ones
        lateness = None
        before = [x.number for x in readings[max(0, i - 5):i] if x.kind == "code"]
        if before and prompt is not None:
            # The flash is the first frame number divisible by 60 after the last one shown.
            n = (before[-1] // pattern.FRAMES_PER_SECOND + 1) * pattern.FRAMES_PER_SECOND
            lateness = t - n / pattern.FRAMES_PER_SECOND - prompt
        found.append((t, lateness))
    return found


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


def clip_offsets(path, game_size, track=0):
    """(offset, picture lateness or None) per flash, in ms."""
    if not media.audio_streams(media.probe(path)):
        return []
    beeps = beep_onsets(path, track)
    offsets = []
    for flash, lateness in white_times(path, game_size):
        nearest = min(beeps, key=lambda b: abs(b - flash), default=None)
        if nearest is not None and abs(nearest - flash) < 0.3:
            offsets.append(((nearest - flash) * 1000.0,
                            None if lateness is None else lateness * 1000.0))
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
            flashes = clip_offsets(path, (width, height))
            if flashes:
                per_clip.append(flashes)
                offsets = [o for o, _ in flashes]
                late = [l for _, l in flashes if l is not None]
                sound = [o + l for o, l in flashes if l is not None]
                line = "  clip %d: %d destellos, desfase mediano %+.1f ms (%+.1f .. %+.1f)" % (
                    n + 1, len(offsets), statistics.median(offsets), min(offsets), max(offsets))
                if late:
                    line += ("; imagen tardia %.1f ms (hasta %.1f); sonido frente a la hora del "
                             "destello %+.1f ms (%+.1f .. %+.1f)" %
                             (statistics.median(late), max(late), statistics.median(sound),
                              min(sound), max(sound)))
                print(line)
            else:
                print("  clip %d: sin destellos o sin pitidos medibles" % (n + 1))
            time.sleep(2)
    finally:
        halvex.cleanup()
        game.cleanup()
    everything = [o for flashes in per_clip for o, _ in flashes]
    if not everything:
        print("Sin medidas")
        return 1
    medians = [statistics.median([o for o, _ in flashes]) for flashes in per_clip]
    sound = [o + l for flashes in per_clip for o, l in flashes if l is not None]
    print("Desfase audio-video en %d clips: mediana %+.1f ms, peor destello %+.1f ms, peor clip "
          "%+.1f ms (una imagen a 60 fps = 16.7 ms)" %
          (len(per_clip), statistics.median(medians), max(everything, key=abs),
           max(medians, key=abs)))
    if sound:
        print("Sonido frente a la hora del destello: mediana %+.1f ms, peor %+.1f ms" %
              (statistics.median(sound), max(sound, key=abs)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
