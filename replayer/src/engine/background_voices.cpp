// SPDX-License-Identifier: GPL-2.0-or-later
// Notes left playing in the background when a new note takes their channel
// (IT's new-note actions), in the fixed pool of voice records after the
// channels: nothing is allocated while rendering.
#include "engine.h"

namespace replayer {

namespace {

uint8_t duplicate_type(const InstrumentRecord& ins) {
    return ins.duplicate_check & 0x0F;
}
uint8_t duplicate_action(const InstrumentRecord& ins) {
    return ins.duplicate_check >> 4;
}

void free_voice(ChannelState& voice) {
    voice.voice_owner = 0;
    voice.sample = nullptr;
    voice.gain_left = voice.gain_right = 0.0f;
}

// What a new-note or duplicate action does to a note that leaves the front.
void apply_action(ChannelState& voice, uint8_t action) {
    if (action == NNA_NOTE_OFF) key_off(voice);
    if (action == NNA_NOTE_FADE) voice.note_fade = 1;
    if (action == NNA_CUT) free_voice(voice);
}

bool is_duplicate(const ChannelState& voice, const ChannelState& ch, uint8_t note, uint8_t type) {
    if (voice.instrument != ch.instrument) return false;
    switch (type) {
    case DUPLICATE_NOTE:
        return voice.note == note;
    case DUPLICATE_SAMPLE:
        return voice.sample == ch.sample;
    case DUPLICATE_INSTRUMENT:
        return true;
    default:
        return false;
    }
}

ChannelState* voice_for_new_note(ReplayContext& ctx) {
    ChannelState* quietest = nullptr;
    float level = 0.0f;
    for (int v = ctx.channel_count; v < voice_records(ctx); ++v) {
        ChannelState& voice = ctx.channels[v];
        if (!voice.voice_owner) return &voice;
        const float l = voice.gain_left + voice.gain_right;
        if (!quietest || l < level) {
            quietest = &voice;
            level = l;
        }
    }
    return quietest;
}

} // namespace

void leave_in_background(ReplayContext& ctx, ChannelState& ch, uint8_t note) {
    const uint8_t chosen = ch.new_note_action; // S73..S76 hold for the note playing only
    ch.new_note_action = 0;
    if (!(ctx.tracker_rules & RULE_IT) || !ch.instrument || !ch.sample || ch.sample_ended) return;
    const InstrumentRecord& ins = *ch.instrument;
    const uint8_t action = chosen ? static_cast<uint8_t>(chosen - 1) : ins.new_note_action;
    const auto owner = static_cast<uint8_t>(&ch - ctx.channels + 1);
    if (duplicate_type(ins) != DUPLICATE_OFF)
        for (int v = ctx.channel_count; v < voice_records(ctx); ++v) {
            ChannelState& voice = ctx.channels[v];
            if (voice.voice_owner == owner && is_duplicate(voice, ch, note, duplicate_type(ins)))
                apply_action(voice, duplicate_action(ins));
        }
    if (action == NNA_CUT) return;
    ChannelState* voice = voice_for_new_note(ctx);
    if (!voice) return;
    *voice = ch;
    voice->voice_owner = owner;
    apply_action(*voice, action);
    // The note goes on in its voice: the channel has nothing to fade out.
    ch.mix.mixed_flags = static_cast<uint8_t>(ch.mix.mixed_flags & ~MIXED_AUDIBLE);
    ch.mix.fading.sample = nullptr;
}

void row_note_fade(ReplayContext&, ChannelState& ch, uint8_t) {
    ch.note_fade = 1;
}

// S70..S72, S73..S76: the parameter is IT's own digit.
constexpr uint8_t PAST_ACTIONS[] = {NNA_CUT, NNA_NOTE_OFF, NNA_NOTE_FADE};
constexpr uint8_t FIRST_NEW_NOTE_ACTION = 3;

void row_past_notes(ReplayContext& ctx, ChannelState& ch, uint8_t p) {
    if (p >= sizeof PAST_ACTIONS) return;
    const auto owner = static_cast<uint8_t>(&ch - ctx.channels + 1);
    for (int v = ctx.channel_count; v < voice_records(ctx); ++v)
        if (ctx.channels[v].voice_owner == owner) apply_action(ctx.channels[v], PAST_ACTIONS[p]);
}

void row_set_new_note_action(ReplayContext&, ChannelState& ch, uint8_t p) {
    if (p < FIRST_NEW_NOTE_ACTION || p > FIRST_NEW_NOTE_ACTION + NNA_NOTE_FADE) return;
    ch.new_note_action = static_cast<uint8_t>(p - FIRST_NEW_NOTE_ACTION + 1);
}

void row_envelope_switch(ReplayContext&, ChannelState& ch, uint8_t p) {
    constexpr uint8_t FIRST_SWITCH = 7, SWITCHES = 6;
    if (p < FIRST_SWITCH || p >= FIRST_SWITCH + SWITCHES) return;
    const unsigned k = (p - FIRST_SWITCH) / 2;
    const auto bit = static_cast<uint8_t>(1u << k);
    if ((p - FIRST_SWITCH) % 2 == 0)
        ch.envelopes_off |= bit;
    else
        ch.envelopes_off &= static_cast<uint8_t>(~bit);
}

// A note can no longer be heard once it faded out, its sample ended, or its
// volume envelope ended at 0.
bool note_audible(const ChannelState& ch) {
    const bool faded = ch.fadeout_volume == 0 || (ch.note_fade && ch.volume_envelope_value == 0);
    return ch.sample && !ch.sample_ended && !faded;
}

void run_background_voices(ReplayContext& ctx) {
    for (int v = ctx.channel_count; v < voice_records(ctx); ++v) {
        ChannelState& voice = ctx.channels[v];
        if (!voice.voice_owner) continue;
        update_instrument_tick(ctx, voice);
        update_voice(ctx, voice);
        if (voice.control_flags & CHANNEL_SILENCED) voice.gain_left = voice.gain_right = 0.0f;
        if (!note_audible(voice)) free_voice(voice);
    }
}

void stop_background_voices(ReplayContext& ctx) {
    for (int v = ctx.channel_count; v < voice_records(ctx); ++v) free_voice(ctx.channels[v]);
}

} // namespace replayer
