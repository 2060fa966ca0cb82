"""The aarch64 build renders exactly what the x86-64 build renders.

Both modrender binaries render the intro's module and every corpus module; the
aarch64 one runs under qemu-aarch64. Their raw float output must be equal to
the bit.
"""
import hashlib
import os
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
NATIVE = os.environ["MODRENDER"]
AARCH64 = os.environ["MODRENDER_AARCH64"]
SECONDS = "20"
SKIP = 77


def corpus_files():
    cache = subprocess.run(["bash", os.path.join(ROOT, "scripts", "fetch-corpus.sh")],
                           capture_output=True, text=True, check=True).stdout.strip()
    return sorted(os.path.join(cache, name) for name in os.listdir(cache)
                  if name.lower().endswith((".xm", ".s3m", ".mod")))


def render_digest(command, module):
    out = subprocess.run(command + ["-t", SECONDS, "-o", "-", module], capture_output=True,
                         check=True, timeout=600).stdout
    return hashlib.sha256(out).hexdigest(), len(out)


class Aarch64Test(unittest.TestCase):
    def test_renders_are_bit_identical(self):
        qemu = ["qemu-aarch64", "-L", "/usr/aarch64-linux-gnu", AARCH64]
        modules = [os.path.join(ROOT, "assets", "intro.xm")] + corpus_files()
        for module in modules:
            with self.subTest(module=os.path.basename(module)):
                native = render_digest([NATIVE], module)
                cross = render_digest(qemu, module)
                self.assertEqual(native, cross)


if __name__ == "__main__":
    if not os.path.exists(AARCH64):
        print(f"no aarch64 build at {AARCH64} (make cross-build)")
        sys.exit(SKIP)
    unittest.main(verbosity=2)
