#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-2.0-or-later
"""Rendering speed on the public corpus: CPU time (user + system) to render
each module for 600 s with modrender, with `xmp -i nearest -f 48000` and with
`openmpt123 --filter 1 --ramping 0`, all looping the song and writing to
/dev/null. Each run is repeated and the fastest counts, since the machine is
shared. Prints one table row per module and the totals; the goal is modrender
at most two thirds of xmp's time.

usage: bench_render.py MODRENDER [SECONDS [REPEATS]]"""
import os
import resource
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
FETCH = os.path.join(HERE, "..", "..", "scripts", "fetch-corpus.sh")
GOAL = 2 / 3
DEFAULT_REPEATS = 3


def fastest(command, repeats):
    """The least CPU time over several runs, or None when a run fails."""
    times = [cpu_seconds(command) for _ in range(repeats)]
    return None if None in times else min(times)


def cpu_seconds(command):
    """CPU time of one child run, or None when it fails."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    result = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if result.returncode != 0:
        return None
    return (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def players(modrender, seconds):
    yield "modrender", lambda path: [modrender, "-t", str(seconds), "-o", "/dev/null", path]
    if shutil.which("xmp"):
        yield "xmp", lambda path: ["xmp", "-q", "-l", "-i", "nearest", "-f", "48000",
                                   "-t", str(seconds), "-c", path]
    if shutil.which("openmpt123"):
        yield "openmpt123", lambda path: ["openmpt123", "--quiet", "--batch", "--repeat", "-1",
                                          "--end-time", str(seconds), "--filter", "1",
                                          "--ramping", "0", "--samplerate", "48000",
                                          "--force", "-o", "/dev/null", path]


def main():
    if len(sys.argv) not in (2, 3, 4):
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    modrender = sys.argv[1]
    seconds = int(sys.argv[2]) if len(sys.argv) >= 3 else 600
    repeats = int(sys.argv[3]) if len(sys.argv) == 4 else DEFAULT_REPEATS
    corpus = subprocess.run(["bash", FETCH], check=True, capture_output=True,
                            text=True).stdout.strip()
    modules = sorted(f for f in os.listdir(corpus)
                     if f.lower().endswith((".xm", ".mod", ".s3m")))
    named = list(players(modrender, seconds))
    names = [name for name, _ in named]
    print(f"CPU seconds to render {seconds} s at 48000 Hz (fastest of {repeats})")
    print(f"{'module':<16}" + "".join(f"{n:>12}" for n in names) + f"{'ours/xmp':>10}")
    totals = {n: 0.0 for n in names}
    counted = 0
    for module in modules:
        path = os.path.join(corpus, module)
        times = {name: fastest(command(path), repeats) for name, command in named}
        cells = "".join(f"{times[n]:>12.2f}" if times[n] is not None else f"{'n/a':>12}"
                        for n in names)
        ratio = ""
        if times["modrender"] is not None and times.get("xmp"):
            ratio = f"{times['modrender'] / times['xmp']:>10.2f}"
            if all(times[n] is not None for n in names):
                counted += 1
                for n in names:
                    totals[n] += times[n]
        print(f"{module:<16}{cells}{ratio}")
    if counted and totals.get("xmp"):
        overall = totals["modrender"] / totals["xmp"]
        print(f"{'total':<16}" + "".join(f"{totals[n]:>12.2f}" for n in names) +
              f"{overall:>10.2f}")
        print(f"goal: at most {GOAL:.2f} of xmp's time: {'met' if overall <= GOAL else 'NOT met'}"
              f" ({counted} modules rendered by every player)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
