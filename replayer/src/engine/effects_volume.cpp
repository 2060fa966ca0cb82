// SPDX-License-Identifier: GPL-2.0-or-later
// Volume effects: slides, set volume, global volume, tremolo, tremor, key-off,
// note cut and the multi-retrigger with its volume change.
#include "engine.h"

namespace replayer {

namespace {
constexpr int FINE_VOLUME_UP_UNITS = 16; // the up-memory holds the amount as a high nibble
} // namespace

void volume_slide(ChannelState& ch) {
    ch.volume_offset = 0;
    slide_value(ch.volume, ch.volume_slide_memory, MAX_VOLUME);
}

void tick_tremolo(ReplayContext& ctx, ChannelState& ch, uint8_t p) {
    set_nibbles(ch.tremolo_memory, p);
    tremolo_step(ctx, ch, ch.tremolo_memory);
}

void tick_volume_slide(ReplayContext&, ChannelState& ch, uint8_t) {
    volume_slide(ch);
}

void row_set_volume(ReplayContext&, ChannelState& ch, uint8_t p) {
    ch.volume_offset = 0;
    ch.volume = p;
}

void row_set_global_volume(ReplayContext& ctx, ChannelState&, uint8_t p) {
    ctx.playback.global_volume = p;
}

void row_global_volume_slide(ReplayContext&, ChannelState& ch, uint8_t p) {
    remember(ch.global_volume_slide_memory, p);
}

void tick_global_volume_slide(ReplayContext& ctx, ChannelState& ch, uint8_t) {
    slide_value(ctx.playback.global_volume, ch.global_volume_slide_memory, MAX_VOLUME);
}

void tick_key_off(ReplayContext& ctx, ChannelState& ch, uint8_t p) {
    if (ctx.playback.tick == p) key_off(ch);
}

void row_set_envelope_position(ReplayContext&, ChannelState& ch, uint8_t p) {
    ch.volume_envelope_pos = p;
    ch.panning_envelope_pos = p;
}

// The parameter always merges into the memory, nibble by nibble.
void row_multi_retrig(ReplayContext& ctx, ChannelState& ch, uint8_t p) {
    set_nibbles(ch.retrig_memory, p);
    multi_retrigger(ctx, ch, ch.retrig_memory);
}

void tick_multi_retrig(ReplayContext& ctx, ChannelState& ch, uint8_t) {
    multi_retrigger(ctx, ch, ch.retrig_memory);
}

void row_tremor(ReplayContext&, ChannelState& ch, uint8_t p) {
    remember(ch.tremor_memory, p);
}
void tick_tremor(ReplayContext&, ChannelState& ch, uint8_t) {
    tremor_step(ch, ch.tremor_memory);
}

void row_shared_volume_slide(ReplayContext& ctx, ChannelState& ch, uint8_t) {
    if (shared_slide_on_row_tick(ctx, ch)) shared_volume_slide(ch);
}

void tick_shared_volume_slide(ReplayContext&, ChannelState& ch, uint8_t) {
    if (shared_slide_on_later_tick(ch)) shared_volume_slide(ch);
}

void shared_multi_retrig(ReplayContext& ctx, ChannelState& ch, uint8_t) {
    multi_retrigger(ctx, ch, ch.shared_memory);
}

void row_tremolo_waveform(ReplayContext&, ChannelState& ch, uint8_t p) {
    ch.tremolo_waveform = p;
}

void row_fine_volume_up(ReplayContext&, ChannelState& ch, uint8_t p) {
    if (p) ch.fine_volume_up_memory = static_cast<uint8_t>(FINE_VOLUME_UP_UNITS * p);
    ch.volume_offset = 0;
    slide_value(ch.volume, ch.fine_volume_up_memory, MAX_VOLUME);
}

void row_fine_volume_down(ReplayContext&, ChannelState& ch, uint8_t p) {
    remember(ch.fine_volume_down_memory, p);
    ch.volume_offset = 0;
    slide_value(ch.volume, ch.fine_volume_down_memory, MAX_VOLUME);
}

void tick_note_cut(ReplayContext& ctx, ChannelState& ch, uint8_t p) {
    if (ctx.playback.tick == p) ch.volume = 0;
}

// Half depth: an arithmetic shift, so negative offsets round towards minus infinity.
void tick_shared_tremolo(ReplayContext& ctx, ChannelState& ch, uint8_t) {
    tremolo_step(ctx, ch, ch.shared_memory);
    ch.volume_offset = static_cast<int8_t>(ch.volume_offset >> 1);
}

void shared_tremor(ReplayContext&, ChannelState& ch, uint8_t) {
    tremor_step(ch, ch.shared_memory);
}

void row_set_channel_volume(ReplayContext&, ChannelState& ch, uint8_t p) {
    ch.channel_volume = p > MAX_VOLUME ? MAX_VOLUME : p;
}

void row_channel_volume_slide(ReplayContext& ctx, ChannelState& ch, uint8_t p) {
    remember(ch.channel_volume_slide_memory, p);
    row_volume_style_slide(ctx, ch.channel_volume, ch.channel_volume_slide_memory, MAX_VOLUME);
}

void tick_channel_volume_slide(ReplayContext&, ChannelState& ch, uint8_t) {
    tick_volume_style_slide(ch.channel_volume, ch.channel_volume_slide_memory, MAX_VOLUME);
}

void row_it_global_volume_slide(ReplayContext& ctx, ChannelState& ch, uint8_t p) {
    remember(ch.global_volume_slide_memory, p);
    row_volume_style_slide(ctx, ctx.playback.global_volume, ch.global_volume_slide_memory,
                           MAX_IT_GLOBAL_VOLUME);
}

void tick_it_global_volume_slide(ReplayContext& ctx, ChannelState& ch, uint8_t) {
    tick_volume_style_slide(ctx.playback.global_volume, ch.global_volume_slide_memory,
                            MAX_IT_GLOBAL_VOLUME);
}

} // namespace replayer
