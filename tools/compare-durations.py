#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-2.0-or-later
"""Compares the one-pass duration of modules as modrender measures it
(`modrender --info`, key duration_s) with openmpt123's (`openmpt123 --info
--subsong 0`: without it, openmpt123 adds up every sub-song of a module, such as
the patterns an S3M keeps after its end marker).

usage: compare-durations.py MODRENDER MODULE_OR_DIR...

Prints one table row per module and a summary line; a difference above 1%
is marked with '!'. Exit status 0 whatever the differences (it reports, it
does not judge), 1 when a tool fails on a module, 2 for bad usage.
"""
import os
import re
import subprocess
import sys

EXTENSIONS = (".xm", ".s3m", ".mod", ".it")
TOLERANCE = 0.01  # relative difference counted as agreement


def modules(paths):
    for path in paths:
        if os.path.isdir(path):
            for name in sorted(os.listdir(path)):
                if name.lower().endswith(EXTENSIONS):
                    yield os.path.join(path, name)
        else:
            yield path


def ours(modrender, path):
    out = subprocess.run([modrender, "--info", path], capture_output=True, text=True, check=True)
    match = re.search(r"^duration_s:\s*([0-9.]+)", out.stdout, re.M)
    if not match:
        raise ValueError("modrender printed no duration_s")
    return float(match.group(1))


def reference(path):
    out = subprocess.run(["openmpt123", "--info", "--subsong", "0", path], capture_output=True,
                         text=True, check=True)
    match = re.search(r"^Duration\.*:\s*(?:(\d+):)?(\d+):([0-9.]+)", out.stdout + out.stderr, re.M)
    if not match:
        raise ValueError("openmpt123 printed no duration")
    hours, minutes, seconds = match.groups()
    return int(hours or 0) * 3600 + int(minutes) * 60 + float(seconds)


def main(argv):
    if len(argv) < 3:
        print(__doc__.strip().splitlines()[3], file=sys.stderr)
        return 2
    modrender, paths = argv[1], list(modules(argv[2:]))
    width = max([len(os.path.basename(p)) for p in paths] + [len("module")])
    print(f"{'module':<{width}} {'modrender s':>12} {'openmpt123 s':>13} {'diff %':>8}")
    agree = total = 0
    for path in paths:
        try:
            a, b = ours(modrender, path), reference(path)
        except (subprocess.CalledProcessError, ValueError) as error:
            print(f"compare-durations: {path}: {error}", file=sys.stderr)
            return 1
        diff = (a - b) / b * 100 if b else float("inf")
        ok = abs(diff) <= TOLERANCE * 100
        agree += ok
        total += 1
        mark = "" if ok else " !"
        print(f"{os.path.basename(path):<{width}} {a:>12.3f} {b:>13.3f} {diff:>+8.2f}{mark}")
    print(f"{agree} of {total} within {TOLERANCE * 100:g}%")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
