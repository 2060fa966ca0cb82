"""The real intro under a real X server: window, keys, exit statuses, silence."""
import os
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import rig  # noqa: E402
import test_picture  # noqa: E402

CENTRED = ((rig.SCREEN_W - 1024) // 2, (rig.SCREEN_H - 768) // 2, 1024, 768)
HOLD_SECONDS = 2.0  # well past the server's repeat delay
WIDE_SCREEN = (1920, 1080)
# Where full screen puts the 1024x768 scene, (x, y, width, height) from the
# top-left: the largest 4:3 rectangle, centred, black bands on the other sides.
SCENE_IN_FULL_SCREEN = {
    (rig.SCREEN_W, rig.SCREEN_H): (0, 32, 1280, 960),  # 1280x1024: bands above and below
    WIDE_SCREEN: (240, 0, 1440, 1080),                  # bands left and right
}
BAR_MIDDLES = (157.1, 617.9)  # scene rows through the middle of each bar
LOGO_SPAN = ((252, 764), (36.8, 116.8))  # scene x and y ranges the logo covers


class WindowTest(unittest.TestCase):
    def setUp(self):
        self.server = rig.xvfb()
        self.display = self.server.__enter__()
        self.intro = rig.Intro(self.display)
        self.window = self.intro.wait_window()

    def tearDown(self):
        self.intro.kill()
        self.server.__exit__(None, None, None)

    def assert_quiet_exit(self, status=0):
        code, out, err = self.intro.finish()
        self.assertEqual(code, status)
        self.assertEqual(out, b"")
        self.assertEqual(err, b"")

    def test_title_size_centring_and_escape(self):
        self.assertEqual(rig.window_name(self.display, self.window), rig.TITLE)
        self.assertEqual(rig.wait_geometry(self.display, self.window, CENTRED), CENTRED)
        # Not resizable: the size hints pin the client area to 1024x768.
        self.assertEqual(rig.size_hints(self.display, self.window), ((1024, 768), (1024, 768)))
        rig.key(self.display, "Escape")
        self.assert_quiet_exit()

    def look(self, display, window):
        rig.wait_frames(display, window)  # the switch has been drawn
        dump = subprocess.run(["xwd", "-silent", "-id", window], env=rig.x_env(display),
                              capture_output=True, timeout=30, check=True).stdout
        return test_picture.Picture(dump)

    def check_full_screen_and_back(self, display, window, screen):
        width, height = screen
        centred = ((width - 1024) // 2, (height - 768) // 2, 1024, 768)
        rig.wait_geometry(display, window, centred)
        full = (0, 0, width, height)
        rig.key(display, "F11")
        self.assertEqual(rig.wait_geometry(display, window, full), full)

        # The whole scene, scaled, in its rectangle; only black around it.
        x0, y0, w, h = SCENE_IN_FULL_SCREEN[screen]
        scale = h / 768
        pic = self.look(display, window)
        outside = [(x, y) for y in range(height) for x in range(width)
                   if pic.lit(x, y) and not (x0 <= x < x0 + w and y0 <= y < y0 + h)]
        self.assertEqual(outside[:5], [], f"{screen}: lit outside the scene")
        for middle in BAR_MIDDLES:
            y = y0 + int(middle * scale)
            bar = [x for x in range(width) if pic.lit(x, y)]
            self.assertEqual((bar[:1], bar[-1:], len(bar)), ([x0], [x0 + w - 1], w),
                             f"{screen}: bar row {y}")
        logo = [(x, y) for y in range(y0 + int(BAR_MIDDLES[0] * scale) - 8)
                for x in range(width) if pic.white(x, y)]
        self.assertTrue(logo, f"{screen}: no logo above the upper bar")
        # Where the window has it, scaled: centred on the screen as in the window.
        for axis, (low, high), origin in zip((0, 1), LOGO_SPAN, (x0, y0)):
            seen = (min(p[axis] for p in logo), max(p[axis] for p in logo) + 1)
            wanted = (origin + low * scale, origin + high * scale)
            self.assertTrue(all(abs(a - b) <= 1 for a, b in zip(seen, wanted)),
                            f"{screen}: logo spans {seen} on axis {axis}, not {wanted}")

        # Back in the window: the picture is the window's own again.
        rig.key(display, "F11")
        self.assertEqual(rig.wait_geometry(display, window, centred), centred)
        pic = self.look(display, window)
        self.assertEqual((pic.width, pic.height), (1024, 768))
        for rows in test_picture.BAR_ROWS:
            self.assertTrue(all(pic.lit(x, y) for y in rows for x in range(1024)))
        lx0, ly0, lx1, ly1 = test_picture.LOGO_BOX
        logo = [(x, y) for y in range(154) for x in range(1024) if pic.lit(x, y)]
        self.assertEqual((min(x for x, _ in logo), min(y for _, y in logo),
                          max(x for x, _ in logo) + 1, max(y for _, y in logo) + 1),
                         (lx0, ly0, lx1, ly1))

    def test_f11_fills_the_screen_with_the_scene_and_back(self):
        self.check_full_screen_and_back(self.display, self.window, (rig.SCREEN_W, rig.SCREEN_H))
        rig.key(self.display, "Escape")
        self.assert_quiet_exit()
        with rig.xvfb(*WIDE_SCREEN) as display:
            intro = rig.Intro(display)
            try:
                self.check_full_screen_and_back(display, intro.wait_window(), WIDE_SCREEN)
            finally:
                intro.kill()

    def test_f11_held_toggles_once(self):
        rig.wait_geometry(self.display, self.window, CENTRED)
        full = (0, 0, rig.SCREEN_W, rig.SCREEN_H)
        # Held: the server repeats the key after a short delay, many times a
        # second. Were repeats acted on, the window would flip back and forth
        # while the key is down, and the geometries seen would include the
        # window; how many repeats come depends on the server's timing, so
        # the final state alone would only catch an odd number of them.
        rig.xdotool(self.display, "keydown", "F11")
        self.assertEqual(rig.wait_geometry(self.display, self.window, full), full)
        seen = set()
        held_until = time.monotonic() + HOLD_SECONDS
        while time.monotonic() < held_until:
            seen.add(rig.geometry(self.display, self.window))
        rig.xdotool(self.display, "keydown", "F11", "keydown", "F11")
        rig.xdotool(self.display, "keyup", "F11")
        rig.wait_frames(self.display, self.window)  # a late toggle would show by now
        seen.add(rig.geometry(self.display, self.window))
        self.assertEqual(seen, {full})
        rig.key(self.display, "Escape")
        self.assert_quiet_exit()

    def test_other_keys_change_nothing(self):
        rig.wait_geometry(self.display, self.window, CENTRED)
        for name in ("F10", "space", "q", "Return", "F12"):
            rig.key(self.display, name)
        rig.wait_frames(self.display, self.window)  # every key has been handled
        self.assertIsNone(self.intro.proc.poll())
        self.assertEqual(rig.geometry(self.display, self.window), CENTRED)
        rig.key(self.display, "Escape")
        self.assert_quiet_exit()

    def test_window_manager_close_request(self):
        rig.request_close(self.display, self.window)
        self.assert_quiet_exit()


class StartFailureTest(unittest.TestCase):
    def test_no_display_exits_1(self):
        intro = rig.Intro(None, env=rig.x_env(None))
        code, out, err = intro.finish()
        self.assertEqual((code, out, err), (1, b"", b""))

    def test_no_glx_exits_0(self):
        with rig.xvfb(glx=False) as display:
            intro = rig.Intro(display)
            code, out, err = intro.finish()
        self.assertEqual((code, out, err), (0, b"", b""))


if __name__ == "__main__":
    unittest.main(verbosity=2)
