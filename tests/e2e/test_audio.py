# SPDX-License-Identifier: GPL-2.0-or-later
"""The intro's sound through a real jackd: what it plays, and how it behaves
without a server or when the server goes away.

Each test starts its own jackd under a private server name (synchronous, dummy driver,
48000 Hz, 1024-frame periods) and stops it again; the intro finds it through
JACK_DEFAULT_SERVER.
"""
import math
import os
import signal
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import rig  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.environ.get("SOURCE_DIR", os.path.normpath(os.path.join(HERE, "..", "..")))
BIN_DIR = os.environ.get("BIN_DIR", os.path.dirname(rig.INTRO))
MODULE = os.path.join(SOURCE_DIR, "assets", "intro.xm")
MODRENDER = os.path.join(BIN_DIR, "modrender")
TSAN_BUILD_DIR = os.environ.get("TSAN_BUILD_DIR",
                                os.path.join(os.path.dirname(BIN_DIR), "tsan"))
TSAN_SUPPRESSIONS = os.path.join(HERE, "tsan.supp")

RECORD_SECONDS = 3
RENDER_MARGIN_SECONDS = 5  # offline render beyond the time the intro ran
FLOAT_ROUNDING = 2.0 ** -24  # one step of a float just below full scale


class IntroSession:
    """Xvfb plus the intro, pointed at a JACK server by name."""

    def __init__(self, server_name, intro=rig.INTRO, extra_env=None):
        self._xvfb = rig.xvfb()
        self.display = self._xvfb.__enter__()
        env = rig.x_env(self.display, JACK_DEFAULT_SERVER=server_name, **(extra_env or {}))
        self.intro = None
        try:
            self.intro = rig.Intro(self.display, env=env, program=intro)
            self.window = self.intro.wait_window()
        except BaseException:
            self.close()
            raise

    def quit(self):
        """Escape; returns (status, stdout, stderr)."""
        rig.key(self.display, "Escape")
        return self.intro.finish(timeout=60)

    def close(self):
        if self.intro:
            self.intro.kill()
        self._xvfb.__exit__(None, None, None)


