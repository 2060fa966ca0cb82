// SPDX-License-Identifier: GPL-2.0-or-later
// Effects that steer the song or the timing of a row: jumps, breaks, loops,
// speed, BPM, pattern delay, and the note timing of retrigger and note delay.
// When several channels set the same field on one row, the later channel wins.
#include <algorithm>

#include "engine.h"

namespace replayer {

namespace {

// One pass of a pattern loop: jump back until the count is reached.
void loop_count_step(ReplayContext& ctx, ChannelState& ch, uint8_t count) {
    PlaybackState& playback = ctx.playback;
    if (ch.loop_counter == count) {
        ch.loop_counter = 0;
        return;
    }
    ++ch.loop_counter;
    playback.jump_pending = 1;
    playback.start_row = ch.loop_start_row;
    playback.jump_order = static_cast<uint8_t>(playback.order_position);
}

// The row being fetched: handle_row runs while next_row still names it.
uint8_t current_row(const ReplayContext& ctx) {
    return ctx.playback.next_row;
}

} // namespace

void row_position_jump(ReplayContext& ctx, ChannelState&, uint8_t p) {
    ctx.playback.jump_pending = 1;
    ctx.playback.start_row = 0;
    ctx.playback.jump_order = p;
}

void row_pattern_break(ReplayContext& ctx, ChannelState&, uint8_t p) {
    ctx.playback.break_pending = 1;
    ctx.playback.start_row = p;
}

void row_set_speed(ReplayContext& ctx, ChannelState&, uint8_t p) {
    ctx.playback.speed = p;
}
void row_set_bpm(ReplayContext& ctx, ChannelState&, uint8_t p) {
    ctx.playback.bpm = p;
}

// T0x slows the tempo by x each later tick, T1x speeds it up; 32..255.
void tick_tempo_slide(ReplayContext& ctx, ChannelState&, uint8_t p) {
    constexpr int SLOWEST = 32, FASTEST = 255;
    const int x = p & 0x0F, bpm = ctx.playback.bpm;
    ctx.playback.bpm = static_cast<uint8_t>((p >> 4) == 0 ? std::max(SLOWEST, bpm - x)
                                                          : std::min(FASTEST, bpm + x));
}

void row_row_loop(ReplayContext& ctx, ChannelState& ch, uint8_t p) {
    ch.loop_start_row = current_row(ctx);
    loop_count_step(ctx, ch, p);
}

// In XM a loop start also marks where the following pattern begins, unless a
// later break or jump on the way says otherwise.
void row_pattern_loop(ReplayContext& ctx, ChannelState& ch, uint8_t p) {
    if (p == 0) {
        ch.loop_start_row = current_row(ctx);
        if (!(ctx.tracker_rules & RULE_NO_LOOP_START_CARRY))
            ctx.playback.start_row = ch.loop_start_row;
        return;
    }
    loop_count_step(ctx, ch, p);
}

void row_pattern_delay(ReplayContext& ctx, ChannelState&, uint8_t p) {
    ctx.playback.pattern_delay = p;
}

void row_fine_pattern_delay(ReplayContext& ctx, ChannelState&, uint8_t p) {
    ctx.playback.extra_ticks = static_cast<uint8_t>(std::min(ctx.playback.extra_ticks + p, 255));
}

void row_high_offset(ReplayContext&, ChannelState& ch, uint8_t p) {
    ch.sample_offset_high = p & 0x0F;
}

int row_ticks(const PlaybackState& playback) {
    return std::min(playback.speed + playback.extra_ticks, 255);
}

void tick_retrigger(ReplayContext& ctx, ChannelState& ch, uint8_t p) {
    if (p == 0 || ctx.playback.tick % p != 0) return;
    reset_on_trigger(ctx, ch);
    trigger_sample(ctx, ch);
    update_instrument_tick(ctx, ch);
}

// The whole row handling of the slot happens on the delay tick; a delay at or
// beyond the speed never comes, and the slot's row work is lost.
void tick_note_delay(ReplayContext& ctx, ChannelState& ch, uint8_t p) {
    if (ctx.playback.tick != p) return;
    const InstrumentRecord* carried_from = carry_source(ch);
    handle_row(ctx, ch);
    reset_on_trigger(ctx, ch, carried_from);
    if (ch.slot->note < NOTE_KEY_OFF) trigger_sample(ctx, ch);
    update_instrument_tick(ctx, ch);
}

} // namespace replayer
