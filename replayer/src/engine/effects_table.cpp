// SPDX-License-Identifier: GPL-2.0-or-later
// The effect table: for every internal effect code, its row-tick and its
// later-tick handler; and the later-tick work of a channel (volume column,
// then the effect).
#include <array>

#include "engine.h"

namespace replayer {

namespace {

constexpr int TABLE_SIZE = 256; // every byte value; codes 50..254 do nothing

constexpr std::array<EffectHandlers, TABLE_SIZE> build_table() {
    std::array<EffectHandlers, TABLE_SIZE> t{};
    t[EFFECT_ARPEGGIO] = {nullptr, tick_arpeggio};
    t[EFFECT_PORTA_UP] = {row_porta_up, tick_porta_up};
    t[EFFECT_PORTA_DOWN] = {row_porta_down, tick_porta_down};
    t[EFFECT_TONE_PORTA] = {nullptr, tick_tone_porta}; // speed and target: handle_row
    t[EFFECT_VIBRATO] = {nullptr, tick_vibrato};
    t[EFFECT_TONE_PORTA_VOLSLIDE] = {row_volume_slide_memory, tick_tone_porta_volume_slide};
    t[EFFECT_VIBRATO_VOLSLIDE] = {row_volume_slide_memory, tick_vibrato_volume_slide};
    t[EFFECT_TREMOLO] = {nullptr, tick_tremolo};
    t[EFFECT_SET_PANNING] = {row_set_panning, nullptr};
    t[EFFECT_SAMPLE_OFFSET] = {nullptr, nullptr}; // read by trigger_sample
    t[EFFECT_VOLUME_SLIDE] = {row_volume_slide_memory, tick_volume_slide};
    t[EFFECT_POSITION_JUMP] = {row_position_jump, nullptr};
    t[EFFECT_SET_VOLUME] = {row_set_volume, nullptr};
    t[EFFECT_PATTERN_BREAK] = {row_pattern_break, nullptr};
    t[EFFECT_SET_SPEED] = {row_set_speed, nullptr};
    t[EFFECT_SET_BPM] = {row_set_bpm, nullptr};
    t[EFFECT_SET_GLOBAL_VOLUME] = {row_set_global_volume, nullptr};
    t[EFFECT_GLOBAL_VOLUME_SLIDE] = {row_global_volume_slide, tick_global_volume_slide};
    t[EFFECT_EXTRA_FINE_PORTA_UP] = {row_extra_fine_porta_up, nullptr};
    t[EFFECT_EXTRA_FINE_PORTA_DOWN] = {row_extra_fine_porta_down, nullptr};
    t[EFFECT_KEY_OFF] = {nullptr, tick_key_off};
    t[EFFECT_SET_ENVELOPE_POSITION] = {row_set_envelope_position, nullptr};
    t[EFFECT_FINE_VIBRATO] = {nullptr, tick_vibrato};
    t[EFFECT_S3M_PORTA_UP] = {row_shared_porta_up, tick_shared_porta_up};
    t[EFFECT_S3M_PORTA_DOWN] = {row_shared_porta_down, tick_shared_porta_down};
    t[EFFECT_PANNING_SLIDE] = {row_panning_slide, tick_panning_slide};
    t[EFFECT_S3M_VIBRATO_VOLSLIDE] = {nullptr, tick_shared_vibrato_volume_slide};
    t[EFFECT_MULTI_RETRIG] = {row_multi_retrig, tick_multi_retrig};
    t[EFFECT_S3M_TONE_PORTA_VOLSLIDE] = {nullptr, tick_shared_tone_porta_volume_slide};
    t[EFFECT_TREMOR] = {row_tremor, tick_tremor};
    t[EFFECT_ROW_LOOP] = {row_row_loop, nullptr};
    t[EFFECT_S3M_VOLUME_SLIDE] = {row_shared_volume_slide, tick_shared_volume_slide};
    t[EFFECT_S3M_RETRIG] = {shared_multi_retrig, shared_multi_retrig};
    t[EFFECT_FINE_PORTA_UP] = {row_fine_porta_up, nullptr};
    t[EFFECT_FINE_PORTA_DOWN] = {row_fine_porta_down, nullptr};
    t[EFFECT_GLISSANDO] = {row_glissando, nullptr};
    t[EFFECT_VIBRATO_WAVEFORM] = {row_vibrato_waveform, nullptr};
    t[EFFECT_SET_FINETUNE] = {nullptr, nullptr}; // read by trigger_sample
    t[EFFECT_PATTERN_LOOP] = {row_pattern_loop, nullptr};
    t[EFFECT_TREMOLO_WAVEFORM] = {row_tremolo_waveform, nullptr};
    t[EFFECT_SET_CHANNEL_PANNING] = {row_set_channel_panning, nullptr};
    t[EFFECT_RETRIGGER] = {nullptr, tick_retrigger};
    t[EFFECT_FINE_VOLUME_SLIDE_UP] = {row_fine_volume_up, nullptr};
    t[EFFECT_FINE_VOLUME_SLIDE_DOWN] = {row_fine_volume_down, nullptr};
    t[EFFECT_NOTE_CUT] = {nullptr, tick_note_cut};
    t[EFFECT_NOTE_DELAY] = {nullptr, tick_note_delay}; // the sequencer skips its row tick
    t[EFFECT_PATTERN_DELAY] = {row_pattern_delay, nullptr};
    t[EFFECT_FINE_PATTERN_DELAY] = {row_fine_pattern_delay, nullptr};
    t[EFFECT_HIGH_OFFSET] = {row_high_offset, nullptr};
    t[EFFECT_S3M_TREMOLO] = {nullptr, tick_shared_tremolo};
    t[EFFECT_S3M_ARPEGGIO] = {nullptr, tick_shared_arpeggio};
    t[EFFECT_S3M_TREMOR] = {shared_tremor, shared_tremor};
    t[EFFECT_SET_CHANNEL_VOLUME] = {row_set_channel_volume, nullptr};
    t[EFFECT_CHANNEL_VOLUME_SLIDE] = {row_channel_volume_slide, tick_channel_volume_slide};
    t[EFFECT_IT_GLOBAL_VOLUME_SLIDE] = {row_it_global_volume_slide, tick_it_global_volume_slide};
    t[EFFECT_IT_PANNING_SLIDE] = {row_it_panning_slide, tick_it_panning_slide};
    t[EFFECT_TEMPO_SLIDE] = {nullptr, tick_tempo_slide};
    t[EFFECT_NOTE_FADE] = {row_note_fade, nullptr};
    t[EFFECT_PAST_NOTES] = {row_past_notes, nullptr};
    t[EFFECT_SET_NEW_NOTE_ACTION] = {row_set_new_note_action, nullptr};
    t[EFFECT_SET_FILTER_MACRO] = {row_set_filter_macro, nullptr};
    t[EFFECT_MIDI_MACRO] = {row_midi_macro, nullptr};
    t[EFFECT_ENVELOPE_SWITCH] = {row_envelope_switch, nullptr};
    t[EFFECT_PANBRELLO] = {row_panbrello, tick_panbrello};
    t[EFFECT_PANBRELLO_WAVEFORM] = {row_panbrello_waveform, nullptr};
    t[EFFECT_IGNORED] = {nullptr, nullptr};
    return t;
}

constexpr std::array<EffectHandlers, TABLE_SIZE> EFFECT_TABLE = build_table();

// The volume column's later-tick actions; an up-slide of x is the parameter x0.
void volume_column_tick(ReplayContext& ctx, ChannelState& ch, uint8_t volume_column) {
    const uint8_t x = volume_column & 0x0F;
    const auto up = static_cast<uint8_t>(x << 4);
    const uint8_t command = volume_column_command(volume_column);
    switch (command) {
    case VOLUME_COLUMN_SLIDE_DOWN:
    case VOLUME_COLUMN_SLIDE_UP:
        ch.volume_offset = 0;
        slide_value(ch.volume, command == VOLUME_COLUMN_SLIDE_UP ? up : x, MAX_VOLUME);
        break;
    case VOLUME_COLUMN_VIBRATO:
        if (x) ch.vibrato_memory = static_cast<uint8_t>((ch.vibrato_memory & 0xF0) | x);
        ch.vibrato_active = 0;
        vibrato_step(ctx, ch);
        break;
    case VOLUME_COLUMN_PAN_LEFT:
    case VOLUME_COLUMN_PAN_RIGHT:
        slide_value(ch.panning, command == VOLUME_COLUMN_PAN_RIGHT ? up : x, MAX_PANNING);
        break;
    case VOLUME_COLUMN_TONE_PORTA:
        tone_portamento(ctx, ch);
        break;
    default:
        break;
    }
}

} // namespace

const EffectHandlers& effect_handlers(uint8_t effect) {
    return EFFECT_TABLE[effect];
}

void handle_tick_effects(ReplayContext& ctx, ChannelState& ch) {
    const PatternSlot& slot = *ch.slot;
    volume_column_tick(ctx, ch, slot.volume);
    if (EffectHandler on_tick = EFFECT_TABLE[slot.effect].on_tick) on_tick(ctx, ch, slot.parameter);
}

} // namespace replayer