class AudioTestCase(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory(prefix="quillrun-audio-")
        self.addCleanup(self.tmp.cleanup)

    def jack(self):
        server = rig.JackServer(self.tmp.name)
        self.addCleanup(server.stop)
        return server

    def session(self, server_name, **kwargs):
        session = IntroSession(server_name, **kwargs)
        self.addCleanup(session.close)
        return session

    def assert_still_running(self, session):
        """The main loop still turns: the picture moves, and F11 (handled
        between frames) still switches to full screen and back."""
        rig.wait_frames(session.display, session.window)
        full = (0, 0, rig.SCREEN_W, rig.SCREEN_H)
        rig.key(session.display, "F11")
        self.assertEqual(rig.wait_geometry(session.display, session.window, full), full)
        rig.key(session.display, "F11")
        centred = ((rig.SCREEN_W - 1024) // 2, (rig.SCREEN_H - 768) // 2, 1024, 768)
        self.assertEqual(rig.wait_geometry(session.display, session.window, centred), centred)

    def assert_quiet_exit(self, result, why=""):
        status, out, err = result
        self.assertEqual((status, out.decode(errors="replace"), err.decode(errors="replace")),
                         (0, "", ""), why)


class BuildTest(unittest.TestCase):
    def test_libjack_is_loaded_at_run_time_only(self):
        linked = subprocess.run(["ldd", rig.INTRO], capture_output=True, text=True).stdout
        self.assertNotIn("libjack", linked)

    def test_only_the_device_part_of_the_audio_library_is_built_in(self):
        symbols = subprocess.run(["nm", rig.INTRO], capture_output=True, text=True).stdout
        self.assertIn("ma_device_init", symbols)
        for absent in ("ma_decoder_init", "ma_encoder_init", "ma_engine_init",
                       "ma_node_graph_init", "ma_resource_manager_init", "ma_waveform_init",
                       "ma_context_init__null", "ma_context_init__alsa",
                       "ma_context_init__pulse"):
            self.assertNotIn(absent, symbols)


class NoServerTest(AudioTestCase):
    def test_runs_the_picture_in_silence_and_says_nothing(self):
        # libjack complains on stderr when no server answers; the intro must not.
        session = self.session(rig.jack_server_name())
        self.assert_still_running(session)
        self.assert_quiet_exit(session.quit())


class JackServerTest(AudioTestCase):
    def test_recording_is_the_offline_render_sample_for_sample(self):
        if not os.path.exists(MODULE):
            self.skipTest(f"no module at {MODULE}")
        if not os.path.exists(MODRENDER):
            self.skipTest(f"modrender is not built ({MODRENDER}): nothing to compare with")
        server = self.jack()
        launched = time.monotonic()
        session = self.session(server.name)
        server.wait_playing()
        recording = os.path.join(self.tmp.name, "recording.wav")
        server.record(recording, RECORD_SECONDS)
        ran = time.monotonic() - launched
        self.assert_quiet_exit(session.quit())

        render = os.path.join(self.tmp.name, "render.wav")
        seconds = math.ceil(ran) + RENDER_MARGIN_SECONDS
        made = subprocess.run([MODRENDER, "--gain", "-t", str(seconds), "-o", render, MODULE],
                              capture_output=True, text=True, timeout=120)
        self.assertEqual(made.returncode, 0, made.stderr)

        rec_rate, rec_channels, rec, rec_step = rig.read_wav(recording)
        ren_rate, ren_channels, ren, ren_step = rig.read_wav(render)
        self.assertEqual((rec_rate, rec_channels), (48000, 2))
        self.assertEqual((ren_rate, ren_channels), (48000, 2))
        tolerance = FLOAT_ROUNDING + rec_step + ren_step
        # Buffers before the first frame's start flag are silent; the music is
        # what follows.
        start = 0
        while start < len(rec) and abs(rec[start]) <= tolerance and abs(rec[start + 1]) <= tolerance:
            start += 2
        music = rec[start:]
        self.assertGreater(len(music), len(rec) // 2, "most of the recording is silent")
        audible = sum(1 for v in music if abs(v) > tolerance)
        self.assertGreater(audible, len(music) // 10, "the recording is (nearly) silent")
        offset, report = locate(music, ren, tolerance)
        if offset is None:
            self.fail("\n".join([report, *server.xruns()]))


class ServerGoesAwayTest(AudioTestCase):
    def test_intro_keeps_drawing_and_quits_quietly(self):
        for how in (signal.SIGTERM, signal.SIGKILL):
            with self.subTest(signal=how.name):
                server = self.jack()
                session = self.session(server.name)
                server.wait_playing()
                server.stop(how)
                time.sleep(1.0)  # the client notices the server is gone
                self.assert_still_running(session)
                self.assert_quiet_exit(session.quit())


class ThreadSanitizerTest(AudioTestCase):
    def test_start_up_frames_and_callbacks_are_race_free(self):
        intro = build_tsan_intro()
        server = self.jack()
        options = f"suppressions={TSAN_SUPPRESSIONS} second_deadlock_stack=1"
        session = self.session(server.name, intro=intro, extra_env={"TSAN_OPTIONS": options})
        server.wait_playing(timeout=60)
        # A second of callbacks, with a recorder pulling on the ports; the
        # engine must really have run in them.
        recording = os.path.join(self.tmp.name, "tsan.wav")
        server.record(recording, 1)
        self.assert_quiet_exit(session.quit(), "ThreadSanitizer reported")
        self.assertTrue(any(rig.read_wav(recording)[2]), "the callbacks produced nothing")


def build_tsan_intro():
    """Builds the intro with -fsanitize=thread in its own tree (incremental)."""
    subprocess.run(["cmake", "-S", SOURCE_DIR, "-B", TSAN_BUILD_DIR, "-DQUILLRUN_SANITIZE=thread",
                    "-DBUILD_TESTING=OFF", "-DCMAKE_BUILD_TYPE=RelWithDebInfo"],
                   check=True, capture_output=True, timeout=300)
    built = subprocess.run(["cmake", "--build", TSAN_BUILD_DIR, "--target", "intro", "-j2"],
                           capture_output=True, text=True, timeout=900)
    if built.returncode != 0:
        raise AssertionError(f"ThreadSanitizer build failed:\n{built.stdout[-3000:]}")
    return os.path.join(TSAN_BUILD_DIR, "bin", "intro")


def locate(music, render, tolerance):
    """Offset in frames at which `music` lies inside `render`, or None and why.

    jack_rec stores 32-bit integers scaled by 2^31 without clipping, so a
    full-scale +1.0 wraps to the most negative value: a recorded -1.0 stands
    for either full-scale sample. Every other sample must agree within
    `tolerance`.
    """
    def same(recorded, rendered):
        if abs(recorded - rendered) <= tolerance:
            return True
        return recorded == -1.0 and abs(abs(rendered) - 1.0) <= tolerance

    frames = len(music) // 2
    best = (0, None, None)  # (frames matched, offset, first mismatching sample)
    for k in range(0, len(render) - len(music) + 1, 2):
        if not (same(music[0], render[k]) and same(music[1], render[k + 1])):
            continue
        i = 2
        while i < len(music) and same(music[i], render[k + i]):
            i += 1
        if i == len(music):
            return k // 2, None
        if i // 2 > best[0]:
            best = (i // 2, k // 2, i)
    matched, offset, i = best
    if offset is None:
        return None, "no frame of the render starts the recording"
    return None, (f"best alignment at render frame {offset} matches {matched} of {frames} "
                  f"frames; then recording {music[i]!r} vs render {render[offset * 2 + i]!r}")


if __name__ == "__main__":
    unittest.main(verbosity=2)
