"""What a player meets on an ordinary machine: programs whose sound ends, a sound server that
restarts, and a save press shorter than a pass of Halvex's loop. Halvex keeps running and every
press saves."""
import os
import signal
import subprocess
import tempfile
import shutil
import time
import unittest

import harness
import media
import sound_server

DURATION = 10     # DurationSeconds in the harness's settings file
RATE = 48000
TONE_HZ = 660
PRESENT = 0.01    # amplitude of a tone that is clearly there (the tone plays at 0.25)


def tone_amplitude(samples, hz=TONE_HZ):
    import math
    re = im = 0.0
    w = 2 * math.pi * hz / RATE
    for i, x in enumerate(samples):
        re += x * math.cos(w * i)
        im -= x * math.sin(w * i)
    return 2 * math.hypot(re, im) / max(1, len(samples))


def clip_hotkeys(output):
    return output.count("[CLIP-HOTKEY] HOTKEY DETECTADA")


class PlayerFaultsTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="halvex-faults-")
        self.addCleanup(shutil.rmtree, self.tmp, True)

    def start(self, game_sound=True, env=None):
        game = harness.Game(sound=game_sound)
        self.addCleanup(game.cleanup)
        game.activate()
        halvex = harness.Halvex()
        self.addCleanup(halvex.cleanup)
        halvex.env.update(env or {})
        halvex.start()
        self.assertTrue(halvex.wait_line("[CLIPS] Clips On: Space: Odyssey", 60), halvex.output())
        return game, halvex

    def test_programs_whose_sound_ends_leave_halvex_recording(self):
        game, halvex = self.start(game_sound=True)
        time.sleep(3)
        # A second program plays a short sound and exits while its sound is being captured.
        short = sound_server.write_tone(os.path.join(self.tmp, "short.wav"), TONE_HZ, 4)
        player = subprocess.Popen(["paplay", short], stdin=subprocess.DEVNULL,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(harness.stop_process, player)
        self.assertTrue(halvex.wait_line("(PID %d, capturando)" % player.pid, 15), halvex.output())
        self.assertEqual(player.wait(30), 0)
        time.sleep(3)
        self.assertIsNone(halvex.proc.poll(), halvex.output())
        game.activate()
        clip = halvex.save_clip("mp4")
        self.assertIsNotNone(clip, halvex.output())
        self.assertTrue(media.audio_streams(media.probe(clip)), media.describe(clip))

        # The game, which plays sound, closes: the session ends and Halvex goes on.
        self.assertEqual(game.close(), 0)
        self.assertTrue(halvex.wait_line("[CLIPS] Juego/aplicacion cerrada: halvex-demo-game", 30),
                        halvex.output())
        time.sleep(2)
        self.assertIsNone(halvex.proc.poll(), halvex.output())
        self.assertEqual(halvex.stop(), 0, halvex.output())

    def test_a_press_while_the_loop_is_held_up_still_saves_once(self):
        game, halvex = self.start(game_sound=False)
        time.sleep(5)
        game.activate()
        before = set(halvex.clips())
        # The whole loop is held up while a 30 ms press comes and goes.
        os.kill(halvex.proc.pid, signal.SIGSTOP)
        try:
            harness.xdotool("keydown", "F8")
            time.sleep(0.03)
            harness.xdotool("keyup", "F8")
        finally:
            os.kill(halvex.proc.pid, signal.SIGCONT)
        found = harness.wait_until(lambda: sorted(set(halvex.clips()) - before), 60, 0.25)
        self.assertTrue(found, halvex.output())
        time.sleep(2)
        self.assertEqual(clip_hotkeys(halvex.output()), 1, halvex.output())
        self.assertEqual(len(set(halvex.clips()) - before), 1)

    def test_sound_server_restart_mid_session_then_clips_have_sound_again(self):
        server = sound_server.SoundServer()
        self.addCleanup(server.stop)
        try:
            server.start()
        except (RuntimeError, FileNotFoundError) as e:
            self.skipTest("no se pudo arrancar un servidor de sonido propio: %s" % e)
        game, halvex = self.start(game_sound=False, env={"PULSE_SERVER": server.address})
        self.assertTrue(halvex.wait_line("PulseAudio: captura de audio de salida iniciada.", 10),
                        halvex.output())
        tone = sound_server.write_tone(os.path.join(self.tmp, "tone.wav"), TONE_HZ, 120)
        first = server.play(tone)
        self.addCleanup(harness.stop_process, first)
        time.sleep(3)

        server.kill()
        self.assertTrue(halvex.wait_line("[AUDIO] AVISO: la captura de audio de salida se "
                                         "interrumpio", 15), halvex.output())
        # Longer than a clip: nothing from before the loss is left to make its main track.
        time.sleep(DURATION + 3)
        game.activate()
        clip = halvex.save_clip("mp4", timeout=30)
        self.assertIsNotNone(clip, halvex.output())
        self.assertIn("[F8] AVISO: el audio de salida no llega", halvex.output())
        self.assertNotIn("El audio principal aun no tiene paquetes", halvex.output())

        server.start()
        self.assertTrue(halvex.wait_line("[AUDIO] La captura de audio de salida volvio tras", 20),
                        halvex.output() + server.log())
        self.assertTrue(halvex.wait_line("[AUDIO] La captura de microfono volvio tras", 20),
                        halvex.output())
        second = server.play(tone)
        self.addCleanup(harness.stop_process, second)
        time.sleep(6)
        game.activate()
        clip = halvex.save_clip("mp4")
        self.assertIsNotNone(clip, halvex.output())
        streams = media.audio_streams(media.probe(clip))
        self.assertTrue(streams, media.describe(clip))
        samples = media.audio_samples(clip, 0, RATE)
        tail = samples[-3 * RATE: -RATE]
        self.assertGreater(tone_amplitude(tail), PRESENT, media.describe(clip))
        self.assertIsNone(halvex.proc.poll(), halvex.output())


if __name__ == "__main__":
    unittest.main()
