// SPDX-License-Identifier: GPL-2.0-or-later
// Where playback stands, for callers that follow the song: the row fetched
// last, the ticks run on it, and whether the song's first pass is over; and
// what happens when a pass ends: another, or the end of the song.
#include <cstring>

#include "engine.h"

namespace replayer {

PlaybackPosition playback_position(const ReplayContext& ctx) {
    const PlaybackState& playback = ctx.playback;
    PlaybackPosition position{};
    position.order = ctx.playing_order;
    position.pattern = ctx.order_table[ctx.playing_order];
    position.row = ctx.playing_row;
    position.tick = playback.tick;
    position.frames_to_tick = frames_before_tick(playback);
    return position;
}

bool pass_ended(const ReplayContext& ctx) {
    return ctx.playback.row_visits != 0;
}

uint16_t song_end_after(const ReplayContext& ctx, uint16_t order) {
    for (uint16_t k = order; k < ctx.song_length; ++k)
        if (ctx.song_breaks[k / 8] & (1u << (k % 8))) return static_cast<uint16_t>(k + 1);
    return ctx.song_length;
}

uint16_t song_restart(const ReplayContext& ctx) {
    const uint16_t start = ctx.song.start_order;
    // The first song the file holds (and every section within it) goes on at
    // the module's restart position; a song the file separates, at its start.
    if (start < song_end_after(ctx, 0))
        return ctx.restart_position < ctx.song_length ? ctx.restart_position : 0;
    return start;
}

bool song_ended(const ReplayContext& ctx) {
    return ctx.playback.song_ended != 0;
}

bool start_next_pass(ReplayContext& ctx) {
    PlaybackState& playback = ctx.playback;
    ++playback.passes_ended;
    const int32_t repeats = ctx.song.repeat_count;
    if (repeats != REPEAT_FOREVER && int64_t{playback.passes_ended} > repeats) {
        playback.song_ended = 1;
        return false;
    }
    // The row just fetched is the next pass's first visit; the visits start
    // afresh so that the next pass ends as the first did.
    std::memset(ctx.row_visits, 0, size_t{ctx.song_length} * ROWS_PER_ORDER_ENTRY);
    ctx.row_visits[size_t{ctx.playing_order} * ROWS_PER_ORDER_ENTRY + ctx.playing_row] = 1;
    playback.row_visits = 0;
    return true;
}

} // namespace replayer
