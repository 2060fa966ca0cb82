# SPDX-License-Identifier: GPL-2.0-or-later
"""The real intro's picture under a real X server, read back with xwd.

About 3.5 s after start the window must show both colour bars across the full
width in their colour ranges, every star where the C library's unseeded rand()
and the step rule put it, the logo, page 0 fully typed and the scroller.
"""
import ctypes
import ctypes.util
import os
import struct
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import rig  # noqa: E402

W, H = 1024, 768
FONT = os.path.join(os.path.dirname(__file__), "..", "..", "assets", "font.bmp")
PAGE_0 = ("  QUILLRUN IS BACK AGAIN\nWITH ANOTHER GREAT RELEASE\n\n THIS TIME WE BROUGHT YOU:\n"
          "  SKYLET2 FACTORY IMAGE\n\n  RELEASED ON 2026/XX/XX")
PAGE_0_ORIGIN = (296, 288)
PAGE_BOX = (296, 288, 296 + 27 * 16, 288 + 7 * 32)  # x0, y0, x1, y1
LOGO_BOX = (252, 37, 252 + 64 * 8, 37 + 5 * 16)
BAR_ROWS = (range(154, 161), range(614, 621))
STAR_BAND = range(162, 613)  # rows clear of both bars
STAR_COUNT = 512
FIRST_LOOK = 3.5  # s after start
# Typing page 0 takes more than 128 steps of 0.02 s before its last byte shows,
# so any frame that shows it whole was drawn later than this in scene time.
TYPED_SCENE_TIME = 128 * 0.02
STAR_PERIOD = 1024  # steps after which every star is back where it started


class Picture:
    """An xwd dump of a 32-bit TrueColor window, as three planes of bytes."""

    def __init__(self, data):
        fields = struct.unpack(">25I", data[:100])  # the header is always big-endian
        header_size, self.width, self.height, byte_order = fields[0], fields[4], fields[5], fields[7]
        bits_per_pixel, bytes_per_line, masks, ncolors = fields[11], fields[12], fields[14:17], fields[19]
        if bits_per_pixel != 32 or set(masks) != {0xFF0000, 0xFF00, 0xFF}:
            raise AssertionError("unexpected xwd pixel layout")
        start = header_size + 12 * ncolors
        pixels = b"".join(data[start + y * bytes_per_line:start + y * bytes_per_line + 4 * self.width]
                          for y in range(self.height))
        # Byte k of a pixel holds bits 8k..8k+7 (LSB first) or the reverse.
        position = {0xFF0000: 2, 0xFF00: 1, 0xFF: 0}
        if byte_order != 0:
            position = {m: 3 - p for m, p in position.items()}
        self.planes = [pixels[position[m]::4] for m in (masks[0], masks[1], masks[2])]

    @classmethod
    def from_bgrx(cls, width, height, pixels):
        """From 32-bit pixels, blue in the first byte (as XGetImage gives
        them on a little-endian machine)."""
        picture = cls.__new__(cls)
        picture.width, picture.height = width, height
        picture.planes = [pixels[2::4], pixels[1::4], pixels[0::4]]
        return picture

    def at(self, x, y):
        i = y * self.width + x
        return (self.planes[0][i], self.planes[1][i], self.planes[2][i])

    def lit(self, x, y):
        return self.at(x, y) != (0, 0, 0)

    def white(self, x, y):
        return self.at(x, y) == (255, 255, 255)

    def lit_span(self, y, x0=0, x1=None):
        """(first, last) x of the lit pixels of row y within x0..x1-1, or None."""
        x1 = self.width if x1 is None else x1
        start = y * self.width
        found = None
        for plane in self.planes:
            row = plane[start + x0:start + x1]
            stripped = row.lstrip(b"\0")
            if stripped:
                first = x0 + len(row) - len(stripped)
                last = x0 + len(row.rstrip(b"\0")) - 1
                found = (first, last) if found is None else (min(found[0], first),
                                                             max(found[1], last))
        return found

    def lit_outside(self, rect):
        """The rows with a lit pixel outside rect (x, y, w, h)."""
        x0, y0, w, h = rect
        rows = []
        for y in range(self.height):
            if not y0 <= y < y0 + h:
                if self.lit_span(y):
                    rows.append(y)
            elif self.lit_span(y, 0, x0) or self.lit_span(y, x0 + w):
                rows.append(y)
        return rows


