# SPDX-License-Identifier: GPL-2.0-or-later
"""The aarch64 build renders exactly what the x86-64 build renders.

Sound: both modrender binaries render the intro's module and every corpus
module, exactly as the intro plays them and in each interpolation mode with
ramping at 44100 Hz; their raw float output must be equal to the bit. Picture: both
intro_screenshots binaries draw the scene at fixed scene times, each under its
own Xvfb with Mesa's software renderer; the pixels must be equal. The aarch64
programs run under qemu-aarch64 with the arm64 multiarch libraries.
"""
import concurrent.futures
import hashlib
import os
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
NATIVE_BIN = os.environ["NATIVE_BIN_DIR"]
AARCH64_BIN = os.environ["AARCH64_BIN_DIR"]
QEMU = ["qemu-aarch64", "-L", "/"]
SECONDS = "20"
LISTENING_SECONDS = "8"  # each interpolation mode: the kernels' edges and ramps, not the song
RENDERINGS = [("--exact", "-t", SECONDS)] + [
    ("--rate", "44100", "--ramp", "--interp", mode, "-t", LISTENING_SECONDS)
    for mode in ("nearest", "linear", "cubic", "sinc")]
# Early, with page 0 typed, and late enough for the page cycle and the star
# steps to have run many times.
SCENE_TIMES = ("0.5", "3.5", "20")
SHOWN_DIFFERENCES = 10
SKIP = 77


def corpus_files():
    cache = subprocess.run(["bash", os.path.join(ROOT, "scripts", "fetch-corpus.sh")],
                           capture_output=True, text=True, check=True).stdout.strip()
    return sorted(os.path.join(cache, name) for name in os.listdir(cache)
                  if name.lower().endswith((".xm", ".s3m", ".mod")))


def render_digest(command, module, rendering):
    out = subprocess.run(command + [*rendering, "-o", "-", module], capture_output=True,
                         check=True, timeout=600).stdout
    return hashlib.sha256(out).hexdigest(), len(out)


def png_pixels(path):
    """(width, height, RGB bytes) of an 8-bit RGB PNG without interlacing."""
    with open(path, "rb") as f:
        data = f.read()
    pos, idat = 8, b""
    while pos < len(data):
        size, kind = struct.unpack_from(">I4s", data, pos)
        body = data[pos + 8:pos + 8 + size]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack_from(">IIBB", body)
            if (depth, colour) != (8, 2):
                raise AssertionError(f"{path}: not 8-bit RGB")
        elif kind == b"IDAT":
            idat += body
        pos += 12 + size
    raw, stride, bpp = zlib.decompress(idat), width * 3, 3
    pixels, previous = bytearray(), bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b, c = previous[i], previous[i - bpp] if i >= bpp else 0
            if kind == 1:
                line[i] = (line[i] + a) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + b) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 0xFF
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 0xFF
        pixels += line
        previous = line
    return width, height, bytes(pixels)


def screenshots(command, out_dir):
    """Runs intro_screenshots under a private Xvfb; returns the PNG paths in time order."""
    result = subprocess.run(["bash", os.path.join(ROOT, "tests", "with-xvfb.sh"), *command,
                             out_dir, *SCENE_TIMES], capture_output=True, text=True, timeout=1800)
    if result.returncode != 0:
        raise AssertionError(f"{command[-1]} failed: {result.stderr.strip()}")
    return result.stdout.split()


class SoundTest(unittest.TestCase):
    def test_renders_are_bit_identical(self):
        native, cross = os.path.join(NATIVE_BIN, "modrender"), os.path.join(AARCH64_BIN, "modrender")
        modules = [os.path.join(ROOT, "assets", "intro.xm")] + corpus_files()
        cases = [(module, rendering) for module in modules for rendering in RENDERINGS]
        with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
            digests = list(pool.map(lambda case: (render_digest([native], *case),
                                                  render_digest(QEMU + [cross], *case)), cases))
        for (module, rendering), (x86, arm) in zip(cases, digests):
            with self.subTest(module=os.path.basename(module), rendering=" ".join(rendering)):
                self.assertEqual(x86, arm)


class PictureTest(unittest.TestCase):
    def test_scene_pictures_are_identical(self):
        with tempfile.TemporaryDirectory() as work:
            native_dir, cross_dir = os.path.join(work, "x86-64"), os.path.join(work, "aarch64")
            os.mkdir(native_dir)
            os.mkdir(cross_dir)
            with concurrent.futures.ThreadPoolExecutor() as pool:
                native = pool.submit(screenshots, [os.path.join(NATIVE_BIN, "intro_screenshots")],
                                     native_dir)
                cross = pool.submit(screenshots,
                                    QEMU + [os.path.join(AARCH64_BIN, "intro_screenshots")],
                                    cross_dir)
                pairs = list(zip(native.result(), cross.result()))
            self.assertEqual(len(pairs), len(SCENE_TIMES))
            for time, (native_png, cross_png) in zip(SCENE_TIMES, pairs):
                with self.subTest(scene_time=time):
                    with open(native_png, "rb") as a, open(cross_png, "rb") as b:
                        if a.read() == b.read():
                            continue  # the same encoder wrote the same pixels
                    width, _, expected = png_pixels(native_png)
                    _, _, seen = png_pixels(cross_png)
                    differing = [i // 3 for i in range(0, len(expected), 3)
                                 if expected[i:i + 3] != seen[i:i + 3]]
                    shown = ", ".join(f"({p % width},{p // width}) {expected[3 * p:3 * p + 3].hex()}"
                                      f" != {seen[3 * p:3 * p + 3].hex()}"
                                      for p in differing[:SHOWN_DIFFERENCES])
                    self.assertEqual(len(differing), 0, f"{len(differing)} pixels differ: {shown}")


if __name__ == "__main__":
    if not os.path.isdir(AARCH64_BIN):
        print(f"no aarch64 build at {AARCH64_BIN} (make cross-build)")
        sys.exit(SKIP)
    unittest.main(verbosity=2)
