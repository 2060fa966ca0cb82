#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-2.0-or-later
"""One pass through every corpus module lasts as long as in the reference
player openmpt123 (sub-song 0), within 1%, except the modules listed in
duration_differences.md, which must last exactly the duration given there and
still differ by more than 1%."""
import importlib.util
import os
import re
import shutil
import subprocess
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
TABLE = os.path.join(HERE, "duration_differences.md")
COMPARE = os.path.join(HERE, "..", "..", "..", "tools", "compare-durations.py")
MODRENDER = os.environ["MODRENDER"]

# The measurements are those of tools/compare-durations.py.
_spec = importlib.util.spec_from_file_location("compare_durations", COMPARE)
compare = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(compare)
EXTENSIONS = compare.EXTENSIONS
TOLERANCE = compare.TOLERANCE
EXACT = 0.0005  # modrender prints milliseconds


def corpus_files():
    directory = subprocess.run(["bash", os.environ["FETCH_CORPUS"]], check=True,
                               capture_output=True, text=True).stdout.strip()
    return sorted(os.path.join(directory, f) for f in os.listdir(directory)
                  if f.lower().endswith(EXTENSIONS))


def listed_durations():
    """Module name -> modrender duration, from the first table of the file."""
    listed = {}
    with open(TABLE, encoding="utf-8") as f:
        for line in f:
            cells = [c.strip() for c in line.strip().strip("|").split("|")]
            if line.startswith("## Differences kept"):
                break
            if len(cells) >= 2 and cells[0].lower().endswith(EXTENSIONS):
                listed[cells[0]] = float(cells[1])
    return listed


@unittest.skipUnless(shutil.which("openmpt123"), "openmpt123 not installed")
class Durations(unittest.TestCase):
    def test_every_module_as_long_as_in_the_reference_or_listed(self):
        files = corpus_files()
        self.assertGreaterEqual(len(files), 61)
        listed = listed_durations()
        names = {os.path.basename(p) for p in files}
        self.assertTrue(listed, "no module listed in the table")
        self.assertEqual(set(listed) - names, set(), "listed but not in the corpus")
        for path in files:
            name = os.path.basename(path)
            with self.subTest(module=name):
                a, b = compare.ours(MODRENDER, path), compare.reference(path)
                apart = abs(a - b) > TOLERANCE * b
                if name in listed:
                    self.assertAlmostEqual(a, listed[name], delta=EXACT)
                    self.assertTrue(apart, f"{a:.3f} s against {b:.3f} s: no longer apart")
                else:
                    self.assertFalse(apart, f"{a:.3f} s against {b:.3f} s, not in the table")

    def test_every_module_has_as_many_subsongs_as_in_the_reference(self):
        def count(command, pattern):
            out = subprocess.run(command, capture_output=True, text=True, check=True)
            return int(re.search(pattern, out.stdout + out.stderr, re.M).group(1))
        counts = []
        for path in corpus_files():
            with self.subTest(module=os.path.basename(path)):
                ours = count([MODRENDER, "--info", path], r"^subsongs: (\d+)$")
                self.assertEqual(ours, count(["openmpt123", "--info", path],
                                             r"^Subsongs\.*: (\d+)$"))
                counts.append(ours)
        self.assertGreater(max(counts), 2, "some module has several subsongs")


if __name__ == "__main__":
    unittest.main(verbosity=2)
