// SPDX-License-Identifier: GPL-2.0-or-later
// The voice mixer: no interpolation, no ramping. Each channel's current
// sample frame (through the voice's filter, for IT voices that have one) is
// scaled by the gains of the last tick and added into the output; channels
// are summed in channel order.
//
// Positions are 20.12 fixed point in 32 bits. Sums are formed in 64 bits: a
// position that would pass 2^32 is brought back into its loop, and a sample
// that cannot be represented any further ends instead of wrapping to its
// start.
#include <algorithm>
#include <cstring>

#include "engine.h"

namespace replayer {

namespace {

constexpr float SAMPLE_SCALE = 0x1p-15f;  // 16-bit frame to -1.0 .. just under 1.0
constexpr float CHANNEL_HEADROOM = 0.25f; // four full-scale channels reach full scale
constexpr uint64_t POSITION_LIMIT = uint64_t{1} << 32;

struct SampleSpan {
    const int16_t* data;
    uint64_t end;        // length in 20.12 units
    uint64_t loop_start; // 20.12 units
    uint64_t loop_span;  // one loop cycle in 20.12 units; 0 = no loop
    uint32_t length;     // frames
    bool pingpong;
};

SampleSpan span(const ReplayContext& ctx, const SampleRecord& s) {
    const bool pingpong = s.loop_length && (s.flags_volume & SAMPLE_FLAG_PINGPONG);
    return {ctx.sample_data + s.data_index,
            uint64_t{s.length} * POSITION_ONE,
            uint64_t{s.length - s.loop_length} * POSITION_ONE,
            uint64_t{s.loop_length} * POSITION_ONE * (pingpong ? 2 : 1),
            s.length,
            pingpong};
}

uint64_t wrap_into_loop(const SampleSpan& g, uint64_t x) {
    return g.loop_start + (x - g.loop_start) % g.loop_span;
}

// Stores a position after an advance; false when the sample has ended for good.
bool store_position(ChannelState& ch, const SampleSpan& g, uint64_t x) {
    if (x >= POSITION_LIMIT && g.loop_span) x = wrap_into_loop(g, x);
    if (x >= POSITION_LIMIT) {
        ch.position = UINT32_MAX;
        ch.sample_ended = 1;
        return false;
    }
    ch.position = static_cast<uint32_t>(x);
    return true;
}

// Two interleaved stereo frames as one vector. Vector arithmetic is plain IEEE
// single precision (no contraction), lane by lane the same as the scalar rule.
using FramePair = float __attribute__((vector_size(4 * sizeof(float))));
using FramePairFrames = int32_t __attribute__((vector_size(4 * sizeof(int32_t))));

// Mixes frames [0, count) of a run in which every read index lies on the same
// side of the sample end, so the ping-pong mirror is fixed for the run. Read
// positions inside a run stay below 2^32.
//
// The rule is gain x (frame x 2^-15 x 0.25). Both scalings are exact, and so
// is gain x 2^-17 (gains are 0 or at least 2^-35), so (gain x 2^-17) x frame
// rounds to the same float: the scale is folded into the gains once per run.
// With Meter, returns the largest magnitude of the frames read (for the peak
// levels); else 0.
template <bool Mirrored, bool Meter>
int32_t mix_run(const SampleSpan& g, uint32_t x, uint32_t step, float gain_left, float gain_right,
                float* out, uint32_t count) {
    const uint32_t mirror = 2 * g.length - 1;
    auto read = [&](uint32_t position) -> int32_t {
        uint32_t i = position >> POSITION_FRACTION_BITS;
        if constexpr (Mirrored) i = mirror - i;
        return g.data[i];
    };
    constexpr float scale = SAMPLE_SCALE * CHANNEL_HEADROOM;
    const float left = gain_left * scale, right = gain_right * scale;
    const FramePair gains = {left, right, left, right};
    int32_t loudest = 0;
    auto heard = [&loudest](int32_t frame) {
        if constexpr (Meter) loudest = std::max(loudest, frame < 0 ? -frame : frame);
    };
    uint32_t k = 0;
    for (; k + 4 <= count; k += 4, x += 4 * step) {
        const int32_t a = read(x), b = read(x + step), c = read(x + 2 * step),
                      d = read(x + 3 * step);
        heard(a);
        heard(b);
        heard(c);
        heard(d);
        const FramePairFrames first = {a, a, b, b}, second = {c, c, d, d};
        FramePair sum0, sum1;
        std::memcpy(&sum0, out + 2 * k, sizeof sum0);
        std::memcpy(&sum1, out + 2 * k + 4, sizeof sum1);
        sum0 += gains * __builtin_convertvector(first, FramePair);
        sum1 += gains * __builtin_convertvector(second, FramePair);
        std::memcpy(out + 2 * k, &sum0, sizeof sum0);
        std::memcpy(out + 2 * k + 4, &sum1, sizeof sum1);
    }
    for (; k < count; ++k, x += step) {
        const int32_t value = read(x);
        heard(value);
        const auto frame = static_cast<float>(value);
        out[2 * k] += left * frame;
        out[2 * k + 1] += frame * right;
    }
    return loudest;
}

// Mix: adds the voice into out. Otherwise only moves its position on exactly
// as mixing would (a seek), reading nothing.
template <bool Mirrored>
int32_t mix_run_as(bool meter, const SampleSpan& g, uint32_t x, const ChannelState& ch, float* out,
                   uint32_t count) {
    return meter ? mix_run<Mirrored, true>(g, x, ch.step, ch.gain_left, ch.gain_right, out, count)
                 : mix_run<Mirrored, false>(g, x, ch.step, ch.gain_left, ch.gain_right, out, count);
}

// A filtered voice (IT), frame by frame. Its filter needs every frame read,
// also when nothing is written (a seek, without Mix).
template <bool Mirrored, bool Mix>
void mix_filtered_run(const SampleSpan& g, uint32_t x, ChannelState& ch, float* out, uint32_t count,
                      bool meter) {
    const uint32_t mirror = 2 * g.length - 1;
    constexpr float scale = SAMPLE_SCALE * CHANNEL_HEADROOM;
    const float left = ch.gain_left * scale, right = ch.gain_right * scale;
    float loudest = 0.0f;
    for (uint32_t k = 0; k < count; ++k, x += ch.step) {
        uint32_t i = x >> POSITION_FRACTION_BITS;
        if constexpr (Mirrored) i = mirror - i;
        const float value = filter_step(ch.filter, static_cast<float>(g.data[i]));
        if constexpr (Mix) {
            out[2 * k] += left * value;
            out[2 * k + 1] += value * right;
            loudest = std::max(loudest, value < 0.0f ? -value : value);
        }
    }
    if (Mix && meter) raise_peaks(ch, left * loudest, loudest * right);
}

template <bool Mix>
void mix_channel(ChannelState& ch, const SampleSpan& g, float* out, uint32_t frames, bool meter) {
    const uint32_t step = ch.step;
    const bool filtered = ch.filter.a != 0.0f;
    uint64_t x = ch.position;
    if (!Mix && !filtered) {
        // Most blocks end before the sample does, in one run the walk below
        // would take to the same place.
        const uint64_t after = x + uint64_t{step} * frames;
        if (after < g.end) {
            ch.position = static_cast<uint32_t>(after);
            return;
        }
    }
    uint32_t done = 0;
    while (done < frames) {
        if (x >= g.end) {
            if (!g.loop_span) break; // run out: silent, the position stays parked
            x = wrap_into_loop(g, x);
        }
        // The run goes on until the sample end, or for the backward half of a
        // ping-pong loop until the cycle restarts.
        const bool mirrored = x >= g.end;
        const uint64_t limit =
            std::min(mirrored ? g.loop_start + g.loop_span : g.end, POSITION_LIMIT);
        uint32_t count = frames - done;
        if (step)
            count = static_cast<uint32_t>(std::min<uint64_t>(count, (limit - x + step - 1) / step));
        if (filtered) {
            float* at = Mix ? out + 2 * done : nullptr;
            if (mirrored)
                mix_filtered_run<true, Mix>(g, static_cast<uint32_t>(x), ch, at, count, meter);
            else
                mix_filtered_run<false, Mix>(g, static_cast<uint32_t>(x), ch, at, count, meter);
        } else if constexpr (Mix) {
            const int32_t loudest = mirrored ? mix_run_as<true>(meter, g, static_cast<uint32_t>(x),
                                                                ch, out + 2 * done, count)
                                             : mix_run_as<false>(meter, g, static_cast<uint32_t>(x),
                                                                 ch, out + 2 * done, count);
            constexpr float scale = SAMPLE_SCALE * CHANNEL_HEADROOM;
            const auto frame = static_cast<float>(loudest);
            if (meter)
                raise_peaks(ch, ch.gain_left * scale * frame, frame * (ch.gain_right * scale));
        }
        x += uint64_t{step} * count;
        done += count;
        if (x >= POSITION_LIMIT && !store_position(ch, g, x)) return;
        if (x >= POSITION_LIMIT) x = ch.position;
    }
    store_position(ch, g, x);
}

} // namespace

void mix_block(ReplayContext& ctx, float* output, uint32_t frames) {
    for (int c = 0; c < voice_records(ctx); ++c) {
        ChannelState& ch = ctx.channels[c];
        if (!ch.sample || ch.sample_ended) continue;
        mix_channel<true>(ch, span(ctx, *ch.sample), output, frames, ctx.song.peak_meters);
    }
}

void skip_block(ReplayContext& ctx, uint32_t frames) {
    for (int c = 0; c < voice_records(ctx); ++c) {
        ChannelState& ch = ctx.channels[c];
        if (!ch.sample || ch.sample_ended) continue;
        mix_channel<false>(ch, span(ctx, *ch.sample), nullptr, frames, false);
    }
}

} // namespace replayer
