"""Audio tracks of a clip, told apart by their tones: the game plays 440 Hz, another program
880 Hz and the virtual microphone carries 1000 Hz."""
import math
import os
import shutil
import subprocess
import tempfile
import time
import unittest

import harness
import media

GAME_HZ, OTHER_HZ, MIC_HZ = 440, 880, 1000
OTHER_PROGRAM = "tono880"  # a copy of pacat, so the exclusion list can name it alone
MIC_SINK = "halvex_mic"     # the virtual desktop's default source carries what plays here
RATE = 48000
PRESENT = 0.01              # amplitude of a tone that is clearly there (players use 0.25)
ABSENT_RATIO = 0.05         # a tone below this share of the strongest one is not there


def tone_file(directory, hz, seconds=90):
    path = os.path.join(directory, "tone%d.raw" % hz)
    import array
    samples = array.array("f", (0.25 * math.sin(2 * math.pi * hz * i / RATE)
                                for i in range(RATE * seconds)))
    with open(path, "wb") as f:
        samples.tofile(f)
    return path


def play(program, path, sink=None):
    args = [program, "--playback", "--raw", "--format=float32le", "--rate=%d" % RATE,
            "--channels=1"]
    if sink:
        args.append("--device=" + sink)
    return subprocess.Popen(args + [path], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)


def amplitudes(samples, freqs=(GAME_HZ, OTHER_HZ, MIC_HZ)):
    """Amplitude of each frequency over the samples (single-bin DFT)."""
    n = len(samples)
    out = {}
    for f in freqs:
        re = im = 0.0
        w = 2 * math.pi * f / RATE
        for i, x in enumerate(samples):
            re += x * math.cos(w * i)
            im -= x * math.sin(w * i)
        out[f] = 2 * math.hypot(re, im) / n
    return out


def track_tones(clip, index):
    """Amplitudes at the three test frequencies in two seconds from the clip's middle."""
    samples = media.audio_samples(clip, index, RATE)
    middle = len(samples) // 2
    return amplitudes(samples[middle - RATE: middle + RATE])


class AudioRun:
    """The demo game in front, the 880 Hz program and the microphone tone playing, and Halvex."""

    def __init__(self, test, settings=None, microphone=True):
        pacat = shutil.which("pacat")
        if not pacat:
            test.skipTest("falta pacat")
        self.dir = tempfile.mkdtemp(prefix="halvex-tones-")
        test.addCleanup(shutil.rmtree, self.dir, True)
        other = os.path.join(self.dir, OTHER_PROGRAM)
        shutil.copy(pacat, other)
        self.players = [play(other, tone_file(self.dir, OTHER_HZ))]
        if microphone:
            self.players.append(play(pacat, tone_file(self.dir, MIC_HZ), MIC_SINK))
        for p in self.players:
            test.addCleanup(harness.stop_process, p)
        self.game = harness.Game()
        test.addCleanup(self.game.cleanup)
        self.game.activate()
        self.halvex = harness.Halvex(settings)
        test.addCleanup(self.halvex.cleanup)
        self.halvex.start()
        test.assertTrue(self.halvex.wait_line("[CLIPS] Clips On: Space: Odyssey", 60),
                        self.halvex.output())

    def clip(self, test):
        time.sleep(8)
        self.game.activate()
        clip = self.halvex.save_clip("mp4")
        test.assertIsNotNone(clip, self.halvex.output())
        return clip


