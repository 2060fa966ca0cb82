// SPDX-License-Identifier: GPL-2.0-or-later
// IT's resonant low-pass filter: a two-pole filter per voice whose cutoff
// runs from 130 Hz (0) to 5.1 kHz (127) in 24 steps an octave, with a
// resonance of up to 24 dB, set by the instrument, by Zxx through the MIDI
// macros and scaled by the filter envelope.
#include <algorithm>
#include <cmath>

#include "engine.h"

namespace replayer {

namespace {

constexpr float LOWEST_CUTOFF_HZ = 110.0f;
constexpr float CUTOFF_OCTAVE_OFFSET = 0.25f;
// 24 cutoff steps an octave, the filter envelope's share in 1/4096.
constexpr float OCTAVES_PER_CUTOFF_UNIT = 1.0f / (24.0f * FILTER_ENVELOPE_FULL);
// Resonance 0..127 damps from 0 dB down to -24 dB: 10^(-r x 24 / (128 x 20)),
// as a power of two.
constexpr float DAMPING_OCTAVES_PER_UNIT = -0.031142747f; // 24 / 2560 x log2(10)
constexpr float TWO_PI = 6.2831855f;
// The filter stays stable while the frame rate is at least pi times the
// cutoff; a cutoff above that (low output rates) is held there.
constexpr float LOWEST_RATE_PER_CUTOFF = 0.5f; // frame rate / (2 pi cutoff)

} // namespace

void update_filter(const ReplayContext& ctx, ChannelState& ch) {
    const unsigned cutoff = ch.filter_cutoff, resonance = ch.filter_resonance;
    if (cutoff >= FILTER_OPEN_CUTOFF && resonance == 0 &&
        ch.filter_envelope >= FILTER_ENVELOPE_FULL)
        return;
    const float octaves = CUTOFF_OCTAVE_OFFSET +
                          static_cast<float>(cutoff * ch.filter_envelope) * OCTAVES_PER_CUTOFF_UNIT;
    const float frequency = LOWEST_CUTOFF_HZ * exp2f(octaves);
    const float r = std::max(static_cast<float>(ctx.playback.frame_rate) / (TWO_PI * frequency),
                             LOWEST_RATE_PER_CUTOFF);
    const float damping = exp2f(static_cast<float>(resonance) * DAMPING_OCTAVES_PER_UNIT);
    // The continuous filter y''/w^2 + d y'/w + y = x by backward differences.
    const float d = damping * r + damping - 1.0f;
    const float e = r * r;
    const float scale = 1.0f / (1.0f + d + e);
    ch.filter.a = scale;
    ch.filter.b = (d + e + e) * scale;
    ch.filter.c = -e * scale;
}

void row_set_filter_macro(ReplayContext&, ChannelState& ch, uint8_t p) {
    ch.filter_macro = p & (PARAMETERED_MACROS - 1);
}

void row_midi_macro(ReplayContext& ctx, ChannelState& ch, uint8_t p) {
    constexpr uint8_t FIRST_FIXED = 0x80;
    const MacroSet& m = ctx.macros;
    const uint8_t kind =
        p < FIRST_FIXED ? m.parametered[ch.filter_macro] : m.fixed_kind[p - FIRST_FIXED];
    const uint8_t value = p < FIRST_FIXED ? p : m.fixed_value[p - FIRST_FIXED];
    if (kind == MACRO_CUTOFF) ch.filter_cutoff = std::min(value, FILTER_OPEN_CUTOFF);
    if (kind == MACRO_RESONANCE) ch.filter_resonance = std::min(value, FILTER_OPEN_CUTOFF);
}

} // namespace replayer
