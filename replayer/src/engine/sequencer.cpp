// SPDX-License-Identifier: GPL-2.0-or-later
// The song clock: counts output frames into ticks, ticks into rows, and walks
// the order table through breaks, jumps, loops and pattern delays. The song
// never ends: past the last order position it continues at the restart
// position (or, in a song the file separates from the others, at that song's
// start). It also sets a freshly loaded song to its start.
#include <cstring>

#include "engine.h"

namespace replayer {

namespace {

constexpr uint16_t EMPTY_PATTERN_ROWS = 64;
// Stands in for every row of a pattern that the order table names but the
// module does not hold: all channels read empty slots.
constexpr PatternSlot EMPTY_ROW[MAX_CHANNELS] = {};

struct PatternView {
    const PatternSlot* first_slot; // row 0, channel 0; null: every row is EMPTY_ROW
    uint16_t rows;
};

PatternView pattern_at(const ReplayContext& ctx, uint16_t order_position) {
    const uint8_t index = ctx.order_table[order_position];
    if (index >= ctx.pattern_count) return {nullptr, EMPTY_PATTERN_ROWS};
    const PatternRecord& pattern = ctx.patterns[index];
    if (pattern.row_count == 0 || uint32_t{pattern.first_row} + pattern.row_count > ctx.total_rows)
        return {nullptr, EMPTY_PATTERN_ROWS};
    return {ctx.slots + size_t{pattern.first_row} * ctx.channel_count, pattern.row_count};
}

uint16_t following_order(const ReplayContext& ctx, uint16_t order_position) {
    const unsigned next = order_position + 1u;
    return next < selected_song_end(ctx) ? static_cast<uint16_t>(next) : song_restart(ctx);
}

// Finishes the previous row's arpeggio and effect-column vibrato.
void end_previous_modulation(ChannelState& ch) {
    if (ch.arpeggio_active) {
        slide_period(ch, 0, SlideMode::plain);
        ch.arpeggio_active = 0;
        ch.arpeggio_offset = 0;
    }
    const PatternSlot& slot = *ch.slot;
    const bool vibrato_goes_on =
        slot.effect == EFFECT_VIBRATO || slot.effect == EFFECT_VIBRATO_VOLSLIDE ||
        slot.effect == EFFECT_FINE_VIBRATO || slot.effect == EFFECT_S3M_VIBRATO_VOLSLIDE ||
        volume_column_command(slot.volume) == VOLUME_COLUMN_VIBRATO;
    if (ch.vibrato_active && !vibrato_goes_on) ch.vibrato_offset = 0;
    if (slot.effect != EFFECT_PANBRELLO) ch.panbrello_offset = 0;
}

} // namespace

uint32_t tick_length(const PlaybackState& playback) {
    // A BPM of 0 (possible only as a module's default) plays as 1.
    const uint32_t bpm = playback.bpm ? playback.bpm : 1;
    return uint32_t{playback.frame_rate} * TICK_LENGTH_FACTOR / bpm;
}

void advance_frame(ReplayContext& ctx) {
    const uint32_t remainder = ctx.playback.tick_remainder;
    ctx.playback.tick_remainder = remainder - TICK_UNITS_PER_FRAME;
    if (remainder < TICK_UNITS_PER_FRAME) run_tick(ctx);
}

void run_tick(ReplayContext& ctx) {
    PlaybackState& playback = ctx.playback;
    if (playback.tick >= row_ticks(playback)) {
        ++playback.delay_repeats;
        playback.tick = 0;
    }
    if (playback.tick == 0 &&
        (playback.pattern_delay == 0 || playback.pattern_delay < playback.delay_repeats))
        fetch_row(ctx);
    for (int c = 0; c < ctx.channel_count; ++c) {
        ChannelState& ch = ctx.channels[c];
        update_instrument_tick(ctx, ch);
        if (playback.tick != 0 || playback.delay_repeats != 0) handle_tick_effects(ctx, ch);
        update_voice(ctx, ch);
    }
    run_background_voices(ctx);
    ++playback.tick;
    playback.tick_remainder += tick_length(playback);
}

void fetch_row(ReplayContext& ctx) {
    PlaybackState& playback = ctx.playback;
    playback.delay_repeats = 0;
    playback.pattern_delay = 0;
    playback.extra_ticks = 0;
    if (playback.jump_pending || playback.break_pending) {
        playback.order_position = playback.jump_pending
                                      ? playback.jump_order
                                      : following_order(ctx, playback.order_position);
        playback.next_row = playback.start_row;
        playback.start_row = 0;
        playback.jump_pending = 0;
        playback.break_pending = 0;
    }
    if (playback.order_position >= selected_song_end(ctx))
        playback.order_position = song_restart(ctx);

    const PatternView pattern = pattern_at(ctx, playback.order_position);
    // A break or loop-start row beyond the pattern's end starts it from the top.
    if (playback.next_row >= pattern.rows) playback.next_row = 0;
    const uint8_t row = playback.next_row;
    ctx.playing_order = static_cast<uint8_t>(playback.order_position);
    ctx.playing_row = row;
    const PatternSlot* row_slots =
        pattern.first_slot ? pattern.first_slot + size_t{row} * ctx.channel_count : EMPTY_ROW;

    bool inside_loop = false;
    for (int c = 0; c < ctx.channel_count; ++c) {
        ChannelState& ch = ctx.channels[c];
        ch.slot = &row_slots[c];
        if (ch.slot->effect != EFFECT_NOTE_DELAY) handle_row(ctx, ch);
        if (ch.loop_counter != 0) inside_loop = true;
        end_previous_modulation(ch);
    }
    // Repeated passes of a pattern loop do not count as visits.
    if (!inside_loop) {
        uint8_t& visits =
            ctx.row_visits[size_t{playback.order_position} * ROWS_PER_ORDER_ENTRY + row];
        playback.row_visits = visits;
        ++visits;
    }
    playback.next_row = static_cast<uint8_t>(row + 1);
    if (playback.jump_pending || playback.break_pending) return;
    if (playback.next_row < pattern.rows && playback.next_row != 0) return;
    playback.next_row = playback.start_row;
    playback.start_row = 0;
    playback.order_position = following_order(ctx, playback.order_position);
}

void prepare_playback(ReplayContext& ctx) {
    init_render_settings(ctx);
    for (int c = 0; c < ctx.channel_count; ++c) {
        ChannelState& ch = ctx.channels[c];
        const uint8_t flags = ch.control_flags, cut = ch.control_cut; // the caller's, kept
        std::memset(&ch, 0, sizeof ch);
        ch.control_flags = flags;
        ch.control_cut = cut;
        ch.channel_panning = ctx.channel_panning[c];
        ch.channel_volume = ctx.channel_volume[c];
        ch.filter_cutoff = FILTER_OPEN_CUTOFF;
        ch.filter_envelope = FILTER_ENVELOPE_FULL;
    }
    for (int v = ctx.channel_count; v < voice_records(ctx); ++v)
        std::memset(&ctx.channels[v], 0, sizeof(ChannelState));
    std::memset(ctx.row_visits, 0, uint64_t{ctx.song_length} * ROWS_PER_ORDER_ENTRY);
    ctx.playback = PlaybackState{};
    ctx.playing_order = 0;
    ctx.playing_row = 0;
    ctx.playback.frame_rate = ctx.settings.sample_rate;
    ctx.playback.global_volume = ctx.default_global_volume;
    ctx.playback.speed = ctx.default_speed;
    ctx.playback.bpm = ctx.default_bpm;
    // A selected subsong starts at its own order position.
    if (ctx.song.start_order < ctx.song_length) ctx.playback.order_position = ctx.song.start_order;
}

} // namespace replayer
