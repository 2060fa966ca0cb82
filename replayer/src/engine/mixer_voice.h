// SPDX-License-Identifier: GPL-2.0-or-later
// What the listening mixer's parts share: how a voice's frames are found
// (its span, in the voice's own frame numbering, which goes on past the
// sample's end), how its value is read (the kernel, the filter) and how it
// is added into the output (its gains).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "engine.h"
#include "interpolation.h"

namespace replayer::mixing {

inline constexpr float SAMPLE_SCALE = 0x1p-15f;  // 16-bit frame to -1.0 .. just under 1.0
inline constexpr float CHANNEL_HEADROOM = 0.25f; // four full-scale channels reach full scale
inline constexpr float OUTPUT_SCALE = SAMPLE_SCALE * CHANNEL_HEADROOM;
inline constexpr int FRAME_SHIFT = 32; // positions and steps are 32.32 fixed point

struct Span {
    const int16_t* data;
    int64_t length;     // frames
    int64_t loop_start; // frames
    int64_t loop_cycle; // frames of one loop cycle (twice the loop for ping-pong); 0 none
    bool pingpong;
    bool looped; // been round the loop: every frame, those before it too, is in the loop
    // Ramping: frames before the start read as the first one, and without a
    // loop frames past the end as the last one, so that the kernel sees no
    // edge of its own where the ramps already bring the voice in and out.
    bool hold_edges;
};

// The taps from frame `first` on of the voice's own numbering (see the
// mixer's notes on edges).
void gather(const Span& g, int64_t first, int count, bool mirrored, float* taps);

// Gains for the frames of a run: constant, ramping towards a target, or
// fading to silence.
struct Gains {
    float left, right;
    float delta_left, delta_right; // per frame while frames_left > 0
    float target_left, target_right;
    uint32_t frames_left;
    // A fade: the gains at frame k before its end are k / ramp of its start's,
    // however the frames are split between render calls.
    bool fade = false;
    float fade_scale = 0; // 1 / ramp frames
    // the largest magnitudes added so far, for the peak levels
    bool metering = false;
    float peak_left = 0, peak_right = 0;

    void heard(float added_left, float added_right) {
        if (!metering) return;
        peak_left = std::max(peak_left, std::fabs(added_left));
        peak_right = std::max(peak_right, std::fabs(added_right));
    }

    void next() {
        if (frames_left == 0) return;
        --frames_left;
        if (fade) {
            const float share = static_cast<float>(frames_left) * fade_scale;
            left = target_left * share;
            right = target_right * share;
            return;
        }
        left += delta_left;
        right += delta_right;
        if (frames_left == 0) {
            left = target_left;
            right = target_right;
        }
    }
};

// What one voice needs to read values: the kernel chosen for its step, and
// the voice's filter when it has one.
struct Reader {
    Span g;
    uint8_t interpolation;
    TapSpan taps;
    const SincBank* sinc;
    VoiceFilter* filter; // null: unfiltered
};

// Runs a value through the voice's filter (with Filter) and its gains, and
// adds it into the output frame.
template <bool Ramp, bool Filter>
__attribute__((always_inline)) inline void add_value(const Reader& r, float value, Gains& gains,
                                                     float* frame) {
    if constexpr (Filter) value = filter_step(*r.filter, value);
    value *= OUTPUT_SCALE;
    if constexpr (Ramp) gains.next();
    const float left = gains.left * value, right = value * gains.right;
    frame[0] += left;
    frame[1] += right;
    gains.heard(left, right);
}

// Mixes `count` frames of a voice with the sinc kernel from x on, the reading
// frames' taps all inside the sample (inside) or gathered across its edges
// (mirrored: in the backward half of a ping-pong loop); moves x on.
void mix_sinc(const Reader& r, uint64_t& x, uint64_t step, bool inside, bool mirrored, Gains& gains,
              float* out, uint32_t count, bool ramp);

} // namespace replayer::mixing
