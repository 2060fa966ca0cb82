// SPDX-License-Identifier: GPL-2.0-or-later
// Pitch operations on a channel's period: note to period, slides in their
// three range modes, semitone rounding and tone portamento.
#include <algorithm>
#include <cmath>

#include "engine.h"

namespace replayer {

namespace {
constexpr int LINEAR_TOP = 1920;         // 16 x note index units at period 0
constexpr int LINEAR_UNITS_PER_STEP = 4; // period units per 1/16 semitone
constexpr float AMIGA_BASE_PERIOD = 27392.0f;
constexpr float AMIGA_OCTAVES_PER_STEP = -0.0052083335f; // -1/192: 16 steps x 12 semitones
constexpr int PERIOD_LIMIT = 0xFFFF;
constexpr int AMIGA_VALUE_LIMIT = 4096; // 21 octaves either way: past both period ends
constexpr uint16_t CLAMP_LOW = 1;       // portamento up stops just above "no pitch"
constexpr uint16_t CLAMP_HIGH = 32767;
constexpr int SEMITONE_UNITS = 64;  // linear period units per semitone
constexpr int TONE_PORTA_UNITS = 4; // period units per speed unit and tick
} // namespace

bool note_index_plays(const ReplayContext& ctx, int index) {
    return (ctx.tracker_rules & RULE_IT) || (index >= 0 && index <= HIGHEST_NOTE_INDEX);
}

// IT plays all 120 notes at any C5 speed, so its indexes can leave the period
// range: those play at the range's end (a linear period of 1 is 535 kHz, an
// Amiga period of 65535 is 218 Hz before the sample's own rate).
uint16_t note_to_period(const ReplayContext& ctx, int value) {
    const bool it = ctx.tracker_rules & RULE_IT;
    if (!ctx.amiga_periods) {
        const int period = (LINEAR_TOP - value) * LINEAR_UNITS_PER_STEP;
        return static_cast<uint16_t>(it ? std::clamp(period, 1, PERIOD_LIMIT) : period);
    }
    if (it) value = std::clamp(value, -AMIGA_VALUE_LIMIT, AMIGA_VALUE_LIMIT);
    const float octaves = static_cast<float>(value) * AMIGA_OCTAVES_PER_STEP;
    const int period = static_cast<int>(AMIGA_BASE_PERIOD * exp2f(octaves));
    return static_cast<uint16_t>(it ? std::clamp(period, 1, PERIOD_LIMIT) : period);
}

void slide_period(ChannelState& ch, int delta, SlideMode mode) {
    const int base = ch.period + ch.period_residual;
    ch.period_residual = 0;
    ch.vibrato_offset = 0;
    if (mode == SlideMode::plain) {
        ch.period = static_cast<uint16_t>(base + delta);
        return;
    }
    const int value = (base & PERIOD_LIMIT) + delta;
    const bool out_of_range = value < 0 || value > PERIOD_LIMIT;
    if (mode == SlideMode::clamped) {
        ch.period =
            out_of_range ? (delta > 0 ? CLAMP_HIGH : CLAMP_LOW) : static_cast<uint16_t>(value);
        return;
    }
    ch.period = static_cast<uint16_t>(value);
    if (out_of_range) ch.sample = nullptr;
}

// Moves a linear period to the nearest semitone of the note's finetune grid (a
// tie goes to the larger period) and keeps what was removed, so that the next
// slide starts from the unrounded period again.
void round_to_semitone(const ReplayContext& ctx, ChannelState& ch) {
    slide_period(ch, 0, SlideMode::plain);
    if (ctx.amiga_periods) return;
    const int fine = LINEAR_UNITS_PER_STEP * ch.finetune;
    const int rounded =
        (((ch.period + fine + SEMITONE_UNITS / 2) & ~(SEMITONE_UNITS - 1)) - fine) & PERIOD_LIMIT;
    ch.period_residual = static_cast<int8_t>(ch.period - rounded);
    ch.period = static_cast<uint16_t>(rounded);
}

void tone_portamento(const ReplayContext& ctx, ChannelState& ch) {
    if (ch.target_period == 0 || ch.period == 0) return;
    const int limit = TONE_PORTA_UNITS * ch.tone_porta_speed;
    int delta = int{ch.target_period} - int{ch.period};
    if (delta > limit) delta = limit;
    if (delta < -limit) delta = -limit;
    slide_period(ch, delta, SlideMode::plain);
    if (ch.glissando) round_to_semitone(ctx, ch);
}

} // namespace replayer