def font_ink():
    """ink(code, gx, gy) from the committed 1-bit font bitmap."""
    with open(FONT, "rb") as f:
        bmp = f.read()
    pixels = bmp[62:]

    def ink(code, gx, gy):
        x, y = code % 32 * 8 + gx, code // 32 * 16 + gy
        return (pixels[(127 - y) * 32 + x // 8] >> (7 - x % 8)) & 1
    return ink


def initial_stars():
    """The 512 star positions of an unseeded rand() (which runs as if seeded with 1)."""
    libc = ctypes.CDLL(ctypes.util.find_library("c"))
    libc.srand(1)
    stars = []
    for _ in range(STAR_COUNT):
        x = libc.rand() % 1024
        stars.append((x, libc.rand() % 453 + 161))
    return stars


def footprint(x, y):
    return [(px, py) for px in (x - 1, x) for py in (y - 1, y) if px >= 0]


def stars_after(stars, steps):
    return [((x - steps * (2 if i % 3 == 0 else 1)) & 1023, y) for i, (x, y) in enumerate(stars)]


class PictureTest(unittest.TestCase):
    def setUp(self):
        self.server = rig.xvfb()
        self.display = self.server.__enter__()
        self.started = time.monotonic()
        self.intro = rig.Intro(self.display)
        self.window = self.intro.wait_window()

    def tearDown(self):
        self.intro.kill()
        self.server.__exit__(None, None, None)

    def look(self):
        dump = subprocess.run(["xwd", "-silent", "-id", self.window], env=rig.x_env(self.display),
                              capture_output=True, timeout=30, check=True).stdout
        picture = Picture(dump)
        self.assertEqual((picture.width, picture.height), (W, H))
        return picture

    def page_0_pixels(self, ink):
        lit = set()
        pen_x = pen_y = 0
        for ch in PAGE_0:
            if ch == "\n":
                pen_x, pen_y = 0, pen_y + 32
                continue
            if ch != " ":
                for py in range(32):
                    for px in range(16):
                        if ink(ord(ch), px // 2, py // 2):
                            lit.add((PAGE_0_ORIGIN[0] + pen_x + px, PAGE_0_ORIGIN[1] + pen_y + py))
            pen_x += 16
        return lit

    def test_picture_at_three_and_a_half_seconds(self):
        ink = font_ink()
        page = self.page_0_pixels(ink)
        stars = initial_stars()

        # A loaded machine draws fewer frames a second, and the typewriter
        # steps at most once a frame: look until the page is whole. It then
        # stands for ten seconds, many looks long.
        time.sleep(max(0.0, FIRST_LOOK - (time.monotonic() - self.started)))
        deadline = time.monotonic() + rig.PATIENCE
        while True:
            pic = self.look()
            # The intro's clock started after self.started: no frame in this
            # picture is later than this in scene time.
            seen_at = time.monotonic() - self.started
            typed = all(pic.white(x, y) for x, y in page)
            if typed or time.monotonic() > deadline:
                break
            time.sleep(0.25)
        print(f"page 0 fully typed: {typed}, seen {seen_at:.2f} s after start", file=sys.stderr)
        self.assertTrue(typed, "page 0 is not fully typed")

        # Bars: every pixel of their rows in the range their colours swim in.
        for bar in BAR_ROWS:
            for y in bar:
                for x in range(W):
                    r, g, b = pic.at(x, y)
                    self.assertTrue(74 <= r and 49 <= g and 125 <= b, f"bar pixel {x},{y}")

        # Stars: one number of steps puts all 512 where the pixels are.
        matches = [k for k in range(STAR_PERIOD)
                   if all(pic.white(px, py)
                          for x, y in stars_after(stars, k) for px, py in footprint(x, y)
                          if py in STAR_BAND)]
        self.assertEqual(len(matches), 1, f"star step counts that fit: {matches}")
        expected = {p for x, y in stars_after(stars, matches[0]) for p in footprint(x, y)}
        x0, y0, x1, y1 = PAGE_BOX
        stray = [(x, y) for y in STAR_BAND for x in range(W)
                 if pic.lit(x, y) and (x, y) not in expected
                 and not (x0 <= x < x1 and y0 <= y < y1)]
        self.assertEqual(stray, [], "lit pixels between the bars that are no star")

        # Page 0: its glyphs and nothing else in its block, stars aside.
        wrong = [(x, y) for y in range(y0, y1) for x in range(x0, x1)
                 if (x, y) not in expected and ((x, y) in page) != pic.white(x, y)]
        self.assertEqual(wrong, [], "page 0 block differs from its text")

        # Logo: white, inside its box, eight letters three cells apart.
        lx0, ly0, lx1, ly1 = LOGO_BOX
        for y in range(0, 154):
            for x in range(W):
                if pic.lit(x, y):
                    self.assertTrue(pic.white(x, y), f"logo pixel {x},{y} not white")
                    self.assertTrue(lx0 <= x < lx1 and ly0 <= y < ly1, f"logo pixel {x},{y}")
        columns = [any(pic.white(x, y) for y in range(ly0, ly1)) for x in range(W)]
        letters = sum(1 for x in range(1, W) if columns[x] and not columns[x - 1])
        self.assertEqual(letters, 8)

        # Scroller: coloured glyphs below the lower bar, entering from the right.
        lit = [(x, y) for y in range(622, H) for x in range(W) if pic.lit(x, y)]
        self.assertGreater(len(lit), 500)
        for x, y in lit:
            r, g, b = pic.at(x, y)
            self.assertTrue(150 <= r and 99 <= g and 49 <= b, f"scroller pixel {x},{y}")
        leftmost = min(x for x, _ in lit)
        self.assertLessEqual(leftmost, 1024 - 90 * TYPED_SCENE_TIME)
        self.assertGreaterEqual(leftmost, 1024 - 90 * seen_at - 24)


if __name__ == "__main__":
    unittest.main(verbosity=2)
