// SPDX-License-Identifier: GPL-2.0-or-later
// What plays now, read from the context for players and visualisers.
#include <algorithm>

#include "engine.h"

namespace replayer {

namespace {

constexpr float PEAK_UNITS = 65535.0f;

} // namespace

void set_peak_meters(ReplayContext* context, bool on) {
    if (!context) return;
    context->song.peak_meters = on ? 1 : 0;
    clear_peaks(*context);
}

SongState song_state(const ReplayContext& ctx) {
    const PlaybackState& playback = ctx.playback;
    const PlaybackPosition at = playback_position(ctx);
    SongState state{};
    state.order = at.order;
    state.pattern = at.pattern;
    state.row = at.row;
    state.tick = at.tick;
    state.speed = playback.speed;
    state.tempo = playback.bpm;
    state.global_volume = playback.global_volume;
    state.passes_ended = playback.passes_ended;
    state.ended = playback.song_ended != 0;
    state.subsong = ctx.song.subsong;
    return state;
}

bool channel_info(const ReplayContext& ctx, uint8_t channel, ChannelInfo* info) {
    if (channel >= ctx.channel_count || !info) return false;
    const ChannelState& ch = ctx.channels[channel];
    info->playing = ch.sample && !ch.sample_ended;
    info->note = ch.note;
    info->instrument = ch.instrument_number;
    const int volume = ch.volume - ch.volume_offset;
    info->volume = static_cast<uint8_t>(volume < 0 ? 0 : volume > MAX_VOLUME ? MAX_VOLUME : volume);
    info->panning = ch.panning;
    // The notes the channel left playing in background voices sound as the
    // channel: its meters hold them too.
    uint16_t left = ch.peak_left, right = ch.peak_right;
    for (int v = ctx.channel_count; v < voice_records(ctx); ++v) {
        const ChannelState& voice = ctx.channels[v];
        if (voice.voice_owner != channel + 1) continue;
        info->playing = info->playing || (voice.sample && !voice.sample_ended);
        left = std::max(left, voice.peak_left);
        right = std::max(right, voice.peak_right);
    }
    info->peak_left = static_cast<float>(left) / PEAK_UNITS;
    info->peak_right = static_cast<float>(right) / PEAK_UNITS;
    return true;
}

uint16_t pattern_rows(const ReplayContext& ctx, uint16_t pattern) {
    if (pattern >= ctx.pattern_count) return 0;
    const PatternRecord& p = ctx.patterns[pattern];
    // A pattern whose rows lie outside the slots plays as empty: it has none to show.
    if (uint32_t{p.first_row} + p.row_count > ctx.total_rows) return 0;
    return p.row_count;
}

bool pattern_cell(const ReplayContext& ctx, uint16_t pattern, uint16_t row, uint8_t channel,
                  PatternSlot* cell) {
    if (!cell || row >= pattern_rows(ctx, pattern) || channel >= ctx.channel_count) return false;
    *cell =
        ctx.slots[(size_t{ctx.patterns[pattern].first_row} + row) * ctx.channel_count + channel];
    return true;
}

} // namespace replayer
