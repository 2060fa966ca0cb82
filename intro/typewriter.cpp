// SPDX-License-Identifier: GPL-2.0-or-later
#include "typewriter.h"

#include <algorithm>
#include <cstring>

#include "font.h"
#include "render.h"
#include "texts.h"

Typewriter typewriter = {0, -1, nullptr, nullptr, 0, 0, 0, 0.0f, {0.0f, 0.0f}};

namespace {
constexpr float CELL_WIDTH = GLYPH_WIDTH * PAGE_GLYPH_SIZE;   // 16 units
constexpr float LINE_HEIGHT = GLYPH_HEIGHT * PAGE_GLYPH_SIZE; // 32 units

bool step_due() {
    return frame_time - typewriter.text_step_time > STEP_INTERVAL;
}

void erase_step() {
    Typewriter& tw = typewriter;
    if (!step_due() || tw.page_on_screen == tw.page_selected) return;
    if (tw.reveal_first < tw.reveal_last) {
        ++tw.reveal_first;
        tw.text_step_time = frame_time;
    } else {
        reset_page();
    }
}

void draw_page() {
    const Typewriter& tw = typewriter;
    float pen_x = 0.0f;
    float pen_y = 0.0f;
    for (uint32_t j = 0; tw.page_on_screen[j]; ++j) {
        const char byte = tw.page_on_screen[j];
        if (byte == CARRIAGE_RETURN) continue;
        if (byte == LINE_FEED) {
            pen_x = 0.0f;
            pen_y += LINE_HEIGHT;
            continue;
        }
        if (byte != SPACE && tw.reveal_first <= j && j <= tw.reveal_last)
            draw_glyph(static_cast<uint8_t>(byte), PAGE_GLYPH_SIZE, tw.page_origin.x + pen_x,
                       tw.page_origin.y + pen_y);
        pen_x += CELL_WIDTH;
    }
}

void typing_step() {
    Typewriter& tw = typewriter;
    const auto length = static_cast<uint32_t>(tw.page_length);
    if (!step_due() || tw.reveal_last == length) return;
    tw.reveal_last = std::min(tw.reveal_last + 1, length);
    tw.text_step_time = frame_time;
}
} // namespace

void reset_page() {
    Typewriter& tw = typewriter;
    if (!tw.page_selected) return;
    tw.page_length = static_cast<int>(std::strlen(tw.page_selected));
    tw.page_on_screen = tw.page_selected;

    // A line feed counts as a character of the line it ends.
    int count = 0;
    int widest = 0;
    int line_feeds = 0;
    for (const char* p = tw.page_selected; *p; ++p) {
        ++count;
        widest = std::max(widest, count);
        if (*p == LINE_FEED) {
            ++line_feeds;
            count = 0;
        }
    }

    tw.reveal_first = 0;
    tw.reveal_last = 0;
    tw.text_step_time = frame_time;
    tw.page_origin.x = (static_cast<float>(VIRTUAL_WIDTH) - CELL_WIDTH * widest) * 0.5f;
    tw.page_origin.y = (static_cast<float>(VIRTUAL_HEIGHT) - LINE_HEIGHT * line_feeds) * 0.5f;
}

void select_page() {
    Typewriter& tw = typewriter;
    if (tw.page_index == tw.page_index_shown) return;
    if (tw.page_index >= PAGE_COUNT) tw.page_index = 0;
    tw.page_selected = page_texts[tw.page_index];
    tw.page_index_shown = tw.page_index;
}

void step_and_draw_page() {
    if (!typewriter.page_selected) return;
    erase_step();
    draw_page();
    typing_step();
}

void advance_page_timer() {
    if (frame_time - typewriter.text_step_time > PAGE_STAND_TIME) {
        ++typewriter.page_index;
        typewriter.text_step_time = frame_time;
    }
}
