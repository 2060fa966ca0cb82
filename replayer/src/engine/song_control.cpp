// SPDX-License-Identifier: GPL-2.0-or-later
// What an embedding program asks of a song beyond its frames: how long one
// pass lasts, when a row plays, seeking, repeats, subsongs and a jump to
// another section. All run the sequencer alone; none mixes.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine.h"

namespace replayer {

void restart_song(ReplayContext* context) {
    if (context) prepare_playback(*context);
}

namespace {

// Counts frames exactly as the generator spends them, from the song's start:
// a frame that starts with less than one frame of tick left runs a tick, the
// frames before it do not. Stops at the frame whose tick makes stop() true
// (that frame not counted) or after `limit_frames`.
template <typename Stop>
uint64_t walk_song(ReplayContext& ctx, uint64_t limit_frames, bool& stopped, Stop stop) {
    prepare_playback(ctx);
    uint64_t frames = 0;
    stopped = false;
    while (frames < limit_frames) {
        const uint32_t quiet = frames_before_tick(ctx.playback);
        if (quiet > 0) {
            const uint64_t take = std::min<uint64_t>(quiet, limit_frames - frames);
            ctx.playback.tick_remainder -= static_cast<uint32_t>(take) * TICK_UNITS_PER_FRAME;
            frames += take;
            continue;
        }
        advance_frame(ctx);
        if (stop()) {
            stopped = true;
            break;
        }
        ++frames;
    }
    return frames;
}

// The tick just run fetched a row (not a repeat of one under a pattern delay).
bool fetched_row(const ReplayContext& ctx) {
    return ctx.playback.tick == 1 && ctx.playback.delay_repeats == 0;
}

// Runs the song from its start until stop() says so (a frame not counted) or
// the limit, and says how far it went and which row it stopped at.
template <typename Stop> PassInfo measure(ReplayContext& ctx, uint64_t limit_frames, Stop stop) {
    PassInfo pass{};
    pass.frames = walk_song(ctx, limit_frames, pass.ended, stop);
    if (pass.ended) {
        pass.end_order = ctx.playing_order;
        pass.end_row = ctx.playing_row;
    }
    return pass;
}

// Walks the subsongs in turn, main song first: each from the lowest order
// position no earlier one reached, for one pass. visit(index, info) returns
// false to stop. Returns how many were walked. Leaves the song at the
// selected subsong's start.
template <typename Visit> uint32_t walk_subsongs(ReplayContext& ctx, Visit visit) {
    const uint16_t selected = ctx.song.start_order, selected_end = ctx.song.end_order;
    const uint64_t limit = uint64_t{PASS_LIMIT_SECONDS} * ctx.settings.sample_rate;
    bool reached[ORDER_TABLE_SIZE] = {};
    uint32_t count = 0;
    for (uint16_t start = 0; start < ctx.song_length;) {
        ctx.song.start_order = start;
        ctx.song.end_order = song_end_after(ctx, start);
        SubsongInfo info{};
        info.start_order = start;
        info.pass = measure(ctx, limit, [&] {
            if (fetched_row(ctx)) reached[ctx.playing_order] = true;
            return pass_ended(ctx);
        });
        info.seconds = static_cast<double>(info.pass.frames) / ctx.settings.sample_rate;
        reached[start] = true; // even a start the song leaves before fetching a row
        if (!visit(count++, info)) break;
        while (start < ctx.song_length && reached[start]) ++start;
    }
    ctx.song.start_order = selected;
    ctx.song.end_order = selected_end;
    prepare_playback(ctx);
    return count;
}

} // namespace

bool set_repeat_count(ReplayContext* context, int32_t count) {
    if (!context || count < REPEAT_FOREVER) return false;
    context->song.repeat_count = count;
    return true;
}

uint32_t list_subsongs(ReplayContext* context, SubsongInfo* out, uint32_t capacity) {
    if (!context) return 0;
    return walk_subsongs(*context, [&](uint32_t index, const SubsongInfo& info) {
        if (out && index < capacity) out[index] = info;
        return true;
    });
}

bool select_subsong(ReplayContext* context, uint32_t index) {
    if (!context || index >= MAX_SUBSONGS) return false;
    ReplayContext& ctx = *context;
    bool found = false;
    uint16_t start = 0;
    walk_subsongs(ctx, [&](uint32_t i, const SubsongInfo& info) {
        if (i != index) return true;
        found = true;
        start = info.start_order;
        return false;
    });
    if (!found) return false;
    ctx.song.start_order = start;
    ctx.song.end_order = song_end_after(ctx, start);
    ctx.song.subsong = static_cast<uint8_t>(index);
    prepare_playback(ctx);
    return true;
}

// The frame whose tick fetches a row played before is not part of the pass.
PassInfo measure_pass(ReplayContext* context, uint64_t limit_frames) {
    if (!context) return PassInfo{};
    ReplayContext& ctx = *context;
    const PassInfo pass = measure(ctx, limit_frames, [&] { return pass_ended(ctx); });
    prepare_playback(ctx);
    return pass;
}

PassInfo measure_song(ReplayContext* context, uint64_t limit_frames) {
    if (!context) return PassInfo{};
    ReplayContext& ctx = *context;
    const PassInfo song =
        measure(ctx, limit_frames, [&] { return pass_ended(ctx) && !start_next_pass(ctx); });
    prepare_playback(ctx);
    return song;
}

RowTime time_at(ReplayContext* context, uint16_t order, uint8_t row) {
    RowTime at{};
    if (!context || order >= context->song_length) return at;
    ReplayContext& ctx = *context;
    const uint64_t limit = uint64_t{PASS_LIMIT_SECONDS} * ctx.settings.sample_rate;
    bool stopped = false;
    const uint64_t frame = walk_song(ctx, limit, stopped, [&] {
        return pass_ended(ctx) ||
               (fetched_row(ctx) && ctx.playing_order == order && ctx.playing_row == row);
    });
    at.found = stopped && !pass_ended(ctx);
    if (at.found) {
        at.frame = frame;
        at.seconds = static_cast<double>(frame) / ctx.settings.sample_rate;
    }
    prepare_playback(ctx);
    return at;
}

void seek_to_frame(ReplayContext* context, uint64_t frame) {
    if (!context) return;
    prepare_playback(*context);
    skip_frames(*context, frame);
}

bool seek_to_seconds(ReplayContext* context, double seconds) {
    if (!context || !(seconds >= 0.0) || seconds > SEEK_LIMIT_SECONDS) return false;
    seek_to_frame(context,
                  static_cast<uint64_t>(std::llround(seconds * context->settings.sample_rate)));
    return true;
}

bool seek_to_row(ReplayContext* context, uint16_t order, uint8_t row) {
    const RowTime at = time_at(context, order, row);
    if (at.found) seek_to_frame(context, at.frame);
    return at.found;
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
    playback.extra_ticks = 0;
    playback.tick = playback.speed;
    playback.tick_remainder = 0;
    playback.passes_ended = 0;
    playback.song_ended = 0;
    for (int c = 0; c < ctx.channel_count; ++c) {
        ChannelState& ch = ctx.channels[c];
        ch.sample = nullptr; // playing voices stop; their settings stay
        ch.loop_counter = 0; // a pattern loop left behind does not hold the visits
        ch.loop_start_row = 0;
    }
    stop_background_voices(ctx);
    // The song starts afresh here: its next pass ends at the first row
    // played twice from now on.
    std::memset(ctx.row_visits, 0, size_t{ctx.song_length} * ROWS_PER_ORDER_ENTRY);
    playback.row_visits = 0;
    return true;
}

} // namespace replayer
