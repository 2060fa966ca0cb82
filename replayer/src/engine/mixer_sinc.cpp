// SPDX-License-Identifier: GPL-2.0-or-later
// The sinc kernel's share of the listening mixer, where nearly all of its
// time goes: frames are read eight at a time, their sums folded together, and
// (unless the voice is filtered) added into the output eight at a time.
// Frames whose taps cross an edge of the sample are first gathered into a
// window of the voice's own frame numbering, once for many frames, and read
// from there.
//
// Built twice on x86-64, for AVX2 and for the baseline: the same operations
// in the same order, so the same bits, chosen by the processor at load. Not
// under ThreadSanitizer, whose runtime is not up yet when the loader picks a
// clone.
#include "mixer_voice.h"

#if defined(__x86_64__) && !defined(__SANITIZE_THREAD__)
#define QUILLRUN_WIDE_VECTORS __attribute__((target_clones("avx2", "default")))
#else
#define QUILLRUN_WIDE_VECTORS
#endif

namespace replayer::mixing {

namespace {

constexpr int WINDOW_FRAMES = 1024; // gathered frames read from at once

// Eight frames' values through the filter and the gains into out. Without a
// filter, the gains of each frame are taken in turn as add_value takes them,
// and the products and sums done eight frames at a time.
template <bool Ramp, bool Filter>
__attribute__((always_inline)) inline void add_group(const Reader& r, const SincLanes& values,
                                                     Gains& gains, float* out) {
    if constexpr (Filter) {
        for (int f = 0; f < SINC_GROUP; ++f)
            add_value<Ramp, Filter>(r, values[f], gains, out + 2 * f);
    } else {
        const SincLanes v = values * OUTPUT_SCALE;
        SincLanes first, second;
        if constexpr (Ramp) {
            // left, right of frames 0..3 in sides[0], of frames 4..7 in sides[1]
            SincLanes sides[2];
            for (int f = 0; f < SINC_GROUP; ++f) {
                gains.next();
                sides[f / 4][2 * (f % 4)] = gains.left;
                sides[f / 4][2 * (f % 4) + 1] = gains.right;
            }
            first = sides[0] * __builtin_shufflevector(v, v, 0, 0, 1, 1, 2, 2, 3, 3);
            second = sides[1] * __builtin_shufflevector(v, v, 4, 4, 5, 5, 6, 6, 7, 7);
        } else {
            const SincLanes sides = {gains.left, gains.right, gains.left, gains.right,
                                     gains.left, gains.right, gains.left, gains.right};
            first = sides * __builtin_shufflevector(v, v, 0, 0, 1, 1, 2, 2, 3, 3);
            second = sides * __builtin_shufflevector(v, v, 4, 4, 5, 5, 6, 6, 7, 7);
        }
        SincLanes a, b;
        __builtin_memcpy(&a, out, sizeof a);
        __builtin_memcpy(&b, out + SINC_GROUP, sizeof b);
        a += first;
        b += second;
        __builtin_memcpy(out, &a, sizeof a);
        __builtin_memcpy(out + SINC_GROUP, &b, sizeof b);
        if (gains.metering)
            for (int f = 0; f < SINC_GROUP / 2; ++f) {
                gains.heard(first[2 * f], first[2 * f + 1]);
                gains.heard(second[2 * f], second[2 * f + 1]);
            }
    }
}

// `count` frames from x on, the voice's frame j at frames[j - origin].
template <int N, typename T, bool Ramp, bool Filter>
__attribute__((always_inline)) inline void read_frames(const Reader& r, const T* frames,
                                                       int64_t origin, uint64_t& x, uint64_t step,
                                                       Gains& gains, float* out, uint32_t count) {
    const SincBank& bank = *r.sinc;
    const int64_t offset = r.taps.first - origin;
    // The taps of the frame read at position p.
    const auto taps_at = [&](uint64_t p) {
        return frames + (static_cast<int64_t>(p >> FRAME_SHIFT) + offset);
    };
    uint32_t k = 0;
    for (; k + SINC_GROUP <= count; k += SINC_GROUP) {
        SincGroup group;
        for (int i = 0; i < SINC_GROUP / 2; ++i) {
            const uint64_t x0 = x, x1 = x + step;
            x += 2 * step;
            sinc_group_pair<N>(group, bank, i, taps_at(x0), static_cast<uint32_t>(x0), taps_at(x1),
                               static_cast<uint32_t>(x1));
        }
        SincLanes values;
        sinc_group_values(group, values);
        add_group<Ramp, Filter>(r, values, gains, out + 2 * size_t{k});
    }
    if (k == count) return;
    // The last few frames as a group too, the rest of it repeating the last.
    const uint32_t n = count - k;
    SincGroup group;
    for (uint32_t i = 0; i < SINC_GROUP / 2; ++i) {
        const uint64_t x0 = x + std::min(2 * i, n - 1) * step;
        const uint64_t x1 = x + std::min(2 * i + 1, n - 1) * step;
        sinc_group_pair<N>(group, bank, static_cast<int>(i), taps_at(x0), static_cast<uint32_t>(x0),
                           taps_at(x1), static_cast<uint32_t>(x1));
    }
    x += n * step;
    SincLanes values;
    sinc_group_values(group, values);
    for (uint32_t f = 0; f < n; ++f)
        add_value<Ramp, Filter>(r, values[f], gains, out + 2 * size_t{k + f});
}

// The plain kernel's tap count known at compile time, the others not.
template <typename T, bool Ramp, bool Filter>
__attribute__((always_inline)) inline void
read_with_bank(const Reader& r, const T* frames, int64_t origin, uint64_t& x, uint64_t step,
               Gains& gains, float* out, uint32_t count) {
    if (r.taps.count == SINC_BASE_TAPS)
        read_frames<SINC_BASE_TAPS, T, Ramp, Filter>(r, frames, origin, x, step, gains, out, count);
    else
        read_frames<0, T, Ramp, Filter>(r, frames, origin, x, step, gains, out, count);
}

template <bool Ramp, bool Filter>
__attribute__((always_inline)) inline void read_gathered(const Reader& r, uint64_t& x,
                                                         uint64_t step, bool mirrored, Gains& gains,
                                                         float* out, uint32_t count) {
    float window[WINDOW_FRAMES];
    // n frames from x read at most (n - 1) x (whole step + 1) + taps frames.
    const uint64_t spread = (step >> FRAME_SHIFT) + 1;
    const uint64_t most = (WINDOW_FRAMES - r.taps.count) / spread + 1;
    for (uint32_t k = 0; k < count;) {
        const auto n = static_cast<uint32_t>(std::min<uint64_t>(most, count - k));
        const int64_t first = static_cast<int64_t>(x >> FRAME_SHIFT) + r.taps.first;
        const int64_t end =
            static_cast<int64_t>((x + (n - 1) * step) >> FRAME_SHIFT) + r.taps.first + r.taps.count;
        gather(r.g, first, static_cast<int>(end - first), mirrored, window);
        read_with_bank<float, Ramp, Filter>(r, window, first, x, step, gains, out + 2 * size_t{k},
                                            n);
        k += n;
    }
}

template <bool Ramp, bool Filter>
__attribute__((always_inline)) inline void mix_sinc_as(const Reader& r, uint64_t& x, uint64_t step,
                                                       bool inside, bool mirrored, Gains& gains,
                                                       float* out, uint32_t count) {
    // A copy the compiler can keep in registers: the stores into out might
    // otherwise be the caller's gains, to be read again after each.
    Gains local = gains;
    uint64_t at = x;
    if (inside)
        read_with_bank<int16_t, Ramp, Filter>(r, r.g.data, 0, at, step, local, out, count);
    else
        read_gathered<Ramp, Filter>(r, at, step, mirrored, local, out, count);
    gains = local;
    x = at;
}

// Of internal linkage, as is the clones' resolver then.
QUILLRUN_WIDE_VECTORS void mix_sinc_cloned(const Reader& r, uint64_t& x, uint64_t step, bool inside,
                                           bool mirrored, Gains& gains, float* out, uint32_t count,
                                           bool ramp) {
    if (count == 0) return;
    if (r.filter) {
        if (ramp)
            mix_sinc_as<true, true>(r, x, step, inside, mirrored, gains, out, count);
        else
            mix_sinc_as<false, true>(r, x, step, inside, mirrored, gains, out, count);
    } else {
        if (ramp)
            mix_sinc_as<true, false>(r, x, step, inside, mirrored, gains, out, count);
        else
            mix_sinc_as<false, false>(r, x, step, inside, mirrored, gains, out, count);
    }
}

} // namespace

void mix_sinc(const Reader& r, uint64_t& x, uint64_t step, bool inside, bool mirrored, Gains& gains,
              float* out, uint32_t count, bool ramp) {
    mix_sinc_cloned(r, x, step, inside, mirrored, gains, out, count, ramp);
}

} // namespace replayer::mixing
