// SPDX-License-Identifier: GPL-2.0-or-later
// The sine scroller: one line of size-3 glyphs running right to left at a
// fixed speed along a moving sine wave near the bottom of the screen.
#pragma once

#include <bit>

#include "typewriter.h"

inline constexpr float SCROLL_SPEED = 90.0f;     // units per second
inline constexpr float SCROLL_START_X = 1024.0f; // first cell just off the right edge
// Top of the cells before the wave: 675.84 as the float just below the nearest
// one. The glyphs' pixel rows on the wave depend on that last bit, so it is
// given exactly.
inline constexpr float SCROLL_BASELINE_Y = std::bit_cast<float>(0x4428F5C2u);
inline constexpr int SCROLL_GLYPH_SIZE = 3; // 24x48 units per character

struct Scroller {
    const char* scroller_text; // null before setup
    int scroll_length;         // bytes of scroller_text
    Vec2 scroll_pos;           // first character cell, units
};

extern Scroller scroller;

// Puts scroller_text back at its start position just off the right edge.
void reset_scroller();

// Draws the scroller in scroller_colors and moves it by this frame's delta.
void draw_scroller();
