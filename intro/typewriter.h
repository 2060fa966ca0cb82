// SPDX-License-Identifier: GPL-2.0-or-later
// The typewriter: types a page out one byte per step, lets it stand for ten
// seconds, erases it from its first byte on and moves to the next page,
// 0..5 and round again.
#pragma once

#include <cstdint>

inline constexpr float PAGE_STAND_TIME = 10.0f; // s a typed page stands before the next is chosen
inline constexpr int PAGE_GLYPH_SIZE = 2;       // 16x32 units per character

struct Vec2 {
    float x;
    float y;
};

struct Typewriter {
    // Choice of page.
    int page_index;            // page wanted, 0..5 (6 wraps to 0 when selected)
    int page_index_shown;      // page last selected, -1 before the first
    const char* page_selected; // text of the selected page, null before setup

    // The page being typed, standing or erased.
    const char* page_on_screen; // set only by reset_page
    int page_length;            // bytes of page_on_screen
    uint32_t reveal_first;      // bytes reveal_first..reveal_last are visible
    uint32_t reveal_last;       //   (0..page_length)
    float text_step_time;       // s, last typing or erase step or page advance
    Vec2 page_origin;           // top-left corner of the text block, units
};

extern Typewriter typewriter;

// Puts page_selected on screen with only its first byte visible, centred on its
// widest line.
void reset_page();

// Switches page_selected when page_index moved on (wrapping 6 to 0).
void select_page();

// Erase step, drawing and typing step of one frame.
void step_and_draw_page();

// Moves page_index on once a page has stood long enough.
void advance_page_timer();
