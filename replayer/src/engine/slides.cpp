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

namespace {

// IT's memory for an effect that reads the shared one, or null for effects
// that keep theirs elsewhere. E and F share one, and G joins them when the
// module links it; K and L slide with D's.
uint8_t* it_memory(const ReplayContext& ctx, ChannelState& ch, uint8_t effect) {
    switch (effect) {
    case EFFECT_S3M_VOLUME_SLIDE:
    case EFFECT_S3M_VIBRATO_VOLSLIDE:
    case EFFECT_S3M_TONE_PORTA_VOLSLIDE:
        return &ch.volume_slide_memory;
    case EFFECT_S3M_PORTA_UP:
    case EFFECT_S3M_PORTA_DOWN:
        return &ch.porta_up_memory;
    case EFFECT_TONE_PORTA:
        return (ctx.tracker_rules & RULE_IT_LINKED_PORTA) ? &ch.porta_up_memory : nullptr;
    case EFFECT_S3M_TREMOR:
        return &ch.tremor_memory;
    case EFFECT_S3M_ARPEGGIO:
        return &ch.arpeggio_memory;
    case EFFECT_S3M_RETRIG:
        return &ch.retrig_memory;
    case EFFECT_S3M_TREMOLO:
        return &ch.tremolo_memory;
    default:
        return nullptr;
    }
}

} // namespace

void remember_parameter(const ReplayContext& ctx, ChannelState& ch, uint8_t effect, uint8_t p) {
    uint8_t* memory = (ctx.tracker_rules & RULE_IT) ? it_memory(ctx, ch, effect) : nullptr;
    if (!memory) {
        if (p) ch.shared_memory = p;
        return;
    }
    if (p) *memory = p;
    ch.shared_memory = *memory;
    if (effect == EFFECT_TONE_PORTA) ch.tone_porta_speed = *memory;
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
