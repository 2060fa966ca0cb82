// SPDX-License-Identifier: GPL-2.0-or-later
// The listening mixer: every setting but the intro's own rendering. Positions
// and steps are 32.32 fixed point; a voice reads its value through the chosen
// interpolation kernel; with ramping its gains move linearly to each tick's
// values, a new note starts from silence while the voice it replaces fades
// out beside it, and a sample that runs out fades from its last value. An IT
// voice with a filter runs each value through it before the gains.
//
// The taps of a kernel are read in the voice's own frame numbering, which
// goes on past the sample's end: there a forward loop repeats, the backward
// half of a ping-pong loop reads the loop mirrored, and a sample without loop
// reads silence (as do frames before its start).
#include <algorithm>
#include <bit>
#include <cmath>

#include "engine.h"
#include "interpolation.h"
#include "mixer_voice.h"

namespace replayer {

using namespace mixing;

namespace {

constexpr int FINE_BITS = 20; // position_fine and step_fine lie below the 20.12 values
constexpr uint32_t FINE_MASK = (1u << FINE_BITS) - 1;

Span span_of(const ReplayContext& ctx, const SampleRecord& s, bool looped) {
    const bool pingpong = s.loop_length && (s.flags_volume & SAMPLE_FLAG_PINGPONG);
    return {ctx.sample_data + s.data_index,
            s.length,
            int64_t{s.length} - s.loop_length,
            int64_t{s.loop_length} * (pingpong ? 2 : 1),
            pingpong,
            looped && s.loop_length,
            s.length && ctx.settings.ramping};
}

// n frames from p on into taps, forward (+1) or backward (-1).
void copy_frames(const int16_t* p, int direction, int n, float* taps) {
    if (direction > 0)
        for (int k = 0; k < n; ++k) taps[k] = p[k];
    else
        for (int k = 0; k < n; ++k) taps[k] = p[-k];
}

// Frames from j on of the voice's own numbering, in the stretches between
// edges: the loop position is found once and then followed.
void gather_across_edges(const Span& g, int64_t j, int count, float* taps) {
    int k = 0;
    if (!g.looped) {
        const float before = g.hold_edges ? g.data[0] : 0.0f;
        for (; k < count && j < 0; ++k, ++j) taps[k] = before;
        if (k < count && j < g.length) {
            const int n = static_cast<int>(std::min<int64_t>(count - k, g.length - j));
            copy_frames(g.data + j, 1, n, taps + k);
            k += n;
            j += n;
        }
    }
    if (k == count) return;
    if (!g.loop_cycle) {
        const float past = g.hold_edges ? g.data[g.length - 1] : 0.0f;
        for (; k < count; ++k) taps[k] = past;
        return;
    }
    const int64_t loop = g.pingpong ? g.loop_cycle / 2 : g.loop_cycle;
    int64_t at = (j - g.loop_start) % g.loop_cycle;
    if (at < 0) at += g.loop_cycle;
    while (k < count) {
        // Forward through the loop, or backward in a ping-pong's second half.
        const bool forward = at < loop;
        const int64_t left = (forward ? loop : g.loop_cycle) - at;
        const int n = static_cast<int>(std::min<int64_t>(count - k, left));
        const int16_t* p =
            g.data + (forward ? g.loop_start + at : g.loop_start + g.loop_cycle - 1 - at);
        copy_frames(p, forward ? 1 : -1, n, taps + k);
        k += n;
        at += n;
        if (at == g.loop_cycle) at = 0;
    }
}

} // namespace

// Straight from the sample where the taps lie inside it (in the loop, once
// the voice has been round it), in one direction; across an edge, stretch by
// stretch.
void mixing::gather(const Span& g, int64_t first, int count, bool mirrored, float* taps) {
    const int64_t last = first + count - 1;
    if (!mirrored && first >= (g.looped ? g.loop_start : 0) && last < g.length) {
        const int16_t* p = g.data + first;
        for (int k = 0; k < count; ++k) taps[k] = p[k];
    } else if (mirrored && first >= g.length && last < g.length + g.loop_cycle / 2) {
        const int16_t* p = g.data + (2 * g.length - 1 - first);
        for (int k = 0; k < count; ++k) taps[k] = p[-k];
    } else {
        gather_across_edges(g, first, count, taps);
    }
}

namespace {

Reader reader_for(const ReplayContext& ctx, const SampleRecord& s, uint64_t step, bool looped,
                  VoiceFilter& filter) {
    Reader r{span_of(ctx, s, looped), ctx.settings.interpolation, NEAREST_TAPS, nullptr,
             filter.a != 0.0f ? &filter : nullptr};
    switch (r.interpolation) {
    case INTERPOLATION_LINEAR:
        r.taps = LINEAR_TAPS;
        break;
    case INTERPOLATION_CUBIC:
        r.taps = CUBIC_TAPS;
        break;
    case INTERPOLATION_SINC:
        r.sinc = &sinc_bank_for_step(step);
        r.taps = r.sinc->taps;
        break;
    default:
        break;
    }
    return r;
}

// 24 bits of the fraction, exact as a float.
inline float fraction_of(uint64_t x) {
    return static_cast<float>(static_cast<uint32_t>(x) >> 8) * 0x1p-24f;
}

// The kernel of mode M over taps of type T (sample frames in place, or
// floats gathered at an edge).
template <int M, typename T> float kernel(const T* taps, uint64_t x) {
    if constexpr (M == INTERPOLATION_NEAREST) {
        return static_cast<float>(taps[0]);
    } else if constexpr (M == INTERPOLATION_LINEAR) {
        const float pair[2] = {static_cast<float>(taps[0]), static_cast<float>(taps[1])};
        return interpolate_linear(pair, fraction_of(x));
    } else {
        static_assert(M == INTERPOLATION_CUBIC, "the sinc kernel reads in mix_sinc");
        const float four[4] = {static_cast<float>(taps[0]), static_cast<float>(taps[1]),
                               static_cast<float>(taps[2]), static_cast<float>(taps[3])};
        return interpolate_cubic(four, fraction_of(x));
    }
}

// Frames [0, count) of a run of the short kernels, reading through the
// kernel (and with Filter the voice's filter) and adding into out. Inside:
// every tap lies in the sample, in reading order, so the frames are read in
// place; otherwise they are gathered frame by frame.
template <int M, bool Ramp, bool Inside, bool Filter = false>
__attribute__((always_inline)) inline void mix_frames(const Reader& r, uint64_t& x, uint64_t step,
                                                      bool mirrored, Gains& gains, float* out,
                                                      uint32_t count) {
    float taps[CUBIC_TAPS.count];
    for (uint32_t k = 0; k < count; ++k, x += step) {
        const auto frame = static_cast<int64_t>(x >> FRAME_SHIFT) + r.taps.first;
        float value;
        if constexpr (Inside) {
            value = kernel<M>(r.g.data + frame, x);
        } else {
            gather(r.g, frame, r.taps.count, mirrored, taps);
            value = kernel<M>(static_cast<const float*>(taps), x);
        }
        add_value<Ramp, Filter>(r, value, gains, out + 2 * k);
    }
}

using Lanes = float __attribute__((vector_size(4 * sizeof(float))));
using Words = int32_t __attribute__((vector_size(4 * sizeof(int32_t))));
static_assert(std::endian::native == std::endian::little, "a word's low half is its first frame");

// The short kernels' frames read in place at steady gains, four at a time:
// each lane is one frame computed exactly as mix_frames computes it.
template <int M>
void mix_inside_steady(const Reader& r, uint64_t& position, uint64_t step, Gains& gains, float* out,
                       uint32_t count) {
    const Lanes sides = {gains.left, gains.right, gains.left, gains.right};
    const int16_t* data = r.g.data + r.taps.first;
    uint64_t x = position; // a local: the stores to `out` cannot touch it
    Lanes highest = {}, lowest = {};
    uint32_t k = 0;
    for (; k + 4 <= count; k += 4, x += 4 * step) {
        const uint64_t x1 = x + step, x2 = x + 2 * step, x3 = x + 3 * step;
        const int16_t* p0 = data + static_cast<int64_t>(x >> FRAME_SHIFT);
        const int16_t* p1 = data + static_cast<int64_t>(x1 >> FRAME_SHIFT);
        const int16_t* p2 = data + static_cast<int64_t>(x2 >> FRAME_SHIFT);
        const int16_t* p3 = data + static_cast<int64_t>(x3 >> FRAME_SHIFT);
        // Taps j and j + 1 of the four frames, as one 32-bit word a lane.
        auto pair = [&](int j, Lanes& even, Lanes& odd) {
            uint32_t w[4];
            __builtin_memcpy(&w[0], p0 + j, 4);
            __builtin_memcpy(&w[1], p1 + j, 4);
            __builtin_memcpy(&w[2], p2 + j, 4);
            __builtin_memcpy(&w[3], p3 + j, 4);
            const Words words = {static_cast<int32_t>(w[0]), static_cast<int32_t>(w[1]),
                                 static_cast<int32_t>(w[2]), static_cast<int32_t>(w[3])};
            even = __builtin_convertvector((words << 16) >> 16, Lanes); // little-endian
            odd = __builtin_convertvector(words >> 16, Lanes);
        };
        Lanes v;
        if constexpr (M == INTERPOLATION_NEAREST) {
            v = Lanes{static_cast<float>(p0[0]), static_cast<float>(p1[0]),
                      static_cast<float>(p2[0]), static_cast<float>(p3[0])};
        } else {
            const Words below = {static_cast<int32_t>(static_cast<uint32_t>(x) >> 8),
                                 static_cast<int32_t>(static_cast<uint32_t>(x1) >> 8),
                                 static_cast<int32_t>(static_cast<uint32_t>(x2) >> 8),
                                 static_cast<int32_t>(static_cast<uint32_t>(x3) >> 8)};
            const Lanes t = __builtin_convertvector(below, Lanes) * 0x1p-24f; // as fraction_of
            Lanes taps[4];
            pair(0, taps[0], taps[1]);
            if constexpr (M == INTERPOLATION_LINEAR) {
                v = interpolate_linear(taps, t);
            } else {
                pair(2, taps[2], taps[3]);
                v = interpolate_cubic(taps, t);
            }
        }
        v *= OUTPUT_SCALE;
        if (gains.metering) {
            highest = v > highest ? v : highest;
            lowest = v < lowest ? v : lowest;
        }
        const Lanes first = {v[0], v[0], v[1], v[1]}, second = {v[2], v[2], v[3], v[3]};
        Lanes a, b;
        __builtin_memcpy(&a, out + 2 * k, sizeof a);
        __builtin_memcpy(&b, out + 2 * k + 4, sizeof b);
        a += sides * first;
        b += sides * second;
        __builtin_memcpy(out + 2 * k, &a, sizeof a);
        __builtin_memcpy(out + 2 * k + 4, &b, sizeof b);
    }
    position = x;
    float loudest = 0.0f;
    for (int lane = 0; lane < 4; ++lane)
        loudest = std::max({loudest, highest[lane], -lowest[lane]});
    gains.heard(gains.left * loudest, loudest * gains.right);
    mix_frames<M, false, true>(r, position, step, false, gains, out + 2 * size_t{k}, count - k);
}

// Frames from x until the reading frame passes `frame` (exclusive), at most `limit`.
uint32_t frames_until(uint64_t x, uint64_t step, int64_t frame, uint32_t limit) {
    if (frame <= 0) return 0;
    const uint64_t target = static_cast<uint64_t>(frame) << FRAME_SHIFT;
    if (x >= target) return 0;
    if (!step) return limit;
    return static_cast<uint32_t>(std::min<uint64_t>(limit, (target - x + step - 1) / step));
}

// A run of `count` frames on one side of the sample end: the frames whose
// taps cross an edge are gathered, those between read in place.
template <int M, bool Ramp, bool Filter>
void mix_run(const Reader& r, uint64_t& x, uint64_t step, bool mirrored, Gains& gains, float* out,
             uint32_t count) {
    const Span& g = r.g;
    // Reading frames whose taps lie inside (forward: the sample; mirrored: the loop).
    int64_t lo = (g.looped ? g.loop_start : 0) - r.taps.first;
    int64_t hi = g.length - r.taps.first - r.taps.count; // inclusive
    if (mirrored) {
        lo = g.length - r.taps.first;
        hi = g.length + g.loop_cycle / 2 - r.taps.first - r.taps.count;
    }
    // Frames gathered across an edge, and frames read in place.
    const auto gathered = [&](float* to, uint32_t n) {
        if constexpr (M == INTERPOLATION_SINC)
            mix_sinc(r, x, step, false, mirrored, gains, to, n, Ramp);
        else
            mix_frames<M, Ramp, false, Filter>(r, x, step, mirrored, gains, to, n);
    };
    const auto in_place = [&](float* to, uint32_t n) {
        if constexpr (M == INTERPOLATION_SINC)
            mix_sinc(r, x, step, true, false, gains, to, n, Ramp);
        else if constexpr (Filter)
            mix_frames<M, Ramp, true, true>(r, x, step, false, gains, to, n);
        else if constexpr (!Ramp)
            mix_inside_steady<M>(r, x, step, gains, to, n);
        else
            mix_frames<M, Ramp, true>(r, x, step, false, gains, to, n);
    };
    uint32_t done = frames_until(x, step, lo, count);
    gathered(out, done);
    if (!mirrored && done < count) {
        const uint32_t inside = frames_until(x, step, hi + 1, count - done);
        in_place(out + 2 * size_t{done}, inside);
        done += inside;
    }
    gathered(out + 2 * size_t{done}, count - done);
}

uint64_t end_of(const Span& g) {
    return static_cast<uint64_t>(g.length) << FRAME_SHIFT;
}

// Walks a voice from x on through up to `frames` frames, in runs that end at
// the sample's end or at the end of a ping-pong cycle: run(x, mirrored,
// count, done) handles each and moves x on. Returns how many frames it walked
// before the sample ran out (all of them when it did not).
template <typename Run>
uint32_t walk_voice(Span& g, uint64_t& x, uint64_t step, uint32_t frames, Run run) {
    const uint64_t end = end_of(g);
    const uint64_t loop_start = static_cast<uint64_t>(g.loop_start) << FRAME_SHIFT;
    const uint64_t cycle = static_cast<uint64_t>(g.loop_cycle) << FRAME_SHIFT;
    uint32_t done = 0;
    while (done < frames) {
        if (x >= end) {
            if (!cycle) return done;
            x = loop_start + (x - loop_start) % cycle;
            g.looped = true;
        }
        const bool mirrored = x >= end;
        const uint64_t limit = mirrored ? loop_start + cycle : end;
        uint32_t count = frames - done;
        if (step)
            count = static_cast<uint32_t>(std::min<uint64_t>(count, (limit - x + step - 1) / step));
        run(x, mirrored, count, done);
        done += count;
    }
    return done;
}

template <int M, bool Ramp>
uint32_t mix_voice_as(Reader& r, uint64_t& x, uint64_t step, Gains& gains, float* out,
                      uint32_t frames) {
    return walk_voice(r.g, x, step, frames,
                      [&](uint64_t& at, bool mirrored, uint32_t count, uint32_t done) {
                          float* to = out + 2 * size_t{done};
                          if (r.filter)
                              mix_run<M, Ramp, true>(r, at, step, mirrored, gains, to, count);
                          else
                              mix_run<M, Ramp, false>(r, at, step, mirrored, gains, to, count);
                      });
}

// The frames of a ramp with the gains moving, the rest at the gains it
// reached: the same values, the steady ones by the faster path.
template <int M>
uint32_t mix_ramp_then_steady(Reader& r, uint64_t& x, uint64_t step, Gains& gains, float* out,
                              uint32_t frames) {
    uint32_t mixed = 0;
    if (gains.frames_left) {
        const uint32_t ramp = std::min(frames, gains.frames_left);
        mixed = mix_voice_as<M, true>(r, x, step, gains, out, ramp);
        if (mixed < ramp || mixed == frames) return mixed;
    }
    return mixed +
           mix_voice_as<M, false>(r, x, step, gains, out + 2 * size_t{mixed}, frames - mixed);
}

// Mixes up to `frames` frames of a voice from x on; returns how many it mixed
// before the sample ran out (all of them when it did not). Leaves x where the
// voice stands. Without Mix it reads nothing and writes nothing, and leaves
// the voice and its gains exactly where mixing would (a seek).
template <bool Mix>
uint32_t mix_voice(Reader& r, uint64_t& x, uint64_t step, Gains& gains, float* out,
                   uint32_t frames) {
    if constexpr (!Mix) {
        // A filter's history needs every value: mixed into scratch and dropped.
        if (r.filter) {
            constexpr uint32_t CHUNK = 256;
            float scratch[2 * CHUNK];
            uint32_t done = 0;
            while (done < frames) {
                const uint32_t n = std::min(frames - done, CHUNK);
                std::fill_n(scratch, 2 * n, 0.0f);
                const uint32_t mixed = mix_voice<true>(r, x, step, gains, scratch, n);
                done += mixed;
                if (mixed < n) break;
            }
            return done;
        }
        return walk_voice(r.g, x, step, frames, [&](uint64_t& at, bool, uint32_t count, uint32_t) {
            at += step * count;
            for (uint32_t k = 0; k < count && gains.frames_left; ++k) gains.next();
        });
    }
    switch (r.interpolation) {
    case INTERPOLATION_LINEAR:
        return mix_ramp_then_steady<INTERPOLATION_LINEAR>(r, x, step, gains, out, frames);
    case INTERPOLATION_CUBIC:
        return mix_ramp_then_steady<INTERPOLATION_CUBIC>(r, x, step, gains, out, frames);
    case INTERPOLATION_SINC:
        return mix_ramp_then_steady<INTERPOLATION_SINC>(r, x, step, gains, out, frames);
    default:
        return mix_ramp_then_steady<INTERPOLATION_NEAREST>(r, x, step, gains, out, frames);
    }
}

uint64_t wide_position(const ChannelState& ch) {
    return uint64_t{ch.position} << FINE_BITS | (ch.mix.position_fine & FINE_MASK);
}

uint64_t wide_step(const ChannelState& ch) {
    return uint64_t{ch.step} << FINE_BITS | (ch.mix.step_fine & FINE_MASK);
}

void store_wide_position(ChannelState& ch, uint64_t x) {
    ch.position = static_cast<uint32_t>(std::min<uint64_t>(x >> FINE_BITS, UINT32_MAX));
    ch.mix.position_fine = static_cast<uint32_t>(x) & FINE_MASK;
}

void start_fade(const ReplayContext& ctx, VoiceMix& m, const SampleRecord* sample,
                uint64_t position, uint64_t step, float left, float right,
                const VoiceFilter& filter) {
    m.fading = {sample, position, step, left, right, ctx.mix.ramp_frames, 0, filter};
}

// A note start or a cut since the last block: the voice mixed before fades
// out, and the new one rises from silence.
void follow_voice_change(const ReplayContext& ctx, ChannelState& ch) {
    VoiceMix& m = ch.mix;
    if (m.voice_serial == m.mixed_serial && ch.sample == m.mixed_sample) return;
    // A released sustain loop plays on in the same frames: the same voice.
    if (m.voice_serial == m.mixed_serial && ch.sample && m.mixed_sample &&
        ch.sample->data_index == m.mixed_sample->data_index && ch.sample_ended == 0 &&
        m.mixed_sample + m.mixed_sample->released == ch.sample) {
        m.mixed_sample = ch.sample;
        return;
    }
    if (m.mixed_sample && (m.mixed_flags & MIXED_AUDIBLE)) {
        // A note start has moved the old voice's filter aside; a cut left it.
        const VoiceFilter& filter =
            m.voice_serial != m.mixed_serial ? m.replaced_filter : ch.filter;
        start_fade(ctx, m, m.mixed_sample, m.mixed_position, m.mixed_step, m.gain_left,
                   m.gain_right, filter);
        m.fading.looped = (m.mixed_flags & MIXED_LOOPED) != 0;
    }
    m.gain_left = m.gain_right = 0.0f;
    m.ramp_frames_left = 0;
    m.target_left = m.target_right = -1.0f; // forces a ramp to this tick's gains
    m.mixed_serial = m.voice_serial;
    m.mixed_sample = ch.sample;
}

Gains channel_gains(const ReplayContext& ctx, ChannelState& ch) {
    VoiceMix& m = ch.mix;
    if (!ctx.settings.ramping) return {ch.gain_left, ch.gain_right, 0, 0, 0, 0, 0};
    if (ch.gain_left != m.target_left || ch.gain_right != m.target_right) {
        const float frames = static_cast<float>(ctx.mix.ramp_frames);
        m.target_left = ch.gain_left;
        m.target_right = ch.gain_right;
        m.delta_left = (m.target_left - m.gain_left) / frames;
        m.delta_right = (m.target_right - m.gain_right) / frames;
        m.ramp_frames_left = ctx.mix.ramp_frames;
    }
    return {m.gain_left,   m.gain_right,   m.delta_left,      m.delta_right,
            m.target_left, m.target_right, m.ramp_frames_left};
}

void keep_gains(ChannelState& ch, const Gains& gains) {
    ch.mix.gain_left = gains.left;
    ch.mix.gain_right = gains.right;
    ch.mix.ramp_frames_left = gains.frames_left;
}

template <bool Mix>
void mix_fading(const ReplayContext& ctx, ChannelState& ch, float* out, uint32_t frames) {
    FadingVoice& f = ch.mix.fading;
    const uint32_t n = std::min(frames, f.frames_left);
    Gains gains{f.gain_left, f.gain_right, 0.0f, 0.0f, f.gain_left, f.gain_right, f.frames_left};
    gains.fade = true;
    gains.fade_scale = 1.0f / static_cast<float>(ctx.mix.ramp_frames);
    gains.metering = ctx.song.peak_meters;
    Reader r = reader_for(ctx, *f.sample, f.step, f.looped, f.filter);
    mix_voice<Mix>(r, f.position, f.step, gains, out, n);
    if constexpr (Mix) raise_peaks(ch, gains.peak_left, gains.peak_right);
    f.looped = r.g.looped;
    f.frames_left -= n;
    if (f.frames_left == 0) f.sample = nullptr;
}

template <bool Mix>
void mix_channel(const ReplayContext& ctx, ChannelState& ch, float* out, uint32_t frames) {
    const bool ramping = ctx.settings.ramping;
    VoiceMix& m = ch.mix;
    if (ramping) {
        follow_voice_change(ctx, ch);
        if (m.fading.sample) mix_fading<Mix>(ctx, ch, out, frames);
    }
    Gains gains = channel_gains(ctx, ch);
    gains.metering = ctx.song.peak_meters;
    const bool audible = ch.sample && !ch.sample_ended;
    if (audible) {
        uint64_t x = wide_position(ch);
        const uint64_t step = wide_step(ch);
        Reader r = reader_for(ctx, *ch.sample, step, m.looped, ch.filter);
        // At zero gains a voice adds nothing and only moves on, unless a
        // filter's history needs its values.
        const bool silent =
            !r.filter && gains.left == 0.0f && gains.right == 0.0f && gains.frames_left == 0;
        const uint32_t mixed = Mix && !silent ? mix_voice<true>(r, x, step, gains, out, frames)
                                              : mix_voice<false>(r, x, step, gains, out, frames);
        m.looped = r.g.looped;
        if (mixed < frames) {
            // Run out: silent from here until the next note; with ramping
            // the last value read fades instead of stopping.
            ch.sample_ended = 1;
            if (ramping) {
                const uint64_t last = x >= step ? x - step : x;
                start_fade(ctx, m, ch.sample, last, 0, gains.left, gains.right, ch.filter);
                mix_fading<Mix>(ctx, ch, Mix ? out + 2 * size_t{mixed} : nullptr, frames - mixed);
            }
        }
        if constexpr (Mix) raise_peaks(ch, gains.peak_left, gains.peak_right);
        store_wide_position(ch, x);
        m.mixed_position = x;
        m.mixed_step = step;
    } else {
        for (uint32_t k = 0; k < frames && gains.frames_left; ++k) gains.next();
    }
    m.mixed_flags =
        (ch.sample && !ch.sample_ended ? MIXED_AUDIBLE : 0) | (m.looped ? MIXED_LOOPED : 0);
    if (ramping) keep_gains(ch, gains);
}

} // namespace

void mix_block_interpolated(ReplayContext& ctx, float* output, uint32_t frames) {
    for (int c = 0; c < voice_records(ctx); ++c)
        mix_channel<true>(ctx, ctx.channels[c], output, frames);
}

void skip_block_interpolated(ReplayContext& ctx, uint32_t frames) {
    for (int c = 0; c < voice_records(ctx); ++c)
        mix_channel<false>(ctx, ctx.channels[c], nullptr, frames);
}

void synchronise_mixer(ReplayContext& ctx) {
    for (int c = 0; c < voice_records(ctx); ++c) {
        ChannelState& ch = ctx.channels[c];
        VoiceMix& m = ch.mix;
        m.gain_left = m.target_left = ch.gain_left;
        m.gain_right = m.target_right = ch.gain_right;
        m.ramp_frames_left = 0;
        m.mixed_serial = m.voice_serial;
        m.mixed_sample = ch.sample;
        m.mixed_flags =
            (ch.sample && !ch.sample_ended ? MIXED_AUDIBLE : 0) | (m.looped ? MIXED_LOOPED : 0);
        m.mixed_position = wide_position(ch);
        m.mixed_step = wide_step(ch);
        m.fading.sample = nullptr;
    }
}

} // namespace replayer
