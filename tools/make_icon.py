#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-2.0-or-later
"""Draws the intro's desktop icon: the Q of the block-letter logo, made of the
font's block glyphs exactly as the intro draws the logo, on a black square.

usage: make_icon.py TEXTS.cpp FONT.bmp OUT.png

The logo is read from the intro's own texts, the glyphs from its own font image,
so the icon follows both. Errors are one line on stderr; exit 1 for input it
cannot use, 2 for bad usage.
"""
import re
import struct
import sys
import zlib

GLYPH_W, GLYPH_H = 8, 16
FONT_COLUMNS = 32
FONT_WIDTH, FONT_HEIGHT = 256, 128
FONT_PIXELS_OFFSET = 14 + 40 + 8  # file header, info header, two palette entries
FONT_ROW_BYTES = FONT_WIDTH // 8
# The logo's art characters and the code page 437 glyphs they stand for.
ART_GLYPHS = {"#": 0xDB, "v": 0xDC, "^": 0xDF}
LETTER_COLUMNS = 6  # the Q's cells in each art line
ICON_SIZE = 64
# The logo's cells are 8x16; three quarters of that keeps every half block
# whole (6x6 pixels) and fits the letter's five lines into the icon.
SCALE_NUM, SCALE_DEN = 3, 4
# Ink from the top colour bar's violet to its amber, top to bottom.
INK_TOP, INK_BOTTOM = (0xC0, 0x70, 0xF0), (0xF8, 0xC8, 0x60)


def fail(message, status=1):
    sys.stderr.write(f"make_icon: {message}\n")
    sys.exit(status)


def logo_art(texts_path):
    """The lines of the logo art as the intro's texts define them."""
    with open(texts_path) as f:
        source = f.read()
    block = re.search(r"LOGO_ART\[\]\s*=\s*((?:\s*\"[^\"]*\")+)\s*;", source)
    if not block:
        fail(f"{texts_path}: no LOGO_ART")
    text = "".join(re.findall(r"\"([^\"]*)\"", block.group(1))).replace("\\n", "\n")
    return text.split("\n")


def font_ink(font_path):
    with open(font_path, "rb") as f:
        bmp = f.read()
    if len(bmp) < FONT_PIXELS_OFFSET + FONT_ROW_BYTES * FONT_HEIGHT or bmp[:2] != b"BM":
        fail(f"{font_path}: not the intro's font image")
    pixels = bmp[FONT_PIXELS_OFFSET:]

    def ink(code, gx, gy):
        x = code % FONT_COLUMNS * GLYPH_W + gx
        y = code // FONT_COLUMNS * GLYPH_H + gy
        row = FONT_HEIGHT - 1 - y  # stored bottom row first
        return (pixels[row * FONT_ROW_BYTES + x // 8] >> (7 - x % 8)) & 1
    return ink


def letter_bitmap(art, ink):
    """ink_at(x, y) for the Q at the logo's own size (8x16 units a cell)."""
    lines = [line[:LETTER_COLUMNS].ljust(LETTER_COLUMNS) for line in art]

    def ink_at(x, y):
        art_char = lines[y // GLYPH_H][x // GLYPH_W]
        code = ART_GLYPHS.get(art_char)
        return code is not None and ink(code, x % GLYPH_W, y % GLYPH_H)
    return ink_at, LETTER_COLUMNS * GLYPH_W, len(lines) * GLYPH_H


def icon_rows(ink_at, width, height):
    scaled_w, scaled_h = width * SCALE_NUM // SCALE_DEN, height * SCALE_NUM // SCALE_DEN
    left, top = (ICON_SIZE - scaled_w) // 2, (ICON_SIZE - scaled_h) // 2
    rows = []
    for y in range(ICON_SIZE):
        row = bytearray()
        sy = y - top
        shade = [a + (b - a) * max(0, min(sy, scaled_h)) // scaled_h
                 for a, b in zip(INK_TOP, INK_BOTTOM)]
        for x in range(ICON_SIZE):
            sx = x - left
            inside = 0 <= sx < scaled_w and 0 <= sy < scaled_h
            if inside and ink_at(sx * SCALE_DEN // SCALE_NUM, sy * SCALE_DEN // SCALE_NUM):
                row += bytes(shade) + b"\xff"
            else:
                row += b"\x00\x00\x00\xff"
        rows.append(bytes(row))
    return rows


def png(rows):
    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body
                + struct.pack(">I", zlib.crc32(kind + body)))
    header = struct.pack(">IIBBBBB", ICON_SIZE, ICON_SIZE, 8, 6, 0, 0, 0)  # 8-bit RGBA
    raw = b"".join(b"\x00" + row for row in rows)  # filter 0 on every row
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main(argv):
    if len(argv) != 4:
        fail("usage: make_icon.py TEXTS.cpp FONT.bmp OUT.png", 2)
    try:
        ink_at, width, height = letter_bitmap(logo_art(argv[1]), font_ink(argv[2]))
        data = png(icon_rows(ink_at, width, height))
        with open(argv[3], "wb") as f:
            f.write(data)
    except OSError as e:
        fail(f"{e.filename}: {e.strerror}")


if __name__ == "__main__":
    main(sys.argv)
