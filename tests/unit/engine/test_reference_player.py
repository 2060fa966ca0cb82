# SPDX-License-Identifier: GPL-2.0-or-later
"""The first 10 s of every corpus XM, rendered by modrender and by the
reference player openmpt123 (nearest-neighbour, no ramping), have the same
loudness contour: the mono RMS over 20 ms windows correlates at 0.9 or more
for at least 90% of the modules. The players' gains, panning laws and tick
rounding differ, so levels are not compared; a wrong note, a missed effect or
a timing fault breaks the contour.

The built module of every loading variant (make_fuzz_seeds, variant_seeds.h)
plays one pass as long as in openmpt123 and with the same contour as the
reference players that play it the way this replayer does; the variants this
replayer refuses are refused with their reason.

At every output rate from 22050 to 192000 Hz a tone module (tone_modules)
plays at the pitch openmpt123 plays it, within a cent; so do IT notes from
octave 0 to octave 9, keys an instrument maps to other notes, and C5 speeds
off the sixteenth-semitone grid."""
import array
import math
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

MODRENDER = os.environ["MODRENDER"]
SECONDS = 10
RATE = 48000
WINDOW = RATE // 50
THRESHOLD = 0.9
SHARE = 0.9


def corpus_files(extension=".xm"):
    directory = subprocess.run(["bash", os.environ["FETCH_CORPUS"]], check=True,
                               capture_output=True, text=True).stdout.strip()
    return sorted(os.path.join(directory, f) for f in os.listdir(directory)
                  if f.lower().endswith(extension))


