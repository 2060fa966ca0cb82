// SPDX-License-Identifier: GPL-2.0-or-later
// The Kaiser-windowed sinc kernels, built once per process.
//
// Kernel b is the plain 16-tap kernel (cutoff at half the sample rate)
// stretched by STRETCH[b]: 16 x stretch taps, cutoff lowered by the stretch.
// The plain kernel's stop band begins at 0.7 of the sample rate, so a
// stretch of 1.4 x step puts it below the output's Nyquist frequency: a voice
// stepping s > 1 frames per output frame gets the first kernel stretched at
// least that much. Up to a step of one frame the plain kernel is used; at a
// step of exactly one it reads the sample's own frames back.
#include "interpolation.h"

#include <pthread.h>

namespace replayer {

namespace {

constexpr double KAISER_BETA = 9.5; // about 95 dB stop band
constexpr double PI = 3.14159265358979323846;
// Steps (x 10) at or below which each kernel is taken; 1.4 x step <= stretch.
constexpr double STRETCH[SINC_BANK_COUNT] = {1.0, 1.5, 2.0, 2.5, 3.0, 4.0, 5.0, 6.0};
constexpr double STOP_BAND_PER_STRETCH = 1.4;
constexpr int TOTAL_TAPS = 16 + 24 + 32 + 40 + 48 + 64 + 80 + 96;
static_assert(SINC_MAX_TAPS == 96);

float rows[SINC_PHASES * 2 * TOTAL_TAPS];
SincBank banks[SINC_BANK_COUNT];
uint64_t bank_limits[SINC_BANK_COUNT]; // 32.32 step up to which bank b serves
pthread_once_t built = PTHREAD_ONCE_INIT;

// sin(pi x) from its series, after reducing x to [-1/2, 1/2]: plain IEEE
// operations in a fixed order, the same on every machine.
double sin_pi(double x) {
    const double whole = x - 2.0 * static_cast<double>(static_cast<int64_t>(x * 0.5));
    double u = whole; // (-2, 2)
    if (u > 1.0) u -= 2.0;
    if (u < -1.0) u += 2.0;
    if (u > 0.5) u = 1.0 - u;
    if (u < -0.5) u = -1.0 - u;
    const double a = PI * u, a2 = a * a;
    double term = a, sum = a;
    for (int k = 1; k < 12; ++k) {
        term = -term * a2 / static_cast<double>((2 * k) * (2 * k + 1));
        sum += term;
    }
    return sum;
}

// The modified Bessel function I0, from its series.
double bessel_i0(double x) {
    const double q = x * x * 0.25;
    double term = 1.0, sum = 1.0;
    for (int k = 1; k < 60 && term > 1e-17 * sum; ++k) {
        term = term * q / static_cast<double>(k * k);
        sum += term;
    }
    return sum;
}

double kernel_value(double distance, double stretch, double half_width, double window_scale) {
    const double u = distance / stretch;
    const double sinc = u == 0.0 ? 1.0 : sin_pi(u) / (PI * u);
    const double r = distance / half_width;
    const double inside = 1.0 - r * r;
    const double window = inside <= 0.0 ? 0.0 : bessel_i0(KAISER_BETA * __builtin_sqrt(inside));
    return sinc * window * window_scale;
}

// One row: the taps' values at fraction t, scaled to sum to 1 so that a
// constant stays constant.
void kernel_row(double t, double stretch, int taps, double* row) {
    const int first = 1 - taps / 2;
    const double window_scale = 1.0 / bessel_i0(KAISER_BETA);
    double sum = 0.0;
    for (int k = 0; k < taps; ++k) {
        row[k] = kernel_value(static_cast<double>(first + k) - t, stretch, taps / 2, window_scale);
        sum += row[k];
    }
    for (int k = 0; k < taps; ++k) row[k] /= sum;
}

// Where tap k sits in its row: the plain kernel's even taps first, then its
// odd ones, as the kernel reads them; a wider kernel's in order.
int stored_slot(int k, int taps) {
    if (taps != SINC_BASE_TAPS) return k;
    return k % 2 ? SINC_BASE_TAPS / 2 + k / 2 : k / 2;
}

void build() {
    int offset = 0;
    double current[SINC_MAX_TAPS], next[SINC_MAX_TAPS];
    for (int b = 0; b < SINC_BANK_COUNT; ++b) {
        const int taps = static_cast<int>(SINC_BASE_TAPS * STRETCH[b]);
        float* bank_rows = rows + offset;
        kernel_row(0.0, STRETCH[b], taps, next);
        for (int p = 0; p < SINC_PHASES; ++p) {
            for (int k = 0; k < taps; ++k) current[k] = next[k];
            kernel_row(static_cast<double>(p + 1) / SINC_PHASES, STRETCH[b], taps, next);
            float* row = bank_rows + p * 2 * taps;
            for (int k = 0; k < taps; ++k) {
                const int at = stored_slot(k, taps);
                row[at] = static_cast<float>(current[k]);
                row[taps + at] = static_cast<float>(next[k] - current[k]);
            }
        }
        banks[b] = {bank_rows, {1 - taps / 2, taps}};
        const double limit = b == 0 ? 1.0 : STRETCH[b] / STOP_BAND_PER_STRETCH;
        bank_limits[b] = static_cast<uint64_t>(limit * 4294967296.0);
        offset += SINC_PHASES * 2 * taps;
    }
}

} // namespace

void build_sinc_tables() {
    pthread_once(&built, build);
}

const SincBank& sinc_bank_for_step(uint64_t step) {
    for (int b = 0; b < SINC_BANK_COUNT - 1; ++b)
        if (step <= bank_limits[b]) return banks[b];
    return banks[SINC_BANK_COUNT - 1];
}

} // namespace replayer
