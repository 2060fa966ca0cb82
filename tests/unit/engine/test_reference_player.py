# SPDX-License-Identifier: GPL-2.0-or-later
"""The first 10 s of every corpus XM, rendered by modrender and by the
reference player openmpt123 (nearest-neighbour, no ramping), have the same
loudness contour: the mono RMS over 20 ms windows correlates at 0.9 or more
for at least 90% of the modules. The players' gains, panning laws and tick
rounding differ, so levels are not compared; a wrong note, a missed effect or
a timing fault breaks the contour."""
import array
import os
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


def corpus_files():
    directory = subprocess.run(["bash", os.environ["FETCH_CORPUS"]], check=True,
                               capture_output=True, text=True).stdout.strip()
    return sorted(os.path.join(directory, f) for f in os.listdir(directory)
                  if f.lower().endswith(".xm"))


def floats(data):
    values = array.array("f")
    values.frombytes(data[:len(data) // 4 * 4])
    if sys.byteorder != "little":
        values.byteswap()
    return values


def ours(path):
    return floats(subprocess.run([MODRENDER, "-t", str(SECONDS), "-o", "-", path], check=True,
                                 capture_output=True).stdout)


def reference(path):
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "out.raw")
        subprocess.run(["openmpt123", "--quiet", "--batch", "--end-time", str(SECONDS),
                        "--filter", "1", "--ramping", "0", "--samplerate", str(RATE),
                        "--float", "--force", "-o", out, path], check=True,
                       capture_output=True)
        with open(out, "rb") as f:
            return floats(f.read())


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


if __name__ == "__main__":
    unittest.main(verbosity=2)
