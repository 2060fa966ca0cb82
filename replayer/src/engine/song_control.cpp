// SPDX-License-Identifier: GPL-2.0-or-later
// What an embedding program asks of a song beyond its frames: how long one
// pass lasts, and a jump to another section. Both work on the sequencer
// alone; neither mixes.
#include <algorithm>
#include <cstring>

#include "engine.h"

namespace replayer {

void restart_song(ReplayContext* context) {
    if (context) prepare_playback(*context);
}

// Counts frames exactly as the generator spends them: a frame that starts
// with less than one frame of tick left runs a tick, the frames before it do
// not. The frame whose tick fetches a row played before is not part of the
// pass.
PassInfo measure_pass(ReplayContext* context, uint64_t limit_frames) {
    PassInfo pass{};
    if (!context) return pass;
    ReplayContext& ctx = *context;
    prepare_playback(ctx);
    while (pass.frames < limit_frames) {
        const uint32_t quiet = frames_before_tick(ctx.playback);
        if (quiet > 0) {
            const uint64_t take = std::min<uint64_t>(quiet, limit_frames - pass.frames);
            ctx.playback.tick_remainder -= static_cast<uint32_t>(take) * TICK_UNITS_PER_FRAME;
            pass.frames += take;
            continue;
        }
        advance_frame(ctx);
        if (pass_ended(ctx)) {
            pass.ended = true;
            pass.end_order = ctx.playing_order;
            pass.end_row = ctx.playing_row;
            break;
        }
        ++pass.frames;
    }
    prepare_playback(ctx);
    return pass;
}

bool set_position(ReplayContext* context, uint16_t order, uint8_t row) {
    if (!context || order >= context->song_length) return false;
    ReplayContext& ctx = *context;
    PlaybackState& playback = ctx.playback;
    // As a position jump: the next frame runs a tick that fetches the row.
    playback.jump_pending = 1;
    playback.jump_order = static_cast<uint8_t>(order);
    playback.start_row = row;
    playback.break_pending = 0;
    playback.pattern_delay = 0;
    playback.delay_repeats = 0;
    playback.tick = playback.speed;
    playback.tick_remainder = 0;
    for (int c = 0; c < ctx.channel_count; ++c) {
        ChannelState& ch = ctx.channels[c];
        ch.sample = nullptr; // playing voices stop; their settings stay
        ch.loop_counter = 0; // a pattern loop left behind does not hold the visits
        ch.loop_start_row = 0;
    }
    // The song starts afresh here: its next pass ends at the first row
    // played twice from now on.
    std::memset(ctx.row_visits, 0, size_t{ctx.song_length} * ROWS_PER_ORDER_ENTRY);
    playback.row_visits = 0;
    return true;
}

} // namespace replayer
