// SPDX-License-Identifier: GPL-2.0-or-later
// Where playback stands, for callers that follow the song: the row fetched
// last, the ticks run on it, and whether the song's first pass is over.
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

} // namespace replayer
