// SPDX-License-Identifier: GPL-2.0-or-later
// The instrument's clock, once per tick and channel: auto-vibrato, fadeout and
// the volume and panning envelopes.
#include <algorithm>

#include "engine.h"

namespace replayer {

namespace {

constexpr int AUTOVIBRATO_DIVISOR = 128;
constexpr uint8_t NO_VOLUME_ENVELOPE = MAX_VOLUME;
constexpr unsigned PITCH_ENVELOPE_FINE = 64;

int clamp_to_int8(int value) {
    return std::clamp(value, -128, 127);
}

void auto_vibrato(ReplayContext& ctx, ChannelState& ch, const InstrumentRecord& ins) {
    const auto phase = static_cast<uint8_t>(ins.autovibrato_rate * ch.autovibrato_ticks);
    const int wave = waveform_value(ctx, ins.autovibrato_waveform, phase);
    // A depth above 127 would overflow the byte: hold it at the extreme
    // instead, so the sweep below still ramps evenly up to that extreme.
    int offset = clamp_to_int8(-ins.autovibrato_depth * wave / AUTOVIBRATO_DIVISOR);
    if (ch.autovibrato_ticks < ins.autovibrato_sweep)
        offset = offset * ch.autovibrato_ticks / ins.autovibrato_sweep;
    ch.autovibrato_offset = static_cast<int8_t>(offset);
    ++ch.autovibrato_ticks;
}

void fadeout(ChannelState& ch, const InstrumentRecord& ins) {
    if (ch.key_held && !ch.note_fade)
        ch.fadeout_volume = FADEOUT_FULL;
    else
        ch.fadeout_volume = ins.fadeout > ch.fadeout_volume
                                ? 0
                                : static_cast<uint16_t>(ch.fadeout_volume - ins.fadeout);
}

} // namespace

namespace {

// Past the last point of an envelope without a loop, its sustain released.
bool volume_envelope_ended(const ChannelState& ch, const EnvelopeRecord& e) {
    const int count = std::min<int>(e.point_count, ENVELOPE_MAX_POINTS);
    if (count < 2 || e.loop_end != 0) return false; // a constant, or a loop: never
    const bool holds = !(e.sustain & SUSTAIN_OFF_BIT) && e.sustain < count && ch.key_held;
    return !holds && ch.volume_envelope_pos > e.points[count - 1].frame;
}

} // namespace

void update_instrument_tick(ReplayContext& ctx, ChannelState& ch) {
    if (!ch.instrument) return;
    const InstrumentRecord& ins = *ch.instrument;
    // IT fades a note out once its volume envelope has run to its end.
    if ((ctx.tracker_rules & RULE_IT) && !(ch.envelopes_off & ENVELOPE_OFF_VOLUME) &&
        volume_envelope_ended(ch, ins.volume_envelope))
        ch.note_fade = 1;
    auto_vibrato(ctx, ch, ins);
    fadeout(ch, ins);
    const EnvelopeLoops loops =
        (ctx.tracker_rules & RULE_IT) ? EnvelopeLoops::it : EnvelopeLoops::xm;
    const uint8_t off = ch.envelopes_off;
    ch.volume_envelope_value =
        ins.volume_envelope.point_count && !(off & ENVELOPE_OFF_VOLUME)
            ? evaluate_envelope(ch, ins.volume_envelope, ch.volume_envelope_pos, loops)
            : NO_VOLUME_ENVELOPE;
    ch.panning_envelope_value =
        ins.panning_envelope.point_count && !(off & ENVELOPE_OFF_PANNING)
            ? evaluate_envelope(ch, ins.panning_envelope, ch.panning_envelope_pos, loops)
            : ENVELOPE_CENTRE;
    const bool filter_envelope = ins.it_flags & INSTRUMENT_PITCH_IS_FILTER;
    ch.filter_envelope = FILTER_ENVELOPE_FULL;
    if (off & ENVELOPE_OFF_PITCH) {
        ch.pitch_envelope_shift = 0;
    } else if (ins.pitch_envelope.point_count && filter_envelope) {
        ch.filter_envelope = static_cast<uint16_t>(
            evaluate_envelope_scaled(ch, ins.pitch_envelope, ch.pitch_envelope_pos,
                                     FILTER_ENVELOPE_FULL / MAX_VOLUME, loops));
    } else if (ins.pitch_envelope.point_count) {
        // A step is half a semitone, followed 64 times finer between nodes.
        const auto fine = static_cast<int>(evaluate_envelope_scaled(
            ch, ins.pitch_envelope, ch.pitch_envelope_pos, PITCH_ENVELOPE_FINE, loops));
        ch.pitch_envelope_shift =
            static_cast<int16_t>((fine - ENVELOPE_CENTRE * PITCH_ENVELOPE_FINE) / 2);
    }
}

namespace {

// Where an IT envelope reads next after reading at x: back at the start of
// the loop that x ended, as the key stands now.
unsigned it_next_position(const ChannelState& ch, const EnvelopeRecord& e, int count, unsigned x) {
    const unsigned next = x + 1;
    const int sustain = e.sustain;
    if (!(sustain & SUSTAIN_OFF_BIT) && sustain < count && ch.key_held) {
        const int end = std::clamp<int>(e.sustain_end, sustain, count - 1);
        return next > e.points[end].frame ? e.points[sustain].frame : next;
    }
    const bool looped = e.loop_end > e.loop_start && e.loop_end < count;
    return looped && next > e.points[e.loop_end].frame ? e.points[e.loop_start].frame : next;
}

} // namespace

// Linear interpolation between the points around the position, which counts
// ticks and goes back at the end of a loop (EnvelopeLoops).
uint8_t evaluate_envelope(const ChannelState& ch, const EnvelopeRecord& envelope,
                          uint16_t& position, EnvelopeLoops loops) {
    return static_cast<uint8_t>(evaluate_envelope_scaled(ch, envelope, position, 1, loops));
}

unsigned evaluate_envelope_scaled(const ChannelState& ch, const EnvelopeRecord& envelope,
                                  uint16_t& position, unsigned scale, EnvelopeLoops loops) {
    const EnvelopePoint* points = envelope.points;
    const int count = std::min<int>(envelope.point_count, ENVELOPE_MAX_POINTS);
    if (count < 2) return points[0].value * scale; // a single point is a constant
    const int sustain = envelope.sustain;
    const bool sustain_valid = !(sustain & SUSTAIN_OFF_BIT) && sustain < count;
    const int loop_start = envelope.loop_start, loop_end = envelope.loop_end;

    unsigned x = position;
    if (loops == EnvelopeLoops::xm) {
        if (loop_end < count && loop_start < count && x == points[loop_end].frame &&
            (ch.key_held || loop_end != sustain))
            x = points[loop_start].frame;
        if (sustain_valid && ch.key_held && x == points[sustain].frame) {
            position = static_cast<uint16_t>(x);
            return points[sustain].value * scale;
        }
    }
    int i = count - 1;
    while (i > 1 && x < points[i - 1].frame) --i;
    position = static_cast<uint16_t>(
        loops == EnvelopeLoops::it ? it_next_position(ch, envelope, count, x) : x + 1);
    // Before the first point (an envelope not starting at frame 0): hold its value.
    if (x < points[i - 1].frame) return points[i - 1].value * scale;
    if (x >= points[i].frame) return points[i].value * scale;
    const unsigned f0 = points[i - 1].frame, f1 = points[i].frame;
    const unsigned v0 = points[i - 1].value * scale, v1 = points[i].value * scale;
    return (v0 * (f1 - x) + v1 * (x - f0)) / (f1 - f0);
}

} // namespace replayer
