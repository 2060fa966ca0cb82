// SPDX-License-Identifier: GPL-2.0-or-later
// The common slide of volumes and panning, two-nibble parameter memories and
// the volume slide shared by the S3M-style effects.
#include "engine.h"

namespace replayer {

namespace {
constexpr uint8_t LOW_NIBBLE = 0x0F;
constexpr uint8_t HIGH_NIBBLE = 0xF0;
constexpr uint8_t FINE_NIBBLE = 0x0F; // a nibble of 0xF marks a fine (row-tick) slide
} // namespace

// A parameter up to 15 slides down by itself; otherwise its high nibble slides
// up and the low nibble is ignored.
void slide_value(uint8_t& value, uint8_t parameter, uint8_t maximum) {
    if (parameter <= LOW_NIBBLE) {
        value = parameter > value ? 0 : static_cast<uint8_t>(value - parameter);
        return;
    }
    const unsigned sum = unsigned{value} + (parameter >> 4);
    value = sum > maximum ? maximum : static_cast<uint8_t>(sum);
}

void set_nibbles(uint8_t& memory, uint8_t parameter) {
    if (parameter & LOW_NIBBLE)
        memory = static_cast<uint8_t>((memory & HIGH_NIBBLE) | (parameter & LOW_NIBBLE));
    if (parameter > LOW_NIBBLE)
        memory = static_cast<uint8_t>((memory & LOW_NIBBLE) | (parameter & HIGH_NIBBLE));
}

void volume_style_slide(uint8_t& value, uint8_t m, uint8_t maximum) {
    uint8_t parameter = m;
    if ((m & HIGH_NIBBLE) && (m & LOW_NIBBLE))
        parameter = (m & LOW_NIBBLE) == FINE_NIBBLE ? (m & HIGH_NIBBLE) : (m & LOW_NIBBLE);
    slide_value(value, parameter, maximum);
}

bool slides_on_row_tick(const ReplayContext& ctx, uint8_t m) {
    return m >= HIGH_NIBBLE || (m & LOW_NIBBLE) == FINE_NIBBLE ||
           (ctx.tracker_rules & RULE_FAST_SLIDE);
}

bool slides_on_later_tick(uint8_t m) {
    return m <= LOW_NIBBLE || (m & LOW_NIBBLE) == 0 ||
           ((m & LOW_NIBBLE) != FINE_NIBBLE && m < HIGH_NIBBLE);
}

void row_volume_style_slide(const ReplayContext& ctx, uint8_t& value, uint8_t memory,
                            uint8_t maximum) {
    if (slides_on_row_tick(ctx, memory)) volume_style_slide(value, memory, maximum);
}

void tick_volume_style_slide(uint8_t& value, uint8_t memory, uint8_t maximum) {
    if (slides_on_later_tick(memory)) volume_style_slide(value, memory, maximum);
}

void shared_volume_slide(ChannelState& ch) {
    ch.volume_offset = 0;
    volume_style_slide(ch.volume, ch.shared_memory, MAX_VOLUME);
}

bool shared_slide_on_row_tick(const ReplayContext& ctx, const ChannelState& ch) {
    return slides_on_row_tick(ctx, ch.shared_memory);
}

bool shared_slide_on_later_tick(const ChannelState& ch) {
    return slides_on_later_tick(ch.shared_memory);
}

} // namespace replayer
