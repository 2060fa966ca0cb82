#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-2.0-or-later
"""Rendering speed on the public corpus, per interpolation mode: CPU time
(user + system) to render each module for 600 s with modrender and with the
reference players' matching setting, all looping the song and writing to
/dev/null at 48000 Hz. Each run is repeated and the fastest counts, since the
machine is shared. Prints one row per module for the intro's rendering
(modrender --exact against xmp -i nearest and openmpt123 --filter 1), then the
corpus totals of every mode and their ratios against the goals; then the same
totals over the corpus's IT modules, held to half of openmpt123's time in
every mode.

  mode      modrender                  xmp            openmpt123
  nearest   --exact                    -i nearest     --filter 1 --ramping 0
  linear    --interp linear --no-ramp  -i linear      --filter 2 --ramping 0
  cubic     --interp cubic --no-ramp   -i spline      --filter 4 --ramping 0
  sinc      --interp sinc --ramp       -              --filter 8 (its default ramping)

usage: bench_render.py MODRENDER [SECONDS [REPEATS]]"""
import os
import resource
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
FETCH = os.path.join(HERE, "..", "..", "scripts", "fetch-corpus.sh")
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


MODES = {
    "nearest": (["--exact"], "nearest", ["--filter", "1", "--ramping", "0"]),
    "linear": (["--interp", "linear", "--no-ramp"], "linear", ["--filter", "2", "--ramping", "0"]),
    "cubic": (["--interp", "cubic", "--no-ramp"], "spline", ["--filter", "4", "--ramping", "0"]),
    "sinc": (["--interp", "sinc", "--ramp"], None, ["--filter", "8"]),
}
# modrender's time over the reference's, at most: (reference, goal) per mode.
GOALS = {"nearest": ("xmp", 0.4), "linear": ("xmp", 0.5), "sinc": ("openmpt123", 0.5)}
IT_GOAL = ("openmpt123", 0.5)  # every mode, on the IT modules


def players(modrender, seconds, mode, with_xmp=True):
    ours, xmp_mode, openmpt = MODES[mode]
    yield "modrender", lambda path: [modrender, *ours, "-t", str(seconds), "-o", "/dev/null", path]
    if with_xmp and shutil.which("xmp") and xmp_mode:
        yield "xmp", lambda path: ["xmp", "-q", "-l", "-i", xmp_mode, "-f", "48000",
                                   "-t", str(seconds), "-c", path]
    if shutil.which("openmpt123"):
        yield "openmpt123", lambda path: ["openmpt123", "--quiet", "--batch", "--repeat", "-1",
                                          "--end-time", str(seconds), *openmpt,
                                          "--samplerate", "48000", "--force", "-o", "/dev/null",
                                          path]


def bench(mode, modules, corpus, modrender, seconds, repeats, rows, with_xmp=True):
    """Totals per player over the modules every player rendered."""
    named = list(players(modrender, seconds, mode, with_xmp))
    names = [name for name, _ in named]
    totals = {n: 0.0 for n in names}
    if rows:
        print(f"{'module':<48}" + "".join(f"{n:>12}" for n in names))
    for module in modules:
        path = os.path.join(corpus, module)
        times = {name: fastest(command(path), repeats) for name, command in named}
        if rows:
            print(f"{module:<48}" + "".join(
                f"{times[n]:>12.2f}" if times[n] is not None else f"{'n/a':>12}" for n in names))
        if all(times[n] is not None for n in names):
            for n in names:
                totals[n] += times[n]
    return totals


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
    it_modules = sorted(f for f in os.listdir(corpus) if f.lower().endswith(".it"))
    print(f"CPU seconds to render {seconds} s at 48000 Hz (fastest of {repeats})")
    summary = []
    for mode in MODES:
        totals = bench(mode, modules, corpus, modrender, seconds, repeats, mode == "nearest")
        line = f"{mode:<8}" + "".join(f"{n} {t:.2f}  " for n, t in totals.items())
        if mode in GOALS and totals.get(GOALS[mode][0]):
            reference, goal = GOALS[mode]
            ratio = totals["modrender"] / totals[reference]
            line += f"ours/{reference} {ratio:.2f} (goal {goal}: {'met' if ratio <= goal else 'NOT met'})"
        summary.append(line)
    print("\ntotals over the corpus")
    print("\n".join(summary))
    print(f"\ntotals over the {len(it_modules)} IT modules")
    for mode in MODES:
        totals = bench(mode, it_modules, corpus, modrender, seconds, repeats, False, False)
        line = f"{mode:<8}" + "".join(f"{n} {t:.2f}  " for n, t in totals.items())
        reference, goal = IT_GOAL
        if totals.get(reference):
            ratio = totals["modrender"] / totals[reference]
            line += f"ours/{reference} {ratio:.2f} (goal {goal}: {'met' if ratio <= goal else 'NOT met'})"
        print(line)
    return 0


if __name__ == "__main__":
    sys.exit(main())
