# SPDX-License-Identifier: GPL-2.0-or-later
"""The font tool: rebuilds the committed font image from its source font, and
refuses what it cannot use with one line on stderr."""
import gzip
import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", "..", ".."))
TOOL = os.path.join(ROOT, "tools", "make_font_bmp.py")
ASSET = os.path.join(ROOT, "assets", "font.bmp")
SOURCE_FONT = "/usr/share/consolefonts/default8x16.psf.gz"


def run_tool(*args):
    return subprocess.run([sys.executable, TOOL, *args], capture_output=True, text=True,
                          timeout=60)


class MakeFontBmpTest(unittest.TestCase):
    def setUp(self):
        tmp = tempfile.TemporaryDirectory(prefix="quillrun-font-")
        self.addCleanup(tmp.cleanup)
        self.tmp = tmp.name

    def path(self, name, data=None):
        path = os.path.join(self.tmp, name)
        if data is not None:
            with open(path, "wb") as f:
                f.write(data)
        return path

    def test_source_font_gives_the_committed_image(self):
        if not os.path.exists(SOURCE_FONT):
            self.skipTest(f"no {SOURCE_FONT} (Debian's console-data)")
        out = self.path("font.bmp")
        result = run_tool(SOURCE_FONT, out)
        self.assertEqual((result.returncode, result.stderr), (0, ""))
        with open(out, "rb") as made, open(ASSET, "rb") as committed:
            self.assertEqual(made.read(), committed.read())

    def test_unusable_input_is_refused_in_one_line(self):
        glyphs = bytes(256 * 16)
        psf = b"\x36\x04\x00\x10" + glyphs
        packed = gzip.compress(psf)
        cases = [
            ("not a font", b"plain text\n", 1),
            ("truncated gzip", packed[:len(packed) // 2], 1),
            ("corrupt gzip", packed[:10] + bytes(len(packed) - 10), 1),
            ("8 rows high", b"\x36\x04\x00\x08" + glyphs, 1),
            ("truncated glyphs", psf[:1000], 1),
        ]
        for name, data, status in cases:
            with self.subTest(name):
                result = run_tool(self.path("in.psf", data), self.path("out.bmp"))
                self.assertEqual(result.returncode, status)
                self.assertEqual(len(result.stderr.splitlines()), 1, result.stderr)
                self.assertTrue(result.stderr.startswith("make_font_bmp: "), result.stderr)
        with self.subTest("usage"):
            result = run_tool(self.path("in.psf", psf))
            self.assertEqual(result.returncode, 2)
            self.assertEqual(len(result.stderr.splitlines()), 1)


if __name__ == "__main__":
    unittest.main(verbosity=2)
