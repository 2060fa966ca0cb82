#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-2.0-or-later
"""modrender --write-compact over the corpus: the compact image of every
module reports the same --info (format and title aside) and renders the same
bytes.

usage: test_write_compact.py MODRENDER CORPUS_DIR
"""
import os
import subprocess
import sys
import tempfile

RENDER_SECONDS = "10"


def run(*args):
    return subprocess.run(args, capture_output=True, check=True).stdout


def info(modrender, path):
    lines = run(modrender, "--info", path).decode().splitlines()
    return dict(line.split(": ", 1) for line in lines if ": " in line)


def main(modrender, corpus):
    names = sorted(n for n in os.listdir(corpus) if n.lower().endswith((".xm", ".s3m", ".mod", ".it")))
    failures = 0
    with tempfile.TemporaryDirectory() as tmp:
        for name in names:
            module = os.path.join(corpus, name)
            image = os.path.join(tmp, name + ".compact")
            run(modrender, "--write-compact", image, module)
            want, got = info(modrender, module), info(modrender, image)
            for key in ("format", "title"):  # a compact image keeps no texts
                want.pop(key), got.pop(key)
            same_sound = run(modrender, "--exact", "-t", RENDER_SECONDS, "-o", "-", module) == run(
                modrender, "--exact", "-t", RENDER_SECONDS, "-o", "-", image)
            if want != got or not same_sound:
                failures += 1
                print(f"FAIL {name}: info {want} != {got}" if want != got else
                      f"FAIL {name}: compact image renders differently")
    print(f"{len(names) - failures} passed, {failures} failed")
    return 1 if failures or not names else 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        sys.exit(2)
    sys.exit(main(sys.argv[1], sys.argv[2]))
