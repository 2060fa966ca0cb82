// SPDX-License-Identifier: GPL-2.0-or-later
// The row tick of a channel: notes, instruments, the volume column's row
// actions and the effect's row action; and the note (re)trigger itself.
#include <algorithm>

#include "engine.h"

namespace replayer {

namespace {

constexpr int PANNING_PER_NIBBLE = 16;
constexpr int TONE_PORTA_SPEED_PER_NIBBLE = 16;
constexpr int FINETUNE_STEPS_PER_UNIT = 2;
constexpr int FINETUNE_BIAS = 16;
constexpr int NOTE_STEPS = 16;                                       // finetune steps per semitone
constexpr uint32_t SAMPLE_OFFSET_SHIFT = 8 + POSITION_FRACTION_BITS; // 256 frames per unit
constexpr uint32_t HIGH_OFFSET_SHIFT = 16 + POSITION_FRACTION_BITS;  // IT SAx: 65536 frames

// Retrigger volume change by the high nibble: sum first, then scale.
constexpr uint8_t RETRIG_ADD[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 4, 8, 16, 0, 0};
constexpr uint8_t RETRIG_MUL[16] = {1, 1, 1, 1, 1, 1, 2, 1, 1, 1, 1, 1, 1, 1, 3, 2};
constexpr uint8_t RETRIG_NEGATIVE = 239; // a wrapped sum lands above this
constexpr int PITCH_PAN_DIVISOR = 8;
constexpr int IT_PANNING_UNIT = 4; // IT's 0..64 onto 0..255
constexpr int PERCENT = 100;

// -range..range from the context's generator.
int random_between(ReplayContext& ctx, int range) {
    return next_random(ctx) * (2 * range + 1) / 256 - range;
}

bool sets_volume(uint8_t volume_column) {
    return volume_column >= VOLUME_COLUMN_SET_FIRST && volume_column <= VOLUME_COLUMN_SET_LAST;
}

bool is_tone_portamento(const PatternSlot& slot) {
    return slot.effect == EFFECT_TONE_PORTA || slot.effect == EFFECT_TONE_PORTA_VOLSLIDE ||
           slot.effect == EFFECT_S3M_TONE_PORTA_VOLSLIDE ||
           (volume_column_command(slot.volume)) == VOLUME_COLUMN_TONE_PORTA;
}

// A sample record whose frames or loop lie outside the sample data cannot be
// played safely; it silences the channel like a missing sample.
bool sample_in_bounds(const ReplayContext& ctx, const SampleRecord& sample) {
    return uint64_t{sample.data_index} + sample.length <= ctx.total_sample_frames &&
           sample.loop_length <= sample.length;
}

void silence(ChannelState& ch) {
    ch.volume = 0;
    ch.instrument = nullptr;
    ch.sample = nullptr;
}

// The note whose pitch a key plays: an IT instrument may map keys to others.
int played_note(const ChannelState& ch, int note) {
    return ch.instrument ? note + ch.instrument->note_shift[note - 1] : note;
}

// A note under tone portamento only sets where the slide goes.
void set_tone_porta_target(const ReplayContext& ctx, ChannelState& ch, int note) {
    if (!ch.sample) return;
    const int index = played_note(ch, note) + ch.sample->relative_note - 1;
    if (note_index_plays(ctx, index))
        ch.target_period = note_to_period(ctx, NOTE_STEPS * index + ch.finetune);
}

void handle_note(ReplayContext& ctx, ChannelState& ch, const PatternSlot& slot) {
    const uint8_t note = slot.note;
    if (note >= NOTE_KEY_OFF)
        key_off(ch);
    else if (note == NOTE_FADE)
        ch.note_fade = 1;
    else if (note >= NOTE_RETRIGGER)
        trigger_sample(ctx, ch);
    else if (note != NOTE_NONE) {
        if (is_tone_portamento(slot)) {
            set_tone_porta_target(ctx, ch, note);
        } else {
            if (ctx.voice_count) leave_in_background(ctx, ch, note);
            ch.note = note;
            trigger_sample(ctx, ch);
        }
    }
}

void volume_column_row(ChannelState& ch, uint8_t volume_column) {
    if (sets_volume(volume_column)) {
        ch.volume = volume_column - VOLUME_COLUMN_SET_FIRST;
        ch.volume_offset = 0;
    } else if ((volume_column_command(volume_column)) == VOLUME_COLUMN_SET_PANNING) {
        ch.panning = static_cast<uint8_t>((volume_column & 0x0F) * PANNING_PER_NIBBLE);
    }
}

// The volume column's fine slides and vibrato speed act only on the row tick.
void volume_column_first_tick(ChannelState& ch, uint8_t volume_column) {
    const uint8_t x = volume_column & 0x0F;
    switch (volume_column_command(volume_column)) {
    case VOLUME_COLUMN_FINE_DOWN:
        ch.volume_offset = 0;
        slide_value(ch.volume, x, MAX_VOLUME);
        break;
    case VOLUME_COLUMN_FINE_UP:
        ch.volume_offset = 0;
        slide_value(ch.volume, static_cast<uint8_t>(x << 4), MAX_VOLUME);
        break;
    case VOLUME_COLUMN_VIBRATO_SPEED:
        if (x) ch.vibrato_memory = static_cast<uint8_t>((ch.vibrato_memory & 0x0F) | (x << 4));
        break;
    default:
        break;
    }
}

// IT: a default panning sets the channel's; pitch-pan separation and random
// variation move this note's panning (about the channel's) and volume.
void take_it_note_levels(ReplayContext& ctx, ChannelState& ch) {
    if (ch.sample->panning != CENTRE_PANNING) ch.channel_panning = ch.sample->panning;
    ch.panning = CENTRE_PANNING;
    if (!ch.instrument) return;
    const InstrumentRecord& ins = *ch.instrument;
    if (ins.filter_cutoff & INSTRUMENT_FILTER_SET)
        ch.filter_cutoff = ins.filter_cutoff & ~INSTRUMENT_FILTER_SET;
    if (ins.filter_resonance & INSTRUMENT_FILTER_SET)
        ch.filter_resonance = ins.filter_resonance & ~INSTRUMENT_FILTER_SET;
    int offset = 0; // of 0..64
    if (ins.pitch_pan_separation && ch.note && ch.note <= NOTE_LAST)
        offset = (ch.note - ins.pitch_pan_centre) * ins.pitch_pan_separation / PITCH_PAN_DIVISOR;
    if (ins.random_panning) offset += random_between(ctx, ins.random_panning);
    ch.panning = static_cast<uint8_t>(
        std::clamp(int{CENTRE_PANNING} + offset * IT_PANNING_UNIT, 0, int{MAX_PANNING}));
    if (ins.random_volume) {
        const int percent = PERCENT + random_between(ctx, ins.random_volume);
        ch.volume =
            static_cast<uint8_t>(std::clamp(ch.volume * percent / PERCENT, 0, int{MAX_VOLUME}));
    }
}

} // namespace

void key_off(ChannelState& ch) {
    ch.key_held = 0;
    // A sustain loop ends: the frames go on into the sample's own loop.
    if (ch.sample && ch.sample->released) {
        ch.sample += ch.sample->released;
        ch.mix.looped = 0;
    }
    if (!ch.instrument || ch.instrument->volume_envelope.point_count == 0) ch.volume = 0;
}

void handle_row(ReplayContext& ctx, ChannelState& ch) {
    const PatternSlot& slot = *ch.slot;
    const uint8_t parameter = slot.parameter;
    const InstrumentRecord* carried_from = carry_source(ch);
    if (slot.instrument) ch.instrument_number = slot.instrument;
    handle_note(ctx, ch, slot);

    if (slot.instrument) {
        if (ch.sample) {
            ch.volume = sample_volume(*ch.sample);
            // IT's default pannings set the channel's own panning.
            if (!(ctx.tracker_rules & RULE_IT))
                ch.panning = ch.sample->panning;
            else
                take_it_note_levels(ctx, ch);
        }
        // Under IT a tone portamento leaves the envelopes running, unless
        // compatible Gxx is on.
        const bool it_slide = (ctx.tracker_rules & (RULE_IT | RULE_IT_LINKED_PORTA)) == RULE_IT &&
                              is_tone_portamento(slot);
        if (slot.note < NOTE_KEY_OFF && !it_slide) reset_on_trigger(ctx, ch, carried_from);
    } else if ((ctx.tracker_rules & RULE_IT) && slot.note != NOTE_NONE && slot.note <= NOTE_LAST &&
               !is_tone_portamento(slot)) {
        // An IT note restarts its envelopes and fade without an instrument too.
        reset_on_trigger(ctx, ch, carried_from);
    }
    volume_column_row(ch, slot.volume);

    if ((volume_column_command(slot.volume)) == VOLUME_COLUMN_TONE_PORTA) {
        if (slot.volume & 0x0F)
            ch.tone_porta_speed =
                static_cast<uint8_t>((slot.volume & 0x0F) * TONE_PORTA_SPEED_PER_NIBBLE);
    } else if (slot.effect == EFFECT_TONE_PORTA && parameter) {
        ch.tone_porta_speed = parameter;
    }
    remember_parameter(ctx, ch, slot.effect, parameter);
    if (ctx.playback.tick == 0) volume_column_first_tick(ch, slot.volume);

    if (EffectHandler on_row = effect_handlers(slot.effect).on_row) on_row(ctx, ch, parameter);
}

void trigger_sample(ReplayContext& ctx, ChannelState& ch) {
    if (ch.instrument_number == 0 || ch.instrument_number > ctx.instrument_count) {
        silence(ch);
        return;
    }
    ch.instrument = &ctx.instruments[ch.instrument_number - 1];
    // No note played yet on this channel: nothing to restart.
    if (ch.note == NOTE_NONE || ch.note > NOTE_LAST) return;
    const uint16_t sample_index = ch.instrument->sample_map[ch.note - 1];
    if (sample_index >= ctx.sample_count || !sample_in_bounds(ctx, ctx.samples[sample_index])) {
        silence(ch);
        return;
    }
    const SampleRecord& sample = ctx.samples[sample_index];
    const int index = played_note(ch, ch.note) + sample.relative_note - 1;
    if (!note_index_plays(ctx, index)) return;
    ch.sample = &sample;

    const PatternSlot& slot = *ch.slot;
    if (slot.note == NOTE_INSTRUMENT_ONLY) return;
    ch.finetune =
        slot.effect == EFFECT_SET_FINETUNE
            ? static_cast<int8_t>(FINETUNE_STEPS_PER_UNIT * slot.parameter - FINETUNE_BIAS)
            : sample.finetune;
    ch.period = note_to_period(ctx, NOTE_STEPS * index + ch.finetune);
    if (slot.effect == EFFECT_SAMPLE_OFFSET) {
        if (slot.parameter) ch.sample_offset_memory = slot.parameter;
        const uint32_t offset = uint32_t{ch.sample_offset_high} << HIGH_OFFSET_SHIFT |
                                uint32_t{ch.sample_offset_memory} << SAMPLE_OFFSET_SHIFT;
        ch.position = offset;
        ch.sample_ended = offset >= uint64_t{sample.length} * POSITION_ONE;
    } else {
        ch.position = 0;
        ch.sample_ended = 0;
    }
    ch.mix.position_fine = 0;
    ch.mix.looped = 0;
    ++ch.mix.voice_serial; // a new voice, for the mixer's ramps
    restart_filter(ch);
    ch.period_residual = 0;
    ch.vibrato_offset = 0;
}

const InstrumentRecord* carry_source(const ChannelState& ch) {
    return ch.key_held && ch.volume && note_audible(ch) ? ch.instrument : nullptr;
}

void reset_on_trigger(const ReplayContext& ctx, ChannelState& ch,
                      const InstrumentRecord* carried_from) {
    const bool same = ch.instrument && ch.instrument == carried_from;
    const bool until_end = ctx.tracker_rules & RULE_CARRY_UNTIL_END;
    auto restart = [same, until_end](uint16_t& position, const EnvelopeRecord& e) {
        const int count = std::min<int>(e.point_count, ENVELOPE_MAX_POINTS);
        const bool ended = count && position > e.points[count - 1].frame;
        if (!same || !(e.flags & ENVELOPE_CARRY) || (until_end && ended)) position = 0;
    };
    if (ch.instrument) {
        restart(ch.volume_envelope_pos, ch.instrument->volume_envelope);
        restart(ch.panning_envelope_pos, ch.instrument->panning_envelope);
        restart(ch.pitch_envelope_pos, ch.instrument->pitch_envelope);
    } else {
        ch.volume_envelope_pos = ch.panning_envelope_pos = ch.pitch_envelope_pos = 0;
    }
    ch.key_held = 1;
    ch.fadeout_volume = FADEOUT_FULL; // a carried envelope may fade the note from its first tick
    ch.envelopes_off = 0;
    ch.note_fade = 0;
    ch.retrig_counter = 0;
    ch.tremor_counter = 0;
    ch.volume_offset = 0;
    ch.autovibrato_ticks = 0;
    if (!(ch.vibrato_waveform & WAVEFORM_KEEP_PHASE)) ch.vibrato_phase = 0;
    if (!(ch.tremolo_waveform & WAVEFORM_KEEP_PHASE)) ch.tremolo_phase = 0;
}

void multi_retrigger(ReplayContext& ctx, ChannelState& ch, uint8_t parameter) {
    const PatternSlot& slot = *ch.slot;
    if (slot.volume != 0 && ctx.playback.tick == 0) return;
    const unsigned interval = parameter & 0x0F;
    if (ch.retrig_counter + 1u < interval) {
        ++ch.retrig_counter;
        return;
    }
    ch.retrig_counter = 0;
    trigger_sample(ctx, ch);
    if (sets_volume(slot.volume)) return;

    const unsigned x = parameter >> 4, opposite = x ^ 8;
    const auto sum = static_cast<uint8_t>(RETRIG_ADD[x] + ch.volume - RETRIG_ADD[opposite]);
    const auto product = static_cast<uint8_t>(sum * RETRIG_MUL[x]);
    const unsigned volume = product / RETRIG_MUL[opposite];
    ch.volume =
        volume > RETRIG_NEGATIVE ? 0 : static_cast<uint8_t>(std::min(volume, unsigned{MAX_VOLUME}));
}

} // namespace replayer