class AudioTracksTest(unittest.TestCase):
    def assertTones(self, tones, present, absent, what):
        strongest = max(tones.values())
        for f in present:
            self.assertGreater(tones[f], PRESENT, "%s: %d Hz missing in %s" % (what, f, tones))
        for f in absent:
            self.assertLess(tones[f], ABSENT_RATIO * strongest,
                            "%s: %d Hz should not be there: %s" % (what, f, tones))

    def titles(self, clip):
        # MP4 keeps a track's name in its handler box.
        return [s.get("tags", {}).get("title") or s.get("tags", {}).get("handler_name")
                for s in media.audio_streams(media.probe(clip))]

    def test_editor_channels_give_three_tracks_by_their_tones(self):
        run = AudioRun(self)
        clip = run.clip(self)
        self.assertEqual(self.titles(clip), ["Mezcla principal", "Solo microfono", "Solo juego"],
                         media.describe(clip))
        self.assertTones(track_tones(clip, 0), [GAME_HZ, OTHER_HZ, MIC_HZ], [], "mezcla")
        self.assertTones(track_tones(clip, 1), [MIC_HZ], [GAME_HZ, OTHER_HZ], "microfono")
        self.assertTones(track_tones(clip, 2), [GAME_HZ], [OTHER_HZ, MIC_HZ], "juego")
        out = run.halvex.output()
        self.assertIn("audio juego: si, microfono: si, mezcla: si, canales editor: si", out)
        run.halvex.stop()
        out = run.halvex.output()
        for counter in ("juego", "microfono", "mezcla"):
            line = next(l for l in out.splitlines()
                        if l.startswith("Paquetes de audio (%s) codificados: " % counter))
            self.assertGreater(int(line.rsplit(" ", 1)[1]), 0, line)

    def test_without_editor_channels_one_track_with_everything(self):
        run = AudioRun(self, {"AudioQuality": {"EditorTracks": "0"}})
        clip = run.clip(self)
        self.assertEqual(self.titles(clip), ["Mezcla principal"], media.describe(clip))
        self.assertTones(track_tones(clip, 0), [GAME_HZ, OTHER_HZ, MIC_HZ], [], "mezcla")

    def test_program_excluded_from_audio_is_not_in_the_main_track(self):
        run = AudioRun(self, {"ExcludedPrograms": {"AudioCount": "1", "Audio0": OTHER_PROGRAM}})
        clip = run.clip(self)
        self.assertTones(track_tones(clip, 0), [GAME_HZ, MIC_HZ], [OTHER_HZ], "mezcla")

    def test_saved_microphone_gone_falls_back_to_the_default_input(self):
        run = AudioRun(self, {"Audio": {"CaptureMicDeviceId": "halvex_no_such_source"}})
        clip = run.clip(self)
        self.assertIn("AVISO: el dispositivo de micrófono guardado ya no está disponible; se usará "
                      "el predeterminado.", run.halvex.output())
        self.assertEqual(self.titles(clip), ["Mezcla principal", "Solo microfono", "Solo juego"],
                         media.describe(clip))
        self.assertTones(track_tones(clip, 1), [MIC_HZ], [GAME_HZ, OTHER_HZ], "microfono")

    def test_no_microphone_at_all_leaves_its_track_out(self):
        # With no input the sound server names an output's monitor as its default source: that
        # is the game's sound again, not a microphone.
        mic_module = pactl_module("module-remap-source")
        if mic_module is None:
            self.skipTest("solo con el microfono del escritorio virtual")
        default = subprocess.run(["pactl", "get-default-source"], stdout=subprocess.PIPE,
                                 text=True, check=True).stdout.strip()
        subprocess.run(["pactl", "unload-module", mic_module], check=True)
        self.addCleanup(restore_microphone, default)
        subprocess.run(["pactl", "set-default-source", "halvex_out.monitor"], check=True)
        run = AudioRun(self)
        clip = run.clip(self)
        out = run.halvex.output()
        self.assertIn("AVISO: no se pudo inicializar la captura del microfono (WASAPI) - esa "
                      "pista no va a estar en el clip.", out)
        self.assertIn("microfono: no", out)
        self.assertEqual(self.titles(clip), ["Mezcla principal", "Solo juego"],
                         media.describe(clip))
        # The main track is the programs alone: the game once, not twice through a monitor.
        self.assertTones(track_tones(clip, 0), [GAME_HZ, OTHER_HZ], [MIC_HZ], "mezcla")


def pactl_module(name):
    """Index of the first loaded module called `name`, or None."""
    listing = subprocess.run(["pactl", "list", "short", "modules"], stdout=subprocess.PIPE,
                             text=True, check=True).stdout
    for line in listing.splitlines():
        fields = line.split("\t")
        if len(fields) >= 2 and fields[1] == name:
            return fields[0]
    return None


def restore_microphone(default):
    subprocess.run(["pactl", "load-module", "module-remap-source",
                    "master=%s.monitor" % MIC_SINK, "source_name=%s" % default,
                    "source_properties=device.description=Microfono"], check=True,
                   stdout=subprocess.DEVNULL)
    subprocess.run(["pactl", "set-default-source", default], check=True)


if __name__ == "__main__":
    unittest.main()
