// SPDX-License-Identifier: GPL-2.0-or-later
// Interpolation kernels: how a value between two sample frames is read. Each
// kernel is a small pure function of the taps around the position (as floats,
// in 16-bit units) and the fraction t (0 <= t < 1) past the first frame at or
// before it.
//
// The sinc kernels are tabulated once per process (build_sinc_tables, which
// the first setting of sinc interpolation runs) with the engine's own double
// arithmetic, so that the tables hold the same bits on every architecture.
#pragma once

#include <cstdint>

namespace replayer {

// Taps before (negative) and after the frame at or before the position.
struct TapSpan {
    int first; // offset of the first tap, <= 0
    int count; // number of taps
};

inline constexpr TapSpan NEAREST_TAPS = {0, 1};
inline constexpr TapSpan LINEAR_TAPS = {0, 2};
inline constexpr TapSpan CUBIC_TAPS = {-1, 4};

// Linear and cubic kernels take floats, or vectors of floats (one frame a
// lane, each lane computed exactly as a float alone).
template <typename T> inline T interpolate_linear(const T* taps, T t) {
    return taps[0] + t * (taps[1] - taps[0]);
}

// Catmull-Rom spline through taps[1] (t = 0) and taps[2] (t = 1).
template <typename T> inline T interpolate_cubic(const T* taps, T t) {
    const T p0 = taps[0], p1 = taps[1], p2 = taps[2], p3 = taps[3];
    const T c3 = 3.0f * (p1 - p2) + p3 - p0;
    const T c2 = 2.0f * p0 - 5.0f * p1 + 4.0f * p2 - p3;
    const T c1 = p2 - p0;
    return p1 + 0.5f * t * (c1 + t * (c2 + t * c3));
}

// ------------------------------------------------------------------ sinc

inline constexpr int SINC_BASE_TAPS = 16; // at a step of one frame or less
inline constexpr int SINC_PHASE_BITS = 6; // phases tabulated per frame
inline constexpr int SINC_PHASES = 1 << SINC_PHASE_BITS;
inline constexpr int SINC_MAX_TAPS = 96; // the widest stretched kernel
inline constexpr int SINC_BANK_COUNT = 8;

// One kernel: for phase p (t = p / SINC_PHASES) a row of the coefficients
// of its taps, then their change to phase p + 1, so that t between two
// phases reads coefficients interpolated linearly. The plain kernel's rows
// hold its even taps, then its odd ones; a wider kernel's its taps in order.
struct SincBank {
    const float* rows; // SINC_PHASES rows of 2 x `taps`
    TapSpan taps;
};

void build_sinc_tables();

// The kernel for a voice advancing `step` frames per output frame (32.32):
// the plain kernel up to one frame, else one whose cutoff lies below the
// output's Nyquist frequency for that step.
const SincBank& sinc_bank_for_step(uint64_t step);

using SincLanes = float __attribute__((vector_size(8 * sizeof(float))));
using SincIndex = int32_t __attribute__((vector_size(8 * sizeof(int32_t))));

// Eight lane vectors go by reference: passed by value they would change the
// calling convention between the AVX2 and the baseline builds.

// Taps k..k + 7 of one frame as floats: 16-bit frames in place, or floats.
template <typename T>
__attribute__((always_inline)) inline void sinc_taps(const T* taps, int k, SincLanes& v) {
    if constexpr (sizeof(T) == sizeof(int16_t)) {
        using Frames = int16_t __attribute__((vector_size(8 * sizeof(int16_t))));
        Frames f;
        __builtin_memcpy(&f, taps + k, sizeof f);
        v = __builtin_convertvector(__builtin_convertvector(f, SincIndex), SincLanes);
    } else {
        __builtin_memcpy(&v, taps + k, sizeof v);
    }
}

// The plain kernel's 16 taps in the order its rows are stored: the even taps
// in lanes 0..7 of even, the odd ones in odd (a 16-bit pair is one 32-bit
// word, split by shifts where a general conversion would take more steps).
template <typename T>
__attribute__((always_inline)) inline void sinc_base_taps(const T* taps, SincLanes& even,
                                                          SincLanes& odd) {
    if constexpr (sizeof(T) == sizeof(int16_t)) {
        static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "a word's low half comes first");
        SincIndex words;
        __builtin_memcpy(&words, taps, sizeof words);
        even = __builtin_convertvector((words << 16) >> 16, SincLanes);
        odd = __builtin_convertvector(words >> 16, SincLanes);
    } else {
        SincLanes low, high;
        __builtin_memcpy(&low, taps, sizeof low);
        __builtin_memcpy(&high, taps + 8, sizeof high);
        even = __builtin_shufflevector(low, high, 0, 2, 4, 6, 8, 10, 12, 14);
        odd = __builtin_shufflevector(low, high, 1, 3, 5, 7, 9, 11, 13, 15);
    }
}

