# SPDX-License-Identifier: GPL-2.0-or-later
"""modrender --info on every module of the public corpus agrees with a
reference player on the counts both know, and on every XM reports exactly what
the prescan rules give (checked by an independent reading of them). Durations
are compared by the corpus test test_durations.py."""
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


def is_xm(path):
    with open(path, "rb") as f:
        return f.read(17) == b"Extended Module: "


def info(path):
    out = subprocess.run([MODRENDER, "--info", path], check=True, capture_output=True,
                         text=True).stdout
    # "effects_used:" stands alone when a module uses none.
    return {key: value.strip() for key, value in
            (line.split(":", 1) for line in out.splitlines())}


def reference_player_info(path):
    return subprocess.run(["openmpt123", "--info", "--subsong", "0", path],
                          capture_output=True, text=True).stdout


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
                           if f.lower().endswith((".xm", ".s3m", ".mod")))
        # By content: one corpus XM is named .mod.
        cls.xm_files = [p for p in cls.files if is_xm(p)]

    def test_corpus_has_every_format(self):
        self.assertGreaterEqual(len(self.files), 61)
        self.assertGreaterEqual(len(self.xm_files), 29)

    def test_info_matches_the_prescan_rules(self):
        for path in self.xm_files:
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
                if reference.get("instruments") == 0:
                    # MOD and S3M samples are instruments here; openmpt123 has none.
                    del reference["instruments"]
                for key, value in reference.items():
                    # Our pattern count includes an added pattern for orders that
                    # name missing patterns; the corpus has none.
                    self.assertEqual(int(got[key]), value, key)


if __name__ == "__main__":
    unittest.main(verbosity=2)
