// SPDX-License-Identifier: GPL-2.0-or-later
// Helpers for the picture tests: the framebuffer read back top row first, and
// the font's ink read straight from the embedded bitmap bytes (independently of
// the decoder the intro uses).
#pragma once

#include <GL/gl.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "assets.h"
#include "render.h"

struct Rgb {
    int r, g, b;
};

struct Picture {
    std::vector<uint8_t> rgb; // VIRTUAL_WIDTH x VIRTUAL_HEIGHT, top row first

    Rgb at(int x, int y) const {
        const std::size_t i = (static_cast<std::size_t>(y) * VIRTUAL_WIDTH + x) * 3;
        return {rgb[i], rgb[i + 1], rgb[i + 2]};
    }
    bool lit(int x, int y) const {
        const Rgb c = at(x, y);
        return c.r || c.g || c.b;
    }
    bool white(int x, int y) const {
        const Rgb c = at(x, y);
        return c.r == 255 && c.g == 255 && c.b == 255;
    }
};

inline Picture read_picture() {
    Picture picture;
    std::vector<uint8_t> bottom_up(VIRTUAL_WIDTH * VIRTUAL_HEIGHT * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, VIRTUAL_WIDTH, VIRTUAL_HEIGHT, GL_RGB, GL_UNSIGNED_BYTE, bottom_up.data());
    picture.rgb.resize(bottom_up.size());
    const std::size_t row = VIRTUAL_WIDTH * 3;
    for (int y = 0; y < VIRTUAL_HEIGHT; ++y)
        for (std::size_t i = 0; i < row; ++i)
            picture.rgb[y * row + i] = bottom_up[(VIRTUAL_HEIGHT - 1 - y) * row + i];
    return picture;
}

// Ink of pixel (gx, gy) of the 8x16 glyph `code`, gy counted from the top.
inline bool font_ink(uint8_t code, int gx, int gy) {
    constexpr int PIXELS_OFFSET = 62, ROW_BYTES = 32, HEIGHT = 128;
    const int x = (code % 32) * 8 + gx;
    const int y = (code / 32) * 16 + gy;
    const uint8_t byte = font_image[PIXELS_OFFSET + (HEIGHT - 1 - y) * ROW_BYTES + x / 8];
    return (byte >> (7 - x % 8)) & 1;
}

// Whether a glyph drawn at integer (x, y) and `size` inks screen pixel (px, py).
inline bool glyph_inks(uint8_t code, int size, int x, int y, int px, int py) {
    const int gx = (px - x) / size, gy = (py - y) / size;
    if (px < x || py < y || gx >= 8 || gy >= 16) return false;
    return font_ink(code, gx, gy);
}
