# SPDX-License-Identifier: GPL-2.0-or-later
"""The real intro under a real X server: window, keys, exit statuses, silence."""
import os
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import rig  # noqa: E402

CENTRED = ((rig.SCREEN_W - 1024) // 2, (rig.SCREEN_H - 768) // 2, 1024, 768)
HOLD_SECONDS = 2.0  # well past the server's repeat delay


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

    def test_f11_goes_full_screen_and_back(self):
        rig.wait_geometry(self.display, self.window, CENTRED)
        full = (0, 0, rig.SCREEN_W, rig.SCREEN_H)
        rig.key(self.display, "F11")
        self.assertEqual(rig.wait_geometry(self.display, self.window, full), full)
        rig.key(self.display, "F11")
        self.assertEqual(rig.wait_geometry(self.display, self.window, CENTRED), CENTRED)
        rig.key(self.display, "Escape")
        self.assert_quiet_exit()

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