def floats(data):
    values = array.array("f")
    values.frombytes(data[:len(data) // 4 * 4])
    if sys.byteorder != "little":
        values.byteswap()
    return values


def ours(path):
    return floats(subprocess.run([MODRENDER, "--exact", "-t", str(SECONDS), "-o", "-", path],
                                 check=True, capture_output=True).stdout)


def ours_pass(path):
    return floats(subprocess.run([MODRENDER, "--exact", "-o", "-", path], check=True,
                                 capture_output=True).stdout)


def reference(path, seconds=SECONDS):
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "out.raw")
        limit = ["--end-time", str(seconds)] if seconds else []
        subprocess.run(["openmpt123", "--quiet", "--batch", *limit,
                        "--filter", "1", "--ramping", "0", "--samplerate", str(RATE),
                        "--float", "--force", "-o", out, path], check=True,
                       capture_output=True)
        with open(out, "rb") as f:
            return floats(f.read())


def xmp_pass(path):
    """One pass by xmp, as 16-bit frames scaled to floats."""
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "out.raw")
        subprocess.run(["xmp", "--norc", "-q", "-d", "file", "-f", str(RATE), "-i", "nearest",
                        "-o", out, path], check=True, capture_output=True)
        values = array.array("h")
        with open(out, "rb") as f:
            data = f.read()
        values.frombytes(data[:len(data) // 2 * 2])
        if sys.byteorder != "little":
            values.byteswap()
        return array.array("f", (v / 32768 for v in values))


def contour(samples):
    mono = [samples[i] + samples[i + 1] for i in range(0, len(samples) - 1, 2)]
    return [(sum(v * v for v in mono[i:i + WINDOW]) / WINDOW) ** 0.5
            for i in range(0, len(mono) - WINDOW + 1, WINDOW)]


def correlation(a, b):
    n = min(len(a), len(b))
    a, b = a[:n], b[:n]
    ma, mb = sum(a) / n, sum(b) / n
    cov = sum((x - ma) * (y - mb) for x, y in zip(a, b))
    va = sum((x - ma) ** 2 for x in a)
    vb = sum((y - mb) ** 2 for y in b)
    return cov / (va * vb) ** 0.5 if va > 0 and vb > 0 else 0.0


class ReferencePlayer(unittest.TestCase):
    def test_loudness_contours_agree(self):
        files = corpus_files()
        self.assertGreaterEqual(len(files), 10)
        scores = {}
        for path in files:
            scores[os.path.basename(path)] = correlation(contour(ours(path)),
                                                         contour(reference(path)))
        report = ", ".join(f"{name} {score:.3f}" for name, score in scores.items())
        print(report, file=sys.stderr)
        agreeing = sum(score >= THRESHOLD for score in scores.values())
        self.assertGreaterEqual(agreeing, SHARE * len(scores), report)


IT_SECONDS = 30


def power_contour(samples):
    """RMS of both sides over WINDOW frames: IT's surround channels play one
    side inverted, which a mono sum would cancel."""
    return [(sum(v * v for v in samples[2 * i:2 * (i + WINDOW)]) / WINDOW) ** 0.5
            for i in range(0, len(samples) // 2 - WINDOW + 1, WINDOW)]


class ItReferencePlayer(unittest.TestCase):
    def test_it_loudness_contours_agree(self):
        files = corpus_files(".it")
        self.assertEqual(len(files), 27)
        scores = {}
        for path in files:
            mine = floats(subprocess.run([MODRENDER, "-t", str(IT_SECONDS), "-o", "-", path],
                                         check=True, capture_output=True).stdout)
            scores[os.path.basename(path)] = correlation(
                power_contour(mine), power_contour(reference(path, IT_SECONDS)))
        report = ", ".join(f"{name} {score:.3f}" for name, score in scores.items())
        print(report, file=sys.stderr)
        for name, score in scores.items():
            with self.subTest(module=name):
                self.assertGreaterEqual(score, THRESHOLD)


# Variant seed -> the reference players whose rendering this replayer's is
# held to. Where one is missing it plays the variant otherwise, on purpose:
# xmp plays an XM stereo sample as one mono sample of twice the length;
# openmpt123 keeps a stereo S3M sample's sides apart (one side per speaker,
# so a side-panned channel sounds mostly one of them, where here both mix);
# openmpt123 plays every MOD about half a semitone lower (a 4023 Hz against a
# 4144 Hz PAL rate at period 856, plain "M.K." files too), and reads the
# patterns of an "FA0x" MOD 4 bytes after the signature; xmp 4.1 refuses a
# 15-sample MOD with what real ones hold (bytes outside ASCII in names,
# leftover loop fields, orders naming patterns the file lacks, a cut).
VARIANTS = {
    "adpcm.xm": ("openmpt123", "xmp"),
    "stereo.xm": ("openmpt123",),
    "adpcm.s3m": ("openmpt123", "xmp"),
    "stereo.s3m": ("xmp",),
    "short-lengths.s3m": ("openmpt123", "xmp"),
    "sig-M&K!.mod": ("xmp",),
    "sig-FA04.mod": ("xmp",),
    "sig-FA06.mod": ("xmp",),
    "sig-FA08.mod": ("xmp",),
    "sig-CD61.mod": ("xmp",),
    "M.K.-8-channels.mod": ("xmp",),
    "15-samples.mod": ("xmp",),
    "15-samples-loop-in-bytes.mod": ("openmpt123", "xmp"),
    "15-samples-as-found.mod": ("openmpt123",),
    "M.K.-speed-fxx.mod": ("openmpt123", "xmp"),
}
REFUSED = {
    "ogg.oxm": "Ogg Vorbis compressed samples (an OXM file) cannot be played",
    "version-1.03.xm": "XM version 1.03: only version 1.04 is read",
}
RENDERS = {"openmpt123": lambda path: reference(path, None), "xmp": xmp_pass}


def reference_duration(path):
    out = subprocess.run(["openmpt123", "--info", "--subsong", "0", path], capture_output=True,
                         text=True, check=True).stdout
    minutes, seconds = re.search(r"^Duration\.*:\s*(\d+):([0-9.]+)", out, re.M).groups()
    return int(minutes) * 60 + float(seconds)


def our_duration(path):
    # A title may hold any bytes: they are printed as stored.
    out = subprocess.run([MODRENDER, "--info", path], capture_output=True, text=True,
                         errors="replace", check=True).stdout
    return float(re.search(r"^duration_s: ([0-9.]+)", out, re.M).group(1))


@unittest.skipUnless(shutil.which("openmpt123") and shutil.which("xmp"),
                     "the reference players are not installed")
class LoadingVariants(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.TemporaryDirectory()
        subprocess.run([os.environ["MAKE_SEEDS"], cls.dir.name], check=True)

    @classmethod
    def tearDownClass(cls):
        cls.dir.cleanup()

    def test_variants_play_as_the_references_do(self):
        for name, players in VARIANTS.items():
            with self.subTest(variant=name):
                path = os.path.join(self.dir.name, name)
                self.assertAlmostEqual(our_duration(path), reference_duration(path),
                                       delta=0.01 * reference_duration(path))
                mine = contour(ours_pass(path))
                for player in players:
                    score = correlation(mine, contour(RENDERS[player](path)))
                    self.assertGreaterEqual(score, THRESHOLD, player)

    def test_refused_variants_are_refused_with_their_reason(self):
        for name, reason in REFUSED.items():
            with self.subTest(variant=name):
                path = os.path.join(self.dir.name, name)
                r = subprocess.run([MODRENDER, "--info", path], capture_output=True, text=True)
                self.assertEqual(r.returncode, 1)
                self.assertEqual(r.stderr, f"modrender: {path}: {reason}\n")


def rising_crossings(left, rate):
    """The tone's frequency from its rising zero crossings, placed between
    frames by linear interpolation."""
    times = [i + left[i] / (left[i] - left[i + 1]) for i in range(len(left) - 1)
             if left[i] < 0 <= left[i + 1]]
    return (len(times) - 1) / (times[-1] - times[0]) * rate


def tone_it(notes, c5_speed, keyboard=None):
    """An IT module playing a looped 64-frame sine at `c5_speed`, one note
    byte per row of 0.62 s; `keyboard` maps keys to the notes they play."""
    import struct
    sine = [round(12000 * math.sin(2 * math.pi * i / 64)) for i in range(64)]
    header = bytearray(0xC0)
    header[0:4] = b"IMPM"
    struct.pack_into("<8H", header, 0x20, 2, 1, 1, 1, 0x214, 0x214, 1 | 4 | 8, 0)
    header[0x30:0x35] = bytes([128, 128, 31, 125, 128])
    header[0x40:0x80], header[0x80:0xC0] = bytes([32] * 64), bytes([64] * 64)
    data = header + bytes([0, 255]) + bytes(12)
    instrument = bytearray(554)
    instrument[0:4], instrument[0x18], instrument[0x19] = b"IMPI", 128, 32
    for key in range(120):
        instrument[0x40 + 2 * key:0x42 + 2 * key] = bytes([(keyboard or {}).get(key, key), 1])
    sample = bytearray(80)
    sample[0:4], sample[0x11:0x14], sample[0x2E] = b"IMPS", bytes([64, 1 | 2 | 16, 64]), 1
    struct.pack_into("<4I", sample, 0x30, 64, 0, 64, c5_speed)
    sample_at = len(data) + len(instrument)
    struct.pack_into("<I", sample, 0x48, sample_at + len(sample))
    cells = b"".join(bytes([0x81, 3, n, 1]) + bytes([0]) for n in notes) + bytes([0x81, 1, 255, 0])
    pattern = struct.pack("<HH4x", len(cells), len(notes) + 1) + cells
    struct.pack_into("<3I", data, 0xC2, len(data), sample_at, sample_at + len(sample) + 128)
    return bytes(data + instrument + sample + struct.pack("<64h", *sine) + pattern)


@unittest.skipUnless(shutil.which("openmpt123"), "openmpt123 is not installed")
class PitchAtEveryRate(unittest.TestCase):
    RATES = (22050, 44100, 48000, 96000, 192000)

    def test_a_tone_plays_within_a_cent_of_openmpt123(self):
        with tempfile.TemporaryDirectory() as tmp:
            subprocess.run([os.environ["TONE_MODULES"], tmp], check=True)
            module = os.path.join(tmp, "sine8.xm")
            for rate in self.RATES:
                with self.subTest(rate=rate):
                    out = os.path.join(tmp, "theirs.raw")
                    subprocess.run(["openmpt123", "--quiet", "--batch", "--end-time", "2",
                                    "--filter", "2", "--ramping", "0", "--samplerate", str(rate),
                                    "--float", "--force", "-o", out, module], check=True,
                                   capture_output=True)
                    with open(out, "rb") as f:
                        theirs = floats(f.read())[2 * rate // 2:2 * rate * 3 // 2:2]
                    mine = floats(subprocess.run(
                        [MODRENDER, "--rate", str(rate), "--interp", "linear", "--no-ramp", "-t",
                         "2", "-o", "-", module], check=True, capture_output=True).stdout)
                    mine = mine[2 * rate // 2:2 * rate * 3 // 2:2]
                    cents = 1200 * math.log2(rising_crossings(mine, rate) /
                                             rising_crossings(theirs, rate))
                    self.assertLess(abs(cents), 1.0)

    def test_it_notes_of_every_octave_within_a_cent_of_openmpt123(self):
        # C-0, C#-1, a key mapped four octaves down; C-9, B-9; C5 speeds off
        # the sixteenth-semitone grid.
        modules = {"low": ([0, 13, 60], 70000, {60: 12}), "high": ([108, 119], 6000, None)}
        row = 31 * 5 * RATE // 250
        with tempfile.TemporaryDirectory() as tmp:
            for name, (notes, c5_speed, keyboard) in modules.items():
                path = os.path.join(tmp, name + ".it")
                with open(path, "wb") as f:
                    f.write(tone_it(notes, c5_speed, keyboard))
                out = os.path.join(tmp, "theirs.raw")
                subprocess.run(["openmpt123", "--quiet", "--batch", "--filter", "2", "--ramping",
                                "0", "--samplerate", str(RATE), "--float", "--force", "-o", out,
                                path], check=True, capture_output=True)
                with open(out, "rb") as f:
                    theirs = floats(f.read())[0::2]
                mine = floats(subprocess.run([MODRENDER, "--interp", "linear", "--no-ramp", "-o",
                                              "-", path], check=True,
                                             capture_output=True).stdout)[0::2]
                for r in range(len(notes)):
                    with self.subTest(module=name, row=r):
                        part = slice(r * row + RATE // 20, (r + 1) * row - RATE // 20)
                        cents = 1200 * math.log2(rising_crossings(mine[part], RATE) /
                                                 rising_crossings(theirs[part], RATE))
                        self.assertLess(abs(cents), 1.0)


if __name__ == "__main__":
    unittest.main(verbosity=2)
