// SPDX-License-Identifier: GPL-2.0-or-later
// Mute, solo and volume per channel. The gains follow at once, so that a
// change is heard from the next frame rather than the next tick.
#include <cmath>

#include "engine.h"

namespace replayer {

namespace {

constexpr float CONTROL_STEPS = 255.0f;

// Which channels sound follows from every channel's mute and solo.
void settle(ReplayContext& ctx) {
    bool any_solo = false;
    for (int c = 0; c < ctx.channel_count; ++c)
        any_solo = any_solo || (ctx.channels[c].control_flags & CHANNEL_SOLO);
    for (int c = 0; c < ctx.channel_count; ++c) {
        ChannelState& ch = ctx.channels[c];
        const bool silenced =
            (ch.control_flags & CHANNEL_MUTED) || (any_solo && !(ch.control_flags & CHANNEL_SOLO));
        ch.control_flags = static_cast<uint8_t>((ch.control_flags & ~CHANNEL_SILENCED) |
                                                (silenced ? CHANNEL_SILENCED : 0));
        update_voice(ctx, ch);
        // A voice without a period keeps the gains of its last tick with one.
        if (silenced) ch.gain_left = ch.gain_right = 0.0f;
    }
    // Background voices sound as the channel that left them.
    for (int v = ctx.channel_count; v < voice_records(ctx); ++v) {
        ChannelState& voice = ctx.channels[v];
        if (!voice.voice_owner) continue;
        const ChannelState& owner = ctx.channels[voice.voice_owner - 1];
        voice.control_flags = owner.control_flags;
        voice.control_cut = owner.control_cut;
        update_voice(ctx, voice);
        if (voice.control_flags & CHANNEL_SILENCED) voice.gain_left = voice.gain_right = 0.0f;
    }
}

bool set_flag(ReplayContext* context, uint8_t channel, uint8_t flag, bool on) {
    if (!context || channel >= context->channel_count) return false;
    uint8_t& flags = context->channels[channel].control_flags;
    flags = static_cast<uint8_t>(on ? flags | flag : flags & ~flag);
    settle(*context);
    return true;
}

} // namespace

bool set_channel_mute(ReplayContext* context, uint8_t channel, bool muted) {
    return set_flag(context, channel, CHANNEL_MUTED, muted);
}

bool set_channel_solo(ReplayContext* context, uint8_t channel, bool solo) {
    return set_flag(context, channel, CHANNEL_SOLO, solo);
}

bool set_channel_volume(ReplayContext* context, uint8_t channel, float volume) {
    if (!context || channel >= context->channel_count || !(volume >= 0.0f && volume <= 1.0f))
        return false;
    ChannelState& ch = context->channels[channel];
    ch.control_cut = static_cast<uint8_t>(CONTROL_STEPS - nearbyintf(volume * CONTROL_STEPS));
    settle(*context);
    return true;
}

} // namespace replayer
