"""The demo game itself: what the recorder tests rely on, checked with ffmpeg's own capture."""
import os
import struct
import subprocess
import tempfile
import time
import unittest

import harness
import media
import pattern


def sink_inputs_of(pid):
    out = subprocess.run(["pactl", "list", "sink-inputs"], stdout=subprocess.PIPE,
                         stdin=subprocess.DEVNULL).stdout.decode()
    return out.count('application.process.id = "%d"' % pid)


class DemoGameTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="halvex-demo-test-")

    def tearDown(self):
        subprocess.run(["rm", "-rf", self.tmp])

    def test_window_names_and_pid(self):
        game = harness.Game(sound=False)
        try:
            props = subprocess.run(["xprop", "-id", game.window, "WM_NAME", "_NET_WM_NAME",
                                    "WM_CLASS", "_NET_WM_PID"], stdout=subprocess.PIPE,
                                   check=True).stdout.decode()
            self.assertIn('WM_NAME(STRING) = "Space: Odyssey"', props)
            self.assertIn('_NET_WM_NAME(UTF8_STRING) = "Space: Odyssey"', props)
            self.assertIn('"halvex-demo-game"', props)
            self.assertIn("_NET_WM_PID(CARDINAL) = %d" % game.proc.pid, props)
            self.assertEqual(game.geometry()[2:], (1280, 720))
            self.assertEqual(sink_inputs_of(game.proc.pid), 0, "--no-sound plays nothing")
        finally:
            self.assertEqual(game.close(), 0)
            game.cleanup()

    def test_recorded_pattern_counts_up_and_flashes_on_every_60th_frame(self):
        game = harness.Game(width=960, height=540, sound=False)
        try:
            game.activate()
            x, y, w, h = game.geometry()
            clip = os.path.join(self.tmp, "grab.mp4")
            subprocess.run(["ffmpeg", "-v", "error", "-nostdin", "-y", "-f", "x11grab",
                            "-framerate", "30", "-video_size", "%dx%d" % (w, h),
                            "-i", "%s+%d,%d" % (os.environ["DISPLAY"], x, y), "-t", "3",
                            "-c:v", "libx264", "-preset", "ultrafast", "-crf", "35", clip],
                           check=True, timeout=60)
        finally:
            game.cleanup()
        readings = pattern.read_clip(clip, 960, 540)
        numbers = pattern.numbers(readings)
        self.assertGreater(len(numbers), 0.8 * len(readings), [r.kind for r in readings])
        self.assertEqual(numbers, sorted(numbers), "frame numbers rise")
        # Sampled at 30 fps the 60 fps counter moves by about two per picture.
        span = numbers[-1] - numbers[0]
        self.assertTrue(120 <= span <= 240, span)
        self.assertFalse(any(n % 60 == 0 for n in numbers), "frame 60k is all white")
        # The white picture is there at 30 fps only when the grab hits it; a black one never is.
        self.assertNotIn("black", [r.kind for r in readings])

    def test_tone_and_beep_once_a_second(self):
        raw = os.path.join(self.tmp, "sound.f32")
        game = harness.Game(sound=True)
        try:
            self.assertTrue(harness.wait_until(lambda: sink_inputs_of(game.proc.pid) == 1, 10),
                            game.output())
            # The default sink's monitor carries what the game plays. Named, not as
            # @DEFAULT_MONITOR@, which a PipeWire server resolves to a silent source.
            sink = subprocess.run(["pactl", "get-default-sink"], stdout=subprocess.PIPE,
                                  stdin=subprocess.DEVNULL, text=True, check=True).stdout.strip()
            rec = subprocess.Popen(["parec", "--raw", "--format=float32le", "--rate=48000",
                                    "--channels=2", "--latency-msec=20", "-d",
                                    sink + ".monitor"],
                                   stdout=open(raw, "wb"), stdin=subprocess.DEVNULL)
            time.sleep(5)
            harness.stop_process(rec)
        finally:
            game.cleanup()
        with open(raw, "rb") as f:
            data = f.read()
        # The left channel: servers differ in how they fold stereo into one channel.
        samples = struct.unpack("<%df" % (len(data) // 4), data)[0::2][48000 // 4:]
        self.assertGreater(len(samples), 2 * 48000)
        self.assertEqual(media.dominant_frequency(samples[:48000], 48000, 400, 480, 5), 440)
        # Loudness in 10 ms steps: the beep is several times the steady tone.
        levels = [media.rms(samples[i:i + 480]) for i in range(0, len(samples) - 480, 480)]
        quiet = sorted(levels)[len(levels) // 2]
        self.assertAlmostEqual(quiet, 0.2 / 2 ** 0.5, delta=0.05)
        loud = [i for i, v in enumerate(levels) if v > 2.5 * quiet]
        starts = [i for i in loud if i - 1 not in loud]
        self.assertGreaterEqual(len(starts), 2, levels)
        gaps = [b - a for a, b in zip(starts, starts[1:])]
        # Once a second. On a loaded machine the recorder can lose a stretch of the monitor
        # stream, so a gap of whole seconds is tolerated, but beeps must keep the one-second grid
        # and most gaps must be exactly one second.
        self.assertTrue(all(abs(g - 100 * round(g / 100)) <= 5 and g >= 95 for g in gaps), gaps)
        self.assertGreater(sum(1 for g in gaps if 95 <= g <= 105), len(gaps) / 2, gaps)
        lengths = [sum(1 for i in loud if s <= i < s + 20) for s in starts if s + 20 < len(levels)]
        self.assertTrue(all(8 <= n <= 12 for n in lengths), lengths)  # about 100 ms

    def test_ends_cleanly_on_signal_and_on_window_close(self):
        game = harness.Game(sound=True)
        self.assertEqual(game.close(), 0)
        self.assertIn("demo: fin", game.output())
        game.cleanup()

        game = harness.Game(sound=False)
        try:
            game.activate()
            harness.xdotool("key", "alt+F4")  # the window manager sends WM_DELETE_WINDOW
            game.proc.wait(15)
            self.assertEqual(game.proc.returncode, 0)
            self.assertIn("demo: fin", game.output())
        finally:
            game.cleanup()


if __name__ == "__main__":
    unittest.main()
