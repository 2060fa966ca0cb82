// SPDX-License-Identifier: GPL-2.0-or-later
// Panning effects: note panning, its slide, and the channel's own panning.
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

} // namespace replayer
