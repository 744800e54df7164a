"""The badge over the game and the tray item, seen from outside: a screenshot after F8 shows
"Clip Guardado" over the game's top-right corner while the clip saved during it does not, with
window capture and with the screen capture fallback; the tray item on a private session bus offers
its two entries and "Salir de Halvex" ends the program normally."""
import os
import subprocess
import time
import unittest

import harness
import media

SHOTS = os.path.join(harness.ROOT, "build", "screenshots", "e2e")
BADGE = (25, 125, 235)          # the "Clip Guardado" badge
OTHER_BADGES = ((255, 188, 42), (75, 54, 8))   # message and progress badges
BADGE_SIZE = (210, 42)
BADGE_INSET = 14                # from the game's right and top edges
TOLERANCE = 40                  # per channel, for what the encoder does to flat colours
WATCHER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "tray_watcher.py")
QUIT_ENTRY = 20481
QUIET = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def screenshot(name):
    """The whole X screen as build/screenshots/e2e/NAME.png; its path."""
    os.makedirs(SHOTS, exist_ok=True)
    path = os.path.join(SHOTS, name + ".png")
    subprocess.run(["ffmpeg", "-v", "error", "-nostdin", "-y", "-f", "x11grab", "-i",
                    os.environ["DISPLAY"], "-frames:v", "1", path], check=True, timeout=30)
    return path


def rgb_regions(path, region, last=None):
    """The pixels of region (x, y, w, h) in each picture of an image or clip, as rgb24 bytes;
    only the last `last` pictures when given."""
    x, y, w, h = region
    out = subprocess.run(["ffmpeg", "-v", "fatal", "-nostdin", "-i", path, "-map", "0:v:0",
                          "-fps_mode", "passthrough", "-vf", "crop=%d:%d:%d:%d" % (w, h, x, y),
                          "-pix_fmt", "rgb24", "-f", "rawvideo", "-"],
                         stdout=subprocess.PIPE, stdin=subprocess.DEVNULL, check=True).stdout
    size = w * h * 3
    pictures = [out[i:i + size] for i in range(0, len(out) - size + 1, size)]
    return pictures[-last:] if last else pictures


def share_near(pixels, colour):
    """The share of the pixels within TOLERANCE of colour on every channel."""
    count = sum(1 for i in range(0, len(pixels), 3)
                if all(abs(pixels[i + c] - colour[c]) <= TOLERANCE for c in range(3)))
    return count / (len(pixels) // 3)


def badge_region(game):
    """Where the badge goes on the screen: inset from the game window's frame, title bar included,
    as the window manager draws it."""
    x, y, w, _ = game.geometry()
    out = subprocess.run(["xprop", "-id", game.window, "_NET_FRAME_EXTENTS"], stdout=subprocess.PIPE,
                         stdin=subprocess.DEVNULL, check=True).stdout.decode()
    left, right, top, _ = [int(v) for v in out.partition("=")[2].split(",")] if "=" in out \
        else (0, 0, 0, 0)
    return (x + w + right - BADGE_SIZE[0] - BADGE_INSET, y - top + BADGE_INSET) + BADGE_SIZE


def clip_region(screen_region, game_box, video):
    """The part of a screen region over the game's client area, in the clip's pixels: a clip holds
    that area (cut out of the screen in screen capture), scaled to the clip's size."""
    x, y, w, h = screen_region
    gx, gy, gw, gh = game_box
    left, top = max(x, gx) - gx, max(y, gy) - gy
    right, bottom = min(x + w, gx + gw) - gx, min(y + h, gy + gh) - gy
    sx, sy = video["width"] / gw, video["height"] / gh
    return (int(left * sx), int(top * sy), int((right - left) * sx), int((bottom - top) * sy))


class PrivateDesktop:
    """An X server of our own without Composite, so Halvex has no window capture and falls back to
    capturing the screen; openbox gives it the active-window hints Halvex follows."""

    def __init__(self, test):
        readable, writable = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(writable), "-screen", "0", "1920x1080x24", "-nolisten",
             "tcp", "-extension", "Composite"], pass_fds=(writable,), **QUIET)
        os.close(writable)
        with os.fdopen(readable) as f:
            number = f.readline().strip()
        test.addCleanup(harness.stop_process, self.xvfb)
        test.assertTrue(number, "Xvfb no arranco")
        previous = os.environ.get("DISPLAY")
        os.environ["DISPLAY"] = ":" + number
        test.addCleanup(self._restore, previous)
        self.wm = subprocess.Popen(["openbox", "--sm-disable"], **QUIET)
        test.addCleanup(harness.stop_process, self.wm)
        test.assertTrue(harness.wait_until(self._wm_ready, 15), "openbox no arranco")

    @staticmethod
    def _wm_ready():
        out = subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL).stdout
        return b"window id" in out

    @staticmethod
    def _restore(previous):
        if previous is None:
            os.environ.pop("DISPLAY", None)
        else:
            os.environ["DISPLAY"] = previous


