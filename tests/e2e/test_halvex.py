"""Halvex against the demo game on the desktop: clips saved with F8 and read back."""
import os
import time
import unittest

import harness
import media
import pattern

DURATION = 10            # DurationSeconds in the settings file (a length the reader accepts)
KEYFRAME_INTERVAL = 2.0  # seconds at the full frame rate; a clip starts on a keyframe


class Run:
    """Demo game in front, Halvex following it; both stopped and removed at the end."""

    def __init__(self, test, settings=None, sound=True):
        self.game = harness.Game(sound=sound)
        test.addCleanup(self.game.cleanup)
        self.game.activate()
        self.halvex = harness.Halvex(settings)
        test.addCleanup(self.halvex.cleanup)
        self.halvex.start()

    def wait_session(self, test):
        test.assertTrue(self.halvex.wait_line("[CLIPS] Clips On: Space: Odyssey", 60),
                        self.halvex.output())

    def fill_history(self, seconds=DURATION + 3):
        time.sleep(seconds)
        self.game.activate()


class ClipTest(unittest.TestCase):
    def check_pictures_count_up(self, clip):
        readings = pattern.read_clip(clip, 1280, 720)
        kinds = [r.kind for r in readings]
        numbers = pattern.numbers(readings)
        self.assertGreater(len(numbers), 0.9 * len(readings), kinds[:200])
        self.assertEqual(numbers, sorted(numbers), "the game's frame numbers rise through the clip")
        seconds = (numbers[-1] - numbers[0]) / pattern.FRAMES_PER_SECOND
        duration = float(media.probe(clip)["format"]["duration"])
        self.assertAlmostEqual(seconds, duration, delta=1.0)
        self.assertIn("white", kinds, "the white frame of each second is in the clip")
        return numbers

    def test_mp4_clip_of_the_game_in_its_folder(self):
        run = Run(self)
        run.wait_session(self)
        run.fill_history()
        clip = run.halvex.save_clip("mp4")
        self.assertIsNotNone(clip, run.halvex.output())
        self.assertEqual(os.path.dirname(clip), os.path.join(run.halvex.save_root, "Space- Odyssey"))
        self.assertRegex(os.path.basename(clip), r"^clip_\d{4}-\d\d-\d\d_\d\d-\d\d-\d\d\.mp4$")
        info = media.probe(clip)
        self.assertIn("mp4", info["format"]["format_name"])
        duration = float(info["format"]["duration"])
        self.assertGreaterEqual(duration, DURATION - 0.5)
        # The clip starts on a keyframe, so it may hold up to one keyframe interval more. The
        # interval is a count of pictures: on a loaded machine it spans more than its 2 s.
        keys = media.keyframe_times(clip)
        self.assertTrue(keys and keys[0] == 0.0, keys[:3])
        interval = max(KEYFRAME_INTERVAL, keys[1] - keys[0] if len(keys) > 1 else 0.0)
        self.assertLessEqual(duration, DURATION + interval + 0.5, keys[:3])
        video = media.video_stream(info)
        self.assertEqual(video["width"] * 9, video["height"] * 16, "the 16:9 game is not distorted")
        self.check_pictures_count_up(clip)
        self.assertFalse([p for p in os.listdir(os.path.dirname(clip)) if p.endswith(".part")])

    def test_mkv_container_setting(self):
        run = Run(self, {"VideoQuality": {"Format": "MKV"}}, sound=False)
        run.wait_session(self)
        run.fill_history(6)
        clip = run.halvex.save_clip("mkv")
        self.assertIsNotNone(clip, run.halvex.output())
        self.assertIn("matroska", media.probe(clip)["format"]["format_name"])
        self.assertEqual(run.halvex.clips("mp4"), [])
        self.check_pictures_count_up(clip)

    def test_minimised_game_gives_black_pictures(self):
        run = Run(self, sound=False)
        run.wait_session(self)
        time.sleep(4)
        run.game.minimize()
        time.sleep(5)
        clip = run.halvex.save_clip("mp4")
        self.assertIsNotNone(clip, run.halvex.output())
        readings = pattern.read_clip(clip, 1280, 720)
        kinds = [r.kind for r in readings]
        self.assertIn("code", kinds[: len(kinds) // 3], "before minimising the game is visible")
        # The last second was recorded well after minimising: only the privacy picture.
        tail = readings[-60:]
        self.assertEqual([r.kind for r in tail].count("black"), len(tail),
                         "frame numbers at the end: %s" % pattern.numbers(tail)[-10:])


class SessionTest(unittest.TestCase):
    def test_second_instance_hands_over_and_closing_the_game_ends_the_session(self):
        run = Run(self, sound=False)
        run.wait_session(self)
        code, output, seconds = run.halvex.run_second(timeout=30)
        self.assertEqual(code, 0, output)
        self.assertNotIn("Grabando en buffer circular", output, "the second one records nothing")
        self.assertLess(seconds, 5.0, "it ends at once instead of starting up")
        self.assertIsNone(run.halvex.proc.poll(), "the first one keeps running")

        self.assertEqual(run.game.close(), 0)
        closing = "[CLIPS] Juego/aplicacion cerrada: halvex-demo-game"
        self.assertTrue(run.halvex.wait_line(closing, 30), run.halvex.output())
        time.sleep(1)
        self.assertEqual(run.halvex.output().count(closing), 1)
        self.assertEqual(run.halvex.stop(), 0)

    def test_excluded_game_is_no_target(self):
        run = Run(self, {"ExcludedPrograms": {"VideoCount": "1", "Video0": "halvex-demo-game"}},
                  sound=False)
        self.assertTrue(run.halvex.wait_line("Grabando en buffer circular", 60),
                        run.halvex.output())
        time.sleep(5)
        run.game.activate()
        harness.press_key("F8")
        time.sleep(5)
        self.assertIsNone(run.halvex.proc.poll(), run.halvex.output())
        self.assertNotIn("[CLIPS] Clips On:", run.halvex.output())
        self.assertEqual(run.halvex.clips("mp4"), [])


if __name__ == "__main__":
    unittest.main()
