#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-2.0-or-later
"""Turns an 8x16 PSF1 console font in code page 437 order into the intro's font
image: a 1-bit 256x128 Windows bitmap, 32x8 cells of 8x16, code c at column
c mod 32 and row c div 32 counted from the top.

usage: make_font_bmp.py FONT.psf[.gz] OUT.bmp

Errors are one line on stderr; exit 1 for a font it cannot use, 2 for bad usage.
"""
import gzip
import struct
import sys
import zlib

PSF1_MAGIC = b"\x36\x04"
PSF1_MODE_512 = 0x01  # the font has 512 glyphs; the first 256 are used
GLYPH_W, GLYPH_H = 8, 16
COLUMNS, ROWS = 32, 8
WIDTH, HEIGHT = COLUMNS * GLYPH_W, ROWS * GLYPH_H
ROW_BYTES = WIDTH // 8
PIXELS_OFFSET = 14 + 40 + 8  # file header, info header, two palette entries
PIXELS_SIZE = ROW_BYTES * HEIGHT
PIXELS_PER_METRE = 2835  # 72 dpi


def fail(message, status=1):
    sys.stderr.write(f"make_font_bmp: {message}\n")
    sys.exit(status)


def read_glyphs(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:2] == b"\x1f\x8b":
        try:
            data = gzip.decompress(data)
        except (EOFError, zlib.error, gzip.BadGzipFile) as e:
            fail(f"{path}: broken gzip data ({e})")
    if len(data) < 4 or data[:2] != PSF1_MAGIC:
        fail(f"{path}: not a PSF1 font")
    mode, charsize = data[2], data[3]
    if charsize != GLYPH_H:
        fail(f"{path}: glyphs are {charsize} rows high, not {GLYPH_H}")
    count = 512 if mode & PSF1_MODE_512 else 256
    glyphs = data[4:4 + count * GLYPH_H]
    if len(glyphs) < 256 * GLYPH_H:
        fail(f"{path}: truncated glyph table")
    return glyphs


def atlas_rows(glyphs):
    """The 128 pixel rows of the atlas, top row first, 32 bytes each."""
    rows = []
    for y in range(HEIGHT):
        cell_row, line = divmod(y, GLYPH_H)
        rows.append(bytes(glyphs[(cell_row * COLUMNS + col) * GLYPH_H + line]
                          for col in range(COLUMNS)))
    return rows


def bitmap(rows):
    header = struct.pack("<2sIHHI", b"BM", PIXELS_OFFSET + PIXELS_SIZE, 0, 0, PIXELS_OFFSET)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 1, 0, PIXELS_SIZE,
                       PIXELS_PER_METRE, PIXELS_PER_METRE, 2, 2)
    palette = bytes([0, 0, 0, 0, 255, 255, 255, 0])  # 0 black background, 1 white ink
    return header + info + palette + b"".join(reversed(rows))  # bottom row first


def main(argv):
    if len(argv) != 3:
        fail("usage: make_font_bmp.py FONT.psf[.gz] OUT.bmp", 2)
    try:
        image = bitmap(atlas_rows(read_glyphs(argv[1])))
        with open(argv[2], "wb") as f:
            f.write(image)
    except OSError as e:
        fail(f"{e.filename}: {e.strerror}")


if __name__ == "__main__":
    main(sys.argv)
