#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-2.0-or-later
"""Interpolation quality beside the reference players, on two tone modules
(written by tone_modules):

- SINAD: a looped 16-bit sine of period 8 frames at C-5 (a 2090.75 Hz tone at
  48000 Hz output): the tone's power over the power of everything else in
  seconds 1 to 3 of the left channel, the tone fitted by least squares.
- aliasing: a sine of period 2.5 frames at C-7, a 26.8 kHz tone above the
  24 kHz Nyquist frequency, whose whole output is aliasing: its power in
  seconds 1 to 3, in dB against the first module's tone.

And clicks: a module that cuts a full-scale note mid-cycle and starts
another mid-cycle, rendered by modrender with and without ramping: the
largest step between two output frames.

usage: bench_quality.py MODRENDER TONE_MODULES"""
import math
import os
import shutil
import struct
import subprocess
import sys
import tempfile

RATE = 48000
FIRST, LAST = 1 * RATE, 3 * RATE
NOMINAL_HZ = 16726 / 8
SEARCH_HZ = 2.0  # the tone is looked for this far either side of the nominal pitch
GOALS = "goal: sinc SINAD >= 90 dB and aliasing <= -60 dB; linear and cubic no worse than xmp's"


def players(modrender):
    for mode in ("nearest", "linear", "cubic", "sinc"):
        yield f"modrender --interp {mode}", lambda m, o, mode=mode: [
            modrender, "-t", "4", "--interp", mode, "--no-ramp", "-o", o, m]
    if shutil.which("openmpt123"):
        for taps in (1, 2, 4, 8):
            yield f"openmpt123 --filter {taps}", lambda m, o, taps=taps: [
                "openmpt123", "--quiet", "--batch", "--end-time", "4", "--filter", str(taps),
                "--ramping", "0", "--samplerate", str(RATE), "--force", "-o", o, m]
    if shutil.which("xmp"):
        for mode in ("nearest", "linear", "spline"):
            yield f"xmp -i {mode}", lambda m, o, mode=mode: [
                "xmp", "-q", "-i", mode, "-f", str(RATE), "-t", "4", "-o", o, m]


def left_channel(path):
    """The left channel of a 16-bit or float stereo WAV file, as floats."""
    with open(path, "rb") as f:
        data = f.read()
    pos, tag, bits, samples = 12, None, None, None
    while pos + 8 <= len(data):
        kind, size = struct.unpack_from("<4sI", data, pos)
        body = data[pos + 8:pos + 8 + size]
        if kind == b"fmt ":
            tag, _, _, _, _, bits = struct.unpack_from("<HHIIHH", body)
            if tag == 0xFFFE:
                tag = struct.unpack_from("<H", body, 24)[0]
        elif kind == b"data":
            count = len(body) // (bits // 8)
            code = "h" if tag == 1 else "f"
            scale = 1 / 32768 if tag == 1 else 1.0
            samples = [v * scale for v in struct.unpack_from(f"<{count}{code}", body)[0::2]]
        pos += 8 + size + (size & 1)
    return samples


def fit(x, hz, offset=0):
    """Least-squares fit of a sine, a cosine and a constant at `hz` (x starting
    `offset` samples in): their amplitudes a, b and d."""
    n = len(x)
    w = 2 * math.pi * hz / RATE
    ss = cc = sc = s1 = c1 = xs = xc = x1 = 0.0
    for i, v in enumerate(x):
        s, c = math.sin(w * (i + offset)), math.cos(w * (i + offset))
        ss += s * s; cc += c * c; sc += s * c; s1 += s; c1 += c
        xs += v * s; xc += v * c; x1 += v
    m = [[ss, sc, s1, xs], [sc, cc, c1, xc], [s1, c1, n, x1]]
    for i in range(3):
        p = m[i][i]
        m[i] = [v / p for v in m[i]]
        for k in range(3):
            if k != i:
                q = m[k][i]
                m[k] = [a - q * b for a, b in zip(m[k], m[i])]
    return m[0][3], m[1][3], m[2][3]


def sinad(x):
    """The tone's power and SINAD in dB. The tone's pitch is searched near the
    nominal one, then refined from the phase drift between the two halves."""
    low = NOMINAL_HZ - SEARCH_HZ
    power = lambda hz: sum(v * v for v in fit(x, hz)[:2])
    hz = max((power(low + k * 0.05), low + k * 0.05) for k in range(81))[1]
    half = len(x) // 2
    for _ in range(4):
        a1, b1, _ = fit(x[:half], hz)
        a2, b2, _ = fit(x[half:], hz, half)
        drift = math.atan2(b2, a2) - math.atan2(b1, a1)
        drift = (drift + math.pi) % (2 * math.pi) - math.pi
        hz += drift / (2 * math.pi * half / RATE)
    a, b, d = fit(x, hz)
    w = 2 * math.pi * hz / RATE
    rest = sum((v - a * math.sin(w * i) - b * math.cos(w * i) - d) ** 2
               for i, v in enumerate(x)) / len(x)
    tone = (a * a + b * b) / 2
    return tone, 10 * math.log10(tone / max(rest, 1e-30))


def main():
    if len(sys.argv) != 3:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    modrender, tone_modules = sys.argv[1:]
    with tempfile.TemporaryDirectory() as tmp:
        subprocess.run([tone_modules, tmp], check=True)
        print(f"{'player, setting':<28}{'SINAD':>10}{'aliasing':>11}")
        for name, command in players(modrender):
            out = os.path.join(tmp, "out.wav")
            results = []
            for module in ("sine8.xm", "sine2p5.xm"):
                subprocess.run(command(os.path.join(tmp, module), out), check=True,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                results.append(left_channel(out)[FIRST:LAST])
            tone, quality = sinad(results[0])
            alias = sum(v * v for v in results[1]) / len(results[1])
            print(f"{name:<28}{quality:>7.1f} dB{10 * math.log10(max(alias, 1e-30) / tone):>8.1f} dB")
        print(GOALS)
        print(f"\n{'clicks: largest step between frames':<40}{'':>10}")
        for options in (["--exact"], ["--interp", "nearest", "--ramp"], []):
            out = os.path.join(tmp, "cut.wav")
            subprocess.run([modrender, "-t", "2", *options, "-o", out,
                            os.path.join(tmp, "cut.xm")], check=True)
            x = left_channel(out)
            step = max(abs(b - a) for a, b in zip(x, x[1:]))
            name = "modrender " + (" ".join(options) or "(sinc, ramping)")
            print(f"{name:<40}{step:>10.4f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