class BadgeTest(unittest.TestCase):
    def check_badge_on_screen_but_not_in_clip(self, shot_name, capture_line):
        game = harness.Game(sound=False)
        self.addCleanup(game.cleanup)
        game.activate()
        halvex = harness.Halvex()
        self.addCleanup(halvex.cleanup)
        halvex.start()
        self.assertTrue(halvex.wait_line("[CLIPS] Clips On: Space: Odyssey", 60), halvex.output())
        self.assertIn(capture_line, halvex.output())
        time.sleep(5)
        game.activate()
        self.assertIsNotNone(halvex.save_clip(), halvex.output())

        region = badge_region(game)
        shown = {}

        def badge_shown():
            shown["path"] = screenshot(shot_name)
            return share_near(rgb_regions(shown["path"], region)[0], BADGE) > 0.6

        self.assertTrue(harness.wait_until(badge_shown, 3, 0.05),
                        "no badge at %s in %s" % (region, shown.get("path")))
        # The badge stays 3.5 s: this clip's last pictures were taken while it was on the screen.
        clip = halvex.save_clip()
        self.assertIsNotNone(clip, halvex.output())
        corner = clip_region(region, game.geometry(), media.video_stream(media.probe(clip)))
        self.assertGreater(corner[2] * corner[3], 0.5 * BADGE_SIZE[0] * BADGE_SIZE[1], corner)
        # Kept for a look: the clip's last picture, taken with the badge on the screen.
        subprocess.run(["ffmpeg", "-v", "error", "-nostdin", "-y", "-sseof", "-0.3", "-i", clip,
                        "-update", "1", os.path.join(SHOTS, shot_name + "-clip-end.png")],
                       check=True, timeout=60)
        pictures = rgb_regions(clip, corner, last=10)
        self.assertEqual(len(pictures), 10)
        for colour in (BADGE,) + OTHER_BADGES:
            shares = [round(share_near(p, colour), 3) for p in pictures]
            self.assertLess(max(shares), 0.02, "colour %s in the clip's corner: %s" % (colour, shares))

    def test_saved_badge_out_of_window_capture(self):
        self.check_badge_on_screen_but_not_in_clip(
            "saved-badge-window-capture", "[WGC] Ruta de captura de ventana disponible.")

    def test_saved_badge_out_of_screen_capture(self):
        PrivateDesktop(self)
        self.check_badge_on_screen_but_not_in_clip(
            "saved-badge-screen-capture", "[WGC] No disponible; se usara")


class TrayTest(unittest.TestCase):
    def gdbus(self, address, service, method, *args):
        out = subprocess.run(["gdbus", "call", "--address", address, "--dest", service,
                              "--object-path", "/MenuBar", "--method",
                              "com.canonical.dbusmenu." + method, "--", *args],
                             stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                             stdin=subprocess.DEVNULL, timeout=10)
        self.assertEqual(out.returncode, 0, out.stdout.decode())
        return out.stdout.decode()

    def test_quit_entry_of_the_tray_menu_ends_halvex(self):
        bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--nopidfile",
                                "--print-address=1"], stdout=subprocess.PIPE,
                               stdin=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(harness.stop_process, bus)
        address = bus.stdout.readline().decode().strip()
        self.assertTrue(address, "dbus-daemon no dio su direccion")
        watcher = subprocess.Popen(["/usr/bin/python3", WATCHER, address], stdout=subprocess.PIPE,
                                   stdin=subprocess.DEVNULL)
        self.addCleanup(harness.stop_process, watcher)
        self.assertEqual(watcher.stdout.readline().decode().strip(), "listo")

        halvex = harness.Halvex()
        self.addCleanup(halvex.cleanup)
        halvex.env["DBUS_SESSION_BUS_ADDRESS"] = address
        halvex.start()
        registered = watcher.stdout.readline().decode().split()
        self.assertEqual(registered[:1], ["registrado"], halvex.output())
        service = registered[2]
        self.assertTrue(service.startswith("org.kde.StatusNotifierItem-"), service)

        layout = self.gdbus(address, service, "GetLayout", "0", "-1", "[]")
        self.assertIn("'Abrir configuracion'", layout)
        self.assertIn("'Salir de Halvex'", layout)
        self.assertIn(str(QUIT_ENTRY), layout)
        self.gdbus(address, service, "Event", str(QUIT_ENTRY), "clicked", "<int32 0>", "0")
        try:
            code = halvex.proc.wait(30)
        except subprocess.TimeoutExpired:
            self.fail("Halvex sigue en marcha tras 'Salir de Halvex':\n" + halvex.output())
        self.assertEqual(code, 0, halvex.output())
        self.assertIn("=== Resultados ===", halvex.output())
        self.assertIn("Clips guardados: 0", halvex.output())


if __name__ == "__main__":
    unittest.main()
