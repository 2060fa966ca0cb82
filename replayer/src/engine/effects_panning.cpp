// SPDX-License-Identifier: GPL-2.0-or-later
// Panning effects: note panning, its slide, and the channel's own panning.
#include <algorithm>

#include "engine.h"

namespace replayer {

void row_set_panning(ReplayContext&, ChannelState& ch, uint8_t p) {
    ch.panning = p;
}

void row_panning_slide(ReplayContext&, ChannelState& ch, uint8_t p) {
    remember(ch.panning_slide_memory, p);
}

void tick_panning_slide(ReplayContext&, ChannelState& ch, uint8_t) {
    slide_value(ch.panning, ch.panning_slide_memory, MAX_PANNING);
}

void row_set_channel_panning(ReplayContext&, ChannelState& ch, uint8_t p) {
    ch.channel_panning = p;
}

namespace {
constexpr int IT_PANNING_UNIT = 4; // IT slides the channel's panning in 0..64
constexpr uint8_t IT_PANNING_FULL = 64;

template <typename Slide> void slide_it_panning(ChannelState& ch, Slide slide) {
    auto pan = static_cast<uint8_t>((ch.channel_panning + IT_PANNING_UNIT / 2) / IT_PANNING_UNIT);
    slide(pan);
    ch.channel_panning = static_cast<uint8_t>(std::min(MAX_PANNING + 0, pan * IT_PANNING_UNIT));
}
} // namespace

void row_it_panning_slide(ReplayContext& ctx, ChannelState& ch, uint8_t p) {
    remember(ch.panning_slide_memory, p);
    slide_it_panning(ch, [&](uint8_t& pan) {
        row_volume_style_slide(ctx, pan, ch.panning_slide_memory, IT_PANNING_FULL);
    });
}

void tick_it_panning_slide(ReplayContext&, ChannelState& ch, uint8_t) {
    slide_it_panning(ch, [&](uint8_t& pan) {
        tick_volume_style_slide(pan, ch.panning_slide_memory, IT_PANNING_FULL);
    });
}

} // namespace replayer
