// SPDX-License-Identifier: GPL-2.0-or-later
// S3M pattern loops are global to the pattern: an SBy in any channel loops all
// of them, and a loop with no SB0 before it starts at the pattern's first row
// or right after the previous loop. The engine keeps loop state per channel,
// so each loop is moved onto one channel that is free on both of its rows.
#include "s3m_layout.h"

namespace replayer::s3m {

namespace {

constexpr uint8_t NO_LOOP_COMMAND = 0xFF;

struct Loop {
    uint8_t start_row;
    uint8_t end_row;
    uint8_t count; // 0: never closed
};

bool is_free(const PatternSlot& slot) {
    return slot.effect == 0 && slot.parameter == 0;
}

// Clears every SBy of the row and returns the y of the last one.
uint8_t take_loop_command(PatternSlot* row, uint8_t channel_count) {
    uint8_t y = NO_LOOP_COMMAND;
    for (uint8_t c = 0; c < channel_count; ++c) {
        if (row[c].effect != EFFECT_PATTERN_LOOP) continue;
        y = row[c].parameter;
        row[c].effect = 0;
        row[c].parameter = 0;
    }
    return y;
}

void place(PatternSlot* slots, uint8_t channel_count, const Loop& loop) {
    PatternSlot* start = slots + loop.start_row * channel_count;
    PatternSlot* end = slots + loop.end_row * channel_count;
    for (uint8_t c = 0; c < channel_count; ++c) {
        if (loop.start_row == loop.end_row) {
            if (!is_free(start[c])) continue;
            start[c].effect = EFFECT_ROW_LOOP;
            start[c].parameter = loop.count;
            return;
        }
        if (!is_free(start[c]) || !is_free(end[c])) continue;
        start[c].effect = EFFECT_PATTERN_LOOP;
        start[c].parameter = 0;
        end[c].effect = EFFECT_PATTERN_LOOP;
        end[c].parameter = loop.count;
        return;
    }
    // No channel is free on both rows: the loop cannot be expressed and is dropped.
}

} // namespace

void rework_loops(PatternSlot* slots, uint8_t channel_count) {
    Loop loops[ROWS + 1] = {};
    uint32_t open = 0; // the loop being built
    for (uint32_t row = 0; row < ROWS; ++row) {
        const uint8_t y = take_loop_command(slots + row * channel_count, channel_count);
        if (y == NO_LOOP_COMMAND) continue;
        if (y == 0) {
            loops[open].start_row = static_cast<uint8_t>(row);
            continue;
        }
        loops[open].end_row = static_cast<uint8_t>(row);
        loops[open].count = y;
        loops[++open].start_row = static_cast<uint8_t>(row + 1);
    }
    for (uint32_t i = 0; i < open; ++i) place(slots, channel_count, loops[i]);
}

} // namespace replayer::s3m
