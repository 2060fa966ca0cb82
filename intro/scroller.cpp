// SPDX-License-Identifier: GPL-2.0-or-later
#include "scroller.h"

#include <GL/gl.h>

#include <cmath>
#include <cstring>

#include "font.h"
#include "render.h"
#include "texts.h"

Scroller scroller = {nullptr, 0, {0.0f, 0.0f}};

namespace {
constexpr float CELL_WIDTH = GLYPH_WIDTH * SCROLL_GLYPH_SIZE;   // 24 units
constexpr float LINE_HEIGHT = GLYPH_HEIGHT * SCROLL_GLYPH_SIZE; // 48 units
constexpr float WAVE_AMPLITUDE = 48.0f;                         // units
constexpr float WAVE_COLUMN_PHASE = 0.05f; // phase per column, before the factor below
constexpr float WAVE_FREQUENCY = 4.0f;     // radians per phase unit
constexpr float LEFTMOST_DRAWN_X = -CELL_WIDTH;
constexpr float RIGHTMOST_DRAWN_X = static_cast<float>(VIRTUAL_WIDTH);
} // namespace

void reset_scroller() {
    if (!scroller.scroller_text) return;
    scroller.scroll_length = static_cast<int>(std::strlen(scroller.scroller_text));
    scroller.scroll_pos = {SCROLL_START_X, SCROLL_BASELINE_Y};
}

void draw_scroller() {
    if (!scroller.scroller_text) return;
    glEnableClientState(GL_COLOR_ARRAY);
    glColorPointer(3, GL_FLOAT, 0, scroller_colors);

    const float t = frame_time;
    float pen_x = 0.0f;
    float pen_y = 0.0f;
    unsigned column = 0;
    for (const char* p = scroller.scroller_text; *p; ++p) {
        ++column;
        if (*p == CARRIAGE_RETURN) continue;
        if (*p == SPACE) {
            pen_x += CELL_WIDTH;
            continue;
        }
        if (*p == LINE_FEED) {
            pen_x = 0.0f;
            pen_y += LINE_HEIGHT;
            column = 0;
            continue;
        }
        const float x = scroller.scroll_pos.x + pen_x;
        if (x >= LEFTMOST_DRAWN_X && x <= RIGHTMOST_DRAWN_X) {
            const float wave =
                sinf((static_cast<float>(column) * WAVE_COLUMN_PHASE + t) * WAVE_FREQUENCY);
            const float y = scroller.scroll_pos.y + pen_y + wave * WAVE_AMPLITUDE;
            draw_glyph(static_cast<uint8_t>(*p), SCROLL_GLYPH_SIZE, x, y);
        }
        pen_x += CELL_WIDTH;
    }

    scroller.scroll_pos.x -= SCROLL_SPEED * frame_delta;
    const int end_x = static_cast<int>(-CELL_WIDTH) * scroller.scroll_length;
    if (scroller.scroll_pos.x < static_cast<float>(end_x)) reset_scroller();
    glDisableClientState(GL_COLOR_ARRAY);
}
