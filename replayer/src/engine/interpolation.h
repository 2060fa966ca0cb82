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

// One kernel: for phase p (t = p / SINC_PHASES) the coefficients of its taps,
// and their change to phase p + 1, so that t between two phases reads
// coefficients interpolated linearly.
struct SincBank {
    const float* coefficients; // SINC_PHASES rows of `taps`
    const float* deltas;       // SINC_PHASES rows of `taps`
    TapSpan taps;
};

void build_sinc_tables();

// The kernel for a voice advancing `step` frames per output frame (32.32):
// the plain kernel up to one frame, else one whose cutoff lies below the
// output's Nyquist frequency for that step.
const SincBank& sinc_bank_for_step(uint64_t step);

// taps holds bank.taps.count values (16-bit frames in place, or floats);
// fraction is the position's 32 fraction bits. Eight lanes, summed in a fixed
// order, so that every machine and vector width gives the same bits.
template <typename T>
inline float interpolate_sinc(const SincBank& bank, const T* taps, uint32_t fraction) {
    using Lanes = float __attribute__((vector_size(8 * sizeof(float))));
    using Frames = int16_t __attribute__((vector_size(8 * sizeof(int16_t))));
    using Wide = int32_t __attribute__((vector_size(8 * sizeof(int32_t))));
    constexpr int PHASE_SHIFT = 32 - SINC_PHASE_BITS;
    constexpr uint32_t BELOW_PHASE = (1u << PHASE_SHIFT) - 1;
    const int n = bank.taps.count;
    const float* a = bank.coefficients + (fraction >> PHASE_SHIFT) * n;
    const float* d = bank.deltas + (fraction >> PHASE_SHIFT) * n;
    Lanes whole = {}, change = {};
    for (int k = 0; k < n; k += 8) {
        Lanes v, x, y;
        if constexpr (sizeof(T) == sizeof(int16_t)) {
            Frames f;
            __builtin_memcpy(&f, taps + k, sizeof f);
            v = __builtin_convertvector(__builtin_convertvector(f, Wide), Lanes);
        } else {
            __builtin_memcpy(&v, taps + k, sizeof v);
        }
        __builtin_memcpy(&x, a + k, sizeof x);
        __builtin_memcpy(&y, d + k, sizeof y);
        whole += x * v;
        change += y * v;
    }
    // 26 bits below the phase, shifted to 24: exact as a float.
    const float between = static_cast<float>((fraction & BELOW_PHASE) >> 2) * 0x1p-24f;
    const float w = ((whole[0] + whole[1]) + (whole[2] + whole[3])) +
                    ((whole[4] + whole[5]) + (whole[6] + whole[7]));
    const float c = ((change[0] + change[1]) + (change[2] + change[3])) +
                    ((change[4] + change[5]) + (change[6] + change[7]));
    return w + between * c;
}

} // namespace replayer