// The kernel's two sums for one frame, eight lanes each, with the phase's
// coefficients (whole) and their change to the next phase (change). The
// plain kernel's lane j holds the products of taps 2j and 2j + 1 in that
// order, a wider kernel's those of taps j, j + 8, ... N is the bank's tap
// count when known at compile time, else 0.
template <int N, typename T>
__attribute__((always_inline)) inline void sinc_sums(const SincBank& bank, const T* taps,
                                                     uint32_t fraction, SincLanes& whole,
                                                     SincLanes& change) {
    constexpr int PHASE_SHIFT = 32 - SINC_PHASE_BITS;
    const int n = N ? N : bank.taps.count;
    const float* a = bank.rows + (fraction >> PHASE_SHIFT) * (2 * n);
    const float* d = a + n;
    SincLanes x0, x1, y0, y1;
    __builtin_memcpy(&x0, a, sizeof x0);
    __builtin_memcpy(&x1, a + 8, sizeof x1);
    __builtin_memcpy(&y0, d, sizeof y0);
    __builtin_memcpy(&y1, d + 8, sizeof y1);
    if (n == SINC_BASE_TAPS) {
        SincLanes even, odd;
        sinc_base_taps(taps, even, odd);
        whole = x0 * even + x1 * odd;
        change = y0 * even + y1 * odd;
        return;
    }
    SincLanes v0, v1;
    sinc_taps(taps, 0, v0);
    sinc_taps(taps, 8, v1);
    SincLanes w = x0 * v0 + x1 * v1, c = y0 * v0 + y1 * v1;
    for (int k = 16; k < n; k += 8) {
        SincLanes v, x, y;
        sinc_taps(taps, k, v);
        __builtin_memcpy(&x, a + k, sizeof x);
        __builtin_memcpy(&y, d + k, sizeof y);
        w += x * v;
        c += y * v;
    }
    whole = w;
    change = c;
}

// How far past its phase the fraction lies, in phases: 26 bits below the
// phase, shifted to 24, exact as a float.
inline float sinc_between(uint32_t fraction) {
    constexpr uint32_t BELOW_PHASE = (1u << (32 - SINC_PHASE_BITS)) - 1;
    return static_cast<float>((fraction & BELOW_PHASE) >> 2) * 0x1p-24f;
}

// Lanes x0 + x1, x2 + x3, y0 + y1, y2 + y3, then the same of lanes 4..7.
__attribute__((always_inline)) inline void sinc_pairs(const SincLanes& x, const SincLanes& y,
                                                      SincLanes& pairs) {
    pairs = __builtin_shufflevector(x, y, 0, 2, 8, 10, 4, 6, 12, 14) +
            __builtin_shufflevector(x, y, 1, 3, 9, 11, 5, 7, 13, 15);
}

// Lanes 0..3: low's first four lanes added to its last four; lanes 4..7:
// the same of high.
__attribute__((always_inline)) inline void sinc_halves(const SincLanes& low, const SincLanes& high,
                                                       SincLanes& sums) {
    sums = __builtin_shufflevector(low, high, 0, 1, 2, 3, 8, 9, 10, 11) +
           __builtin_shufflevector(low, high, 4, 5, 6, 7, 12, 13, 14, 15);
}

inline constexpr int SINC_GROUP = 8; // frames a sinc group reads at once

// Eight frames at once. Frame f's value is its whole sum's lanes added as
// ((0 + 1) + (2 + 3)) + ((4 + 5) + (6 + 7)), plus its change sum's added
// likewise times the fraction past its phase: a fixed order, so that every
// machine and vector width gives the same bits. The frames' sums are folded
// together two at a time as they are read: the group takes frames 2i and
// 2i + 1 in turn (sinc_group_pair), then gives the eight values.
struct SincGroup {
    SincLanes whole[SINC_GROUP / 2], change[SINC_GROUP / 2];
    SincLanes between;
};

// Frames 2i and 2i + 1: taps (bank.taps.count values, 16-bit frames in place
// or floats) and fractions (the positions' 32 fraction bits).
template <int N, typename T>
__attribute__((always_inline)) inline void
sinc_group_pair(SincGroup& g, const SincBank& bank, int i, const T* taps0, uint32_t fraction0,
                const T* taps1, uint32_t fraction1) {
    SincLanes w0, c0, w1, c1;
    sinc_sums<N>(bank, taps0, fraction0, w0, c0);
    sinc_sums<N>(bank, taps1, fraction1, w1, c1);
    sinc_pairs(w0, w1, g.whole[i]);
    sinc_pairs(c0, c1, g.change[i]);
    g.between[2 * i] = sinc_between(fraction0);
    g.between[2 * i + 1] = sinc_between(fraction1);
}

__attribute__((always_inline)) inline void sinc_group_values(const SincGroup& g,
                                                             SincLanes& values) {
    // lanes 0..3 of low (high): frames 0..3's (4..7's) first four lanes
    // added, lanes 4..7: their last four
    SincLanes low, high, w, c;
    sinc_pairs(g.whole[0], g.whole[1], low);
    sinc_pairs(g.whole[2], g.whole[3], high);
    sinc_halves(low, high, w);
    sinc_pairs(g.change[0], g.change[1], low);
    sinc_pairs(g.change[2], g.change[3], high);
    sinc_halves(low, high, c);
    values = w + g.between * c;
}

} // namespace replayer
