# SPDX-License-Identifier: GPL-2.0-or-later
"""The modrender command line: exit statuses, messages, --info and the audio
it writes."""
import os
import struct
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import xm_reference  # noqa: E402

MODRENDER = os.environ["MODRENDER"]
INTRO_XM = os.environ["INTRO_XM"]
RATE = 48000
FRAME_BYTES = 8  # two 32-bit floats
WAV_HEADER_BYTES = 58


def run(*args):
    return subprocess.run([MODRENDER, *args], capture_output=True)


def wav_fields(data):
    riff, riff_size, wave = struct.unpack_from("<4sI4s", data, 0)
    fmt, fmt_size, tag, channels, rate, byte_rate, align, bits = struct.unpack_from(
        "<4sIHHIIHH", data, 12)
    fact, _, fact_frames = struct.unpack_from("<4sII", data, 38)
    chunk, data_size = struct.unpack_from("<4sI", data, 50)
    return dict(riff=riff, riff_size=riff_size, wave=wave, fmt=fmt, tag=tag, channels=channels,
                rate=rate, byte_rate=byte_rate, align=align, bits=bits, fact=fact,
                fact_frames=fact_frames, chunk=chunk, data_size=data_size)


class Modrender(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        with open(INTRO_XM, "rb") as f:
            self.intro = f.read()

    def tearDown(self):
        self.dir.cleanup()

    def write(self, name, data):
        path = os.path.join(self.dir.name, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def test_help(self):
        for flag in ("--help", "-h"):
            r = run(flag)
            self.assertEqual(r.returncode, 0)
            self.assertIn(b"usage: modrender --info FILE", r.stdout)

    def test_bad_usage_exits_2(self):
        compact = os.path.join(self.dir.name, "out.cmp")
        cases = [[], ["--bogus", INTRO_XM], ["--info"], ["--info", "-o", "x.wav", INTRO_XM],
                 ["-o", "x.wav", "-t", "soon", INTRO_XM], ["-o"],
                 ["--write-compact", compact, INTRO_XM, INTRO_XM],
                 ["--info", "--gain", INTRO_XM], [INTRO_XM],
                 ["--write-compact", compact, "-t", "1", INTRO_XM],
                 ["--write-compact", compact, "--gain", INTRO_XM],
                 ["-t", "20000", "-o", os.path.join(self.dir.name, "long.wav"), INTRO_XM],
                 ["--exact", "--rate", "44100", "-o", "-", INTRO_XM],
                 ["--exact", "--interp", "sinc", "-o", "-", INTRO_XM],
                 ["--rate", "7999", "-o", "-", INTRO_XM], ["--rate", "44100.5", "-o", "-", INTRO_XM],
                 ["--interp", "spline", "-o", "-", INTRO_XM], ["--stereo", "201", "-o", "-", INTRO_XM],
                 ["--gain-db", "25", "-o", "-", INTRO_XM], ["--format", "s24", "-o", "-", INTRO_XM],
                 ["--format", "s16", "--play", INTRO_XM], ["--info", "--exact", INTRO_XM],
                 ["--rate"], ["--start", "-1", "-o", "-", INTRO_XM],
                 ["--start", "1:x", "-o", "-", INTRO_XM], ["--start", "256:0", "-o", "-", INTRO_XM],
                 ["--info", "--start", "2", INTRO_XM], ["-o", "-", INTRO_XM, "--start"],
                 ["--mute", "0", "-o", "-", INTRO_XM], ["--mute", "3-1", "-o", "-", INTRO_XM],
                 ["--solo", "1,", "-o", "-", INTRO_XM], ["--info", "--mute", "1", INTRO_XM],
                 ["--repeat", "-2", "-o", "-", INTRO_XM], ["--repeat", "-1", "-o", "-", INTRO_XM],
                 ["--info", "--repeat", "1", INTRO_XM], ["--subsong", "0", "-o", "-", INTRO_XM],
                 ["--stems", self.dir.name, INTRO_XM, INTRO_XM],
                 ["--stems", self.dir.name, "--solo", "1", INTRO_XM],
                 ["--format", "f32", "-o", os.path.join(self.dir.name, "x.flac"), INTRO_XM]]
        for args in cases:
            with self.subTest(args=args):
                r = run(*args)
                self.assertEqual(r.returncode, 2)
                self.assertEqual(r.stderr.count(b"\n"), 1)
                self.assertFalse(os.path.exists(compact))
                self.assertFalse(os.path.exists(os.path.join(self.dir.name, "long.wav")))

    def test_refused_files_exit_1_with_one_line_naming_them(self):
        header_end = 60 + struct.unpack_from("<I", self.intro, 60)[0]
        long_pattern = bytearray(self.intro)
        struct.pack_into("<H", long_pattern, header_end + 5, 257)
        version_103 = bytearray(self.intro)
        struct.pack_into("<H", version_103, 58, 0x0103)
        cases = {
            "garbage.xm": (bytes(range(256)) * 8, "unrecognised module format"),
            "rows257.xm": (bytes(long_pattern), "pattern has more than 256 rows"),
            "empty.xm": (b"", "unrecognised module format"),
            "v103.xm": (bytes(version_103), "XM version 1.03: only version 1.04 is read"),
        }
        for name, (data, reason) in cases.items():
            with self.subTest(name=name):
                path = self.write(name, data)
                r = run("--info", path)
                self.assertEqual(r.returncode, 1)
                self.assertEqual(r.stdout, b"")
                self.assertEqual(r.stderr.decode(), f"modrender: {path}: {reason}\n")
        r = run("--info", os.path.join(self.dir.name, "missing.xm"))
        self.assertEqual(r.returncode, 1)
        self.assertIn(b"missing.xm", r.stderr)

    def test_endless_input_is_refused_holding_at_most_the_size_limit(self):
        # Measured in a child of its own, so that its peak is the only one.
        probe = ("import resource, subprocess, sys\n"
                 "r = subprocess.run([sys.argv[1], '--info', '/dev/zero'], capture_output=True)\n"
                 "print(r.returncode, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)\n"
                 "sys.stdout.write(r.stderr.decode())")
        r = subprocess.run([sys.executable, "-c", probe, MODRENDER], capture_output=True,
                           text=True, check=True)
        status, peak_kib = map(int, r.stdout.splitlines()[0].split())
        self.assertEqual(status, 1)
        self.assertEqual(r.stdout.splitlines()[1:], ["modrender: /dev/zero: file too large"])
        # The limit is 512 MiB; reading on to it by doubling a buffer took 1 GiB.
        # The slack allows for a sanitizer's shadow memory.
        self.assertLess(peak_kib, (512 + 160) * 1024)

    def test_info_reports_the_prescan_counts(self):
        r = run("--info", INTRO_XM)
        self.assertEqual(r.returncode, 0, r.stderr)
        got = dict(line.split(": ", 1) for line in r.stdout.decode().splitlines())
        for key, value in xm_reference.prescan(self.intro).items():
            self.assertEqual(got[key], str(value), key)
        codes = [int(c) for c in got["effects_used"].split(",")]
        self.assertEqual(codes, sorted(set(codes)))
        self.assertRegex(got["duration_s"], r"^\d+\.\d{3}$")

    def test_timed_wav(self):
        # (options, rate, WAV format tag, bytes per value)
        cases = [((), RATE, 3, 4), (("--rate", "44100", "--format", "s16"), 44100, 1, 2),
                 (("--exact", "--stereo", "50"), RATE, 3, 4),
                 (("--rate", "8000", "--interp", "linear", "--no-ramp"), 8000, 3, 4)]
        for options, rate, tag, size in cases:
            with self.subTest(options=options):
                out = os.path.join(self.dir.name, "out.wav")
                r = run("-t", "1.5", "--gain", *options, "-o", out, INTRO_XM)
                self.assertEqual(r.returncode, 0, r.stderr)
                with open(out, "rb") as f:
                    data = f.read()
                frames, frame_bytes = rate * 3 // 2, 2 * size
                self.assertEqual(len(data), WAV_HEADER_BYTES + frames * frame_bytes)
                self.assertEqual(wav_fields(data), dict(
                    riff=b"RIFF", riff_size=len(data) - 8, wave=b"WAVE", fmt=b"fmt ", tag=tag,
                    channels=2, rate=rate, byte_rate=rate * frame_bytes, align=frame_bytes,
                    bits=8 * size, fact=b"fact", fact_frames=frames, chunk=b"data",
                    data_size=frames * frame_bytes))
                code = "f" if size == 4 else "h"
                values = struct.unpack_from("<%d%s" % (frames * 2, code), data, WAV_HEADER_BYTES)
                self.assertLessEqual(max(abs(v) for v in values), 1.0 if size == 4 else 32768)
                self.assertGreater(max(abs(v) for v in values), 0)

    def test_raw_output_on_stdout(self):
        r = run("-t", "0.25", "-o", "-", INTRO_XM)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(len(r.stdout), 12000 * FRAME_BYTES)
        self.assertEqual(r.stderr, b"")  # no progress when stderr is not a terminal

    def test_one_pass_render_matches_info_duration(self):
        r = run("--info", INTRO_XM)
        duration = float(dict(line.split(": ", 1)
                              for line in r.stdout.decode().splitlines())["duration_s"])
        r = run("-o", "-", INTRO_XM)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(len(r.stdout) % FRAME_BYTES, 0)
        self.assertAlmostEqual(len(r.stdout) / FRAME_BYTES / RATE, duration, places=3)

    def test_start_renders_the_rest_of_the_pass_exactly(self):
        whole = run("--exact", "-o", "-", INTRO_XM).stdout
        r = run("--exact", "--start", "2.5", "-o", "-", INTRO_XM)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(r.stdout, whole[int(2.5 * RATE) * FRAME_BYTES:])
        # A row: the rest of the pass from where the first pass plays it.
        r = run("--exact", "--start", "1:0", "-o", "-", INTRO_XM)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertTrue(whole.endswith(r.stdout))
        self.assertGreater(len(r.stdout), 0)
        self.assertLess(len(r.stdout), len(whole))
        r = run("--start", "200:0", "-o", "-", INTRO_XM)
        self.assertEqual(r.returncode, 1)
        self.assertEqual(r.stderr.decode(),
                         f"modrender: {INTRO_XM}: --start names a row the song's first pass "
                         "never plays\n")

    def test_mute_and_solo_choose_the_channels_heard(self):
        def render(*args):
            r = run("--exact", "-t", "2", *args, "-o", "-", INTRO_XM)
            self.assertEqual(r.returncode, 0, r.stderr)
            return r.stdout
        everything = render()
        self.assertEqual(render("--solo", "1,3"), render("--mute", "2,4-6"))
        self.assertNotEqual(render("--solo", "1,3"), everything)
        self.assertEqual(render("--mute", "1-6"), bytes(len(everything)))
        self.assertEqual(render("--solo", "2", "--mute", "2"), bytes(len(everything)))
        r = run("--mute", "7", "-o", "-", INTRO_XM)
        self.assertEqual(r.returncode, 1)
        self.assertEqual(r.stderr.decode(),
                         f"modrender: {INTRO_XM}: the module has no channel 7 (--mute, --solo)\n")

    def test_repeats_and_several_files_render_in_turn(self):
        once = run("--exact", "-o", "-", INTRO_XM).stdout
        twice = run("--exact", "--repeat", "1", "-o", "-", INTRO_XM).stdout
        self.assertTrue(twice.startswith(once))
        # The second pass starts at the restart position: it is shorter.
        self.assertGreater(len(twice), len(once) * 3 // 2)
        self.assertLess(len(twice), len(once) * 2)
        endless = run("--exact", "--repeat", "-1", "-t", "300", "-o", "-", INTRO_XM).stdout
        self.assertEqual(len(endless), 300 * RATE * FRAME_BYTES)
        self.assertTrue(endless.startswith(twice))
        # -t wins over a repeat count that plays on longer, and the other way round.
        self.assertEqual(run("--exact", "--repeat", "1", "-t", "2", "-o", "-", INTRO_XM).stdout,
                         once[:2 * RATE * FRAME_BYTES])
        self.assertEqual(run("--exact", "--repeat", "0", "-t", "999", "-o", "-", INTRO_XM).stdout,
                         once)

        short = self.write("short.xm", self.intro)
        first = run("--exact", "-t", "1", "-o", "-", INTRO_XM).stdout
        both = run("--exact", "-t", "1", "--start", "3", "-o", "-", INTRO_XM, short).stdout
        self.assertEqual(both, 2 * once[3 * RATE * FRAME_BYTES:4 * RATE * FRAME_BYTES])
        orders = set()
        for _ in range(12):
            r = run("--exact", "-t", "1", "--shuffle", "-o", "-", INTRO_XM, short, "--mute", "1-6")
            self.assertEqual(r.returncode, 0, r.stderr)
            orders.add(r.stdout)
        self.assertEqual(orders, {bytes(2 * len(first))})
        r = run("--info", INTRO_XM, short)
        lines = r.stdout.decode().splitlines()
        self.assertEqual([line for line in lines if line.startswith("file: ")],
                         [f"file: {INTRO_XM}", f"file: {short}"])
        self.assertIn("subsongs: 1", lines)
        self.assertRegex(r.stdout.decode(), r"subsong_1: order 0, duration_s \d+\.\d{3}\n")
        r = run("--subsong", "2", "-o", "-", INTRO_XM)
        self.assertEqual(r.returncode, 1)
        self.assertEqual(r.stderr.decode(), f"modrender: {INTRO_XM}: --subsong names a subsong "
                         "the module does not have\n")

    def test_stems_add_up_to_the_mix_and_flac_holds_the_wav(self):
        # Exactly at the intro's settings; under ramping a fading voice and the
        # note after it are added into the mix one after the other, but summed
        # first in their stem, so a sum may round differently: by 1e-7 at most.
        stems = os.path.join(self.dir.name, "stems")
        for args, tolerance in ((("--exact",), 0), (("--interp", "cubic", "--stereo", "60"), 1e-7)):
            with self.subTest(args=args):
                r = run(*args, "-t", "3", "--stems", stems, INTRO_XM)
                self.assertEqual(r.returncode, 0, r.stderr)
                self.assertEqual(sorted(os.listdir(stems)),
                                 [f"channel-0{c}.wav" for c in range(1, 7)])
                mix = run(*args, "-t", "3", "-o", "-", INTRO_XM).stdout
                values = [0.0] * (len(mix) // 4)
                for c in range(1, 7):
                    with open(os.path.join(stems, f"channel-0{c}.wav"), "rb") as f:
                        stem = f.read()[WAV_HEADER_BYTES:]
                    for i, v in enumerate(struct.unpack(f"<{len(stem) // 4}f", stem)):
                        values[i] = struct.unpack("<f", struct.pack("<f", values[i] + v))[0]
                want = struct.unpack(f"<{len(mix) // 4}f", mix)
                self.assertEqual(len(values), len(want))
                self.assertLessEqual(max(abs(a - b) for a, b in zip(values, want)), tolerance)
                self.assertGreater(max(map(abs, want)), 0.1)

        wav, flac = os.path.join(self.dir.name, "a.wav"), os.path.join(self.dir.name, "a.flac")
        decoded = os.path.join(self.dir.name, "decoded.wav")
        self.assertEqual(run("--exact", "--format", "s16", "-t", "4", "-o", wav, INTRO_XM)
                         .returncode, 0)
        r = run("--exact", "-t", "4", "-o", flac, INTRO_XM)
        self.assertEqual(r.returncode, 0, r.stderr)
        subprocess.run(["flac", "--silent", "--decode", "-o", decoded, flac], check=True)
        with open(wav, "rb") as a, open(decoded, "rb") as b:
            self.assertEqual(a.read()[WAV_HEADER_BYTES:], b.read()[44:])
        tags = subprocess.run(["metaflac", "--export-tags-to=-", flac], capture_output=True,
                              text=True, check=True).stdout
        self.assertEqual(tags, "TITLE=quillrun skylet2\nDURATION=0:00:04.000\n")

    def test_unwritable_output_exits_1(self):
        r = run("-t", "0.1", "-o", os.path.join(self.dir.name, "no", "such.wav"), INTRO_XM)
        self.assertEqual(r.returncode, 1)
        self.assertEqual(r.stderr.count(b"\n"), 1)


if __name__ == "__main__":
    unittest.main(verbosity=2)
