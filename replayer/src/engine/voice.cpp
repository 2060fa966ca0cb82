// SPDX-License-Identifier: GPL-2.0-or-later
// Once per tick: a channel's period, volume and panning become the playback
// step and the two gains the mixer uses until the next tick.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "engine.h"

namespace replayer {

namespace {

constexpr float AMIGA_CLOCK_PAL = 14187578.0f;  // Hz x Amiga period, MOD
constexpr float AMIGA_CLOCK_8363 = 14317456.0f; // 8363 Hz x 1712, the period of C-4
constexpr float AMIGA_OCTAVES_PER_SEMITONE = -0.083333336f;
constexpr float AMIGA_LOWEST_PERIOD = 107.0f;    // arpeggio never goes above this pitch
constexpr float LINEAR_BASE_FREQUENCY = 8363.0f; // Hz at the middle period
constexpr int LINEAR_MIDDLE_PERIOD = 4608;
constexpr float LINEAR_OCTAVES_PER_UNIT = 0.0013020834f; // 1/768
constexpr int LINEAR_SEMITONE = 64;
constexpr float FINE_PITCH_OCTAVES = 0x1p-15f / 192.0f; // SampleRecord::fine_pitch unit
constexpr int LINEAR_LOWEST_PERIOD = 1540;              // arpeggio never goes above this pitch
constexpr int VOLUME_SHIFT = 2;                         // keeps the level product in 31 bits
constexpr int CHANNEL_VOLUME_BITS = 6;                  // IT's channel volume 64 is full
constexpr int IT_VOLUME_BITS = 7;                       // IT's instrument global volume 128 is full
constexpr float LEVEL_SCALE = 0x1p-31f;
constexpr int PAN_CENTRE = 128;
constexpr int PAN_FULL = 256;
constexpr float PAN_SCALE = 256.0f;
constexpr int SEPARATION_AS_PANNED = 100;              // percent
constexpr int FINE_STEP_BITS = 20;                     // below the 20.12 step
constexpr double WIDE_STEP_ONE = 4294967296.0;         // one frame in 32.32
constexpr double WIDE_STEP_LIMIT = 4503599627370496.0; // 2^52: 20.12 steps up to 2^32
constexpr uint64_t WIDE_STEP_MAX = (uint64_t{1} << 52) - 1;
constexpr int CONTROL_FULL = 255; // a channel volume of 1 cuts nothing
constexpr float CONTROL_SCALE = 1.0f / 255.0f;

float amiga_frequency(const ReplayContext& ctx, int period, int arpeggio) {
    float m = static_cast<float>(period);
    if (arpeggio != 0)
        m = std::max(m * exp2f(static_cast<float>(arpeggio) * AMIGA_OCTAVES_PER_SEMITONE),
                     AMIGA_LOWEST_PERIOD);
    const float clock =
        (ctx.tracker_rules & RULE_AMIGA_CLOCK_8363) ? AMIGA_CLOCK_8363 : AMIGA_CLOCK_PAL;
    return m == 0.0f ? 0.0f : clock / m; // period 0 after modulation: no advance
}

float linear_frequency(int period, int arpeggio) {
    if (arpeggio != 0) {
        period = (period - LINEAR_SEMITONE * arpeggio) & 0xFFFF;
        if (period < LINEAR_LOWEST_PERIOD) period = LINEAR_LOWEST_PERIOD;
    }
    const float octaves =
        static_cast<float>(LINEAR_MIDDLE_PERIOD - period) * LINEAR_OCTAVES_PER_UNIT;
    return LINEAR_BASE_FREQUENCY * exp2f(octaves);
}

uint32_t step_for(float frequency, uint32_t frame_rate) {
    const auto whole = static_cast<uint32_t>(static_cast<int64_t>(frequency));
    return static_cast<uint32_t>((uint64_t{whole} * POSITION_ONE + frame_rate / 2) / frame_rate);
}

// The step from the exact frequency, 32.32: the top in `step` as 20.12, the
// rest in step_fine.
void set_precise_step(ChannelState& ch, float frequency, uint32_t frame_rate) {
    const double wide = static_cast<double>(frequency) * WIDE_STEP_ONE / frame_rate;
    const uint64_t step = wide >= WIDE_STEP_LIMIT ? WIDE_STEP_MAX : static_cast<uint64_t>(wide);
    ch.step = static_cast<uint32_t>(step >> FINE_STEP_BITS);
    ch.mix.step_fine = static_cast<uint32_t>(step) & ((1u << FINE_STEP_BITS) - 1);
}

float amplitude(const ReplayContext& ctx, const ChannelState& ch) {
    const int level = std::clamp(int{ch.volume} - ch.volume_offset, 0, int{MAX_VOLUME});
    int64_t product =
        (int64_t{level} * ch.volume_envelope_value * ch.fadeout_volume >> VOLUME_SHIFT) *
        ctx.playback.global_volume;
    // IT: the channel volume (64 full), a global volume of 0..128, the
    // instrument's global volume and the song's mix volume (128 full).
    if (ctx.tracker_rules & RULE_IT) {
        product = product * ch.channel_volume >> (CHANNEL_VOLUME_BITS + 1);
        if (ch.instrument) product = product * ch.instrument->global_volume >> IT_VOLUME_BITS;
        product = product * ctx.mix_volume >> IT_VOLUME_BITS;
    }
    return static_cast<float>(product) * LEVEL_SCALE;
}

// The note panning moved by the channel panning, then by the panning envelope;
// each term narrows towards the sides so the result stays within 0..256.
int panning_position(const ChannelState& ch) {
    const int note = ch.panning;
    const int channel = ch.channel_panning;
    const int p1 =
        note + (channel - PAN_CENTRE) * (PAN_CENTRE - std::abs(note - PAN_CENTRE)) / PAN_CENTRE;
    const int envelope = ch.panning_envelope_value - ENVELOPE_CENTRE;
    const int c = p1 + (PAN_CENTRE - std::abs(p1 - PAN_CENTRE)) * envelope / ENVELOPE_CENTRE;
    return std::clamp(c + ch.panbrello_offset, 0, PAN_FULL);
}

// Stereo separation moves the position towards the centre or away from it.
int separated(int position, int separation) {
    if (separation == SEPARATION_AS_PANNED) return position;
    const int moved = PAN_CENTRE + (position - PAN_CENTRE) * separation / SEPARATION_AS_PANNED;
    return std::clamp(moved, 0, PAN_FULL);
}

} // namespace

void update_voice(const ReplayContext& ctx, ChannelState& ch) {
    if (ch.period == 0) return;
    int period = (ch.period - (ch.vibrato_offset + ch.autovibrato_offset)) & 0xFFFF;
    const int arpeggio = ch.arpeggio_offset;
    // IT's pitch envelope, in 1/64 semitones: a linear period's own unit.
    const int shift = ch.pitch_envelope_shift;
    if (shift && !ctx.amiga_periods) period = (period - shift) & 0xFFFF;
    float frequency = ctx.amiga_periods ? amiga_frequency(ctx, period, arpeggio)
                                        : linear_frequency(period, arpeggio);
    if (shift && ctx.amiga_periods)
        frequency *= exp2f(static_cast<float>(shift) * LINEAR_OCTAVES_PER_UNIT);
    if (ch.sample && ch.sample->fine_pitch)
        frequency *= exp2f(static_cast<float>(ch.sample->fine_pitch) * FINE_PITCH_OCTAVES);
    if (ctx.mix.precise)
        set_precise_step(ch, frequency, ctx.playback.frame_rate);
    else
        ch.step = step_for(frequency, ctx.playback.frame_rate);

    float a = amplitude(ctx, ch) * ctx.mix.gain;
    if (ch.control_flags & CHANNEL_SILENCED) a = 0.0f;
    if (ch.control_cut) a *= static_cast<float>(CONTROL_FULL - ch.control_cut) * CONTROL_SCALE;
    const int c = separated(panning_position(ch), ctx.settings.stereo_separation);
    ch.gain_left = sqrtf(static_cast<float>(PAN_FULL - c) / PAN_SCALE) * a;
    ch.gain_right = a * sqrtf(static_cast<float>(c) / PAN_SCALE);
    if (ctx.tracker_rules & RULE_IT) update_filter(ctx, ch);
}

} // namespace replayer
