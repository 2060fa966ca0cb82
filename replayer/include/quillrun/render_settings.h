// SPDX-License-Identifier: GPL-2.0-or-later
// Quillrun replayer: how a loaded module is rendered. Included by replayer.h.
//
// A module renders with `DEFAULT_RENDER_SETTINGS` until told otherwise: the
// intro's rendering (48000 Hz, the sample frame under the position, gains
// that change at once on each tick), bit for bit what it has always been.
// `LISTENING_RENDER_SETTINGS` is the one to use for people: band-limited sinc
// interpolation and ramped gains.
//
// Every field, its range and its default:
//   sample_rate        8000..192000 frames per second; default 48000. Tick
//                      lengths and pitch steps follow it.
//   interpolation      INTERPOLATION_NEAREST (default), _LINEAR (2 taps),
//                      _CUBIC (4-tap Catmull-Rom spline) or _SINC (a
//                      Kaiser-windowed sinc of 16 taps; a voice stepping
//                      faster than one sample frame per output frame gets
//                      a kernel stretched to lower its cutoff below the
//                      output's Nyquist frequency, up to 96 taps, so that it is
//                      band-limited instead of folded back; past a step of
//                      about 4.3 the widest kernel is used and some aliasing
//                      remains).
//   ramping            0 off (default), 1 on: every gain change, note start,
//                      cut, key-off end, end of a sample without loop and voice
//                      taken over by a new note moves linearly over
//                      RAMP_MICROSECONDS (rounded up to whole frames, so 1 ms
//                      is 48 frames at 48000 Hz and 8 at 8000 Hz).
//   stereo_separation  0..200 percent; default 100. 0 plays every channel in
//                      the centre, 200 pushes each pan position twice as far
//                      from the centre (limited to the sides).
//   gain_db            -60..+24 dB; default 0. Scales every channel's gain.
//   sample_format      SAMPLE_FORMAT_F32 (default): interleaved floats;
//                      SAMPLE_FORMAT_S16: interleaved signed 16-bit integers,
//                      each float v written as v x 32768 rounded to the nearest
//                      integer (halves to even) and clipped to -32768..32767.
//                      Only `render` follows it; `generate_frames` always
//                      writes floats.
//
// Pitch: the intro's rendering (48000 Hz, nearest) computes each step from
// whole hertz with 12 fraction bits, as it always has; every other rate or
// interpolation computes it from the exact frequency with 32 fraction bits,
// so that pitch stays within a hundredth of a cent at every rate.
#pragma once

#include <cstdint>

namespace replayer {

enum Interpolation : uint8_t {
    INTERPOLATION_NEAREST = 0,
    INTERPOLATION_LINEAR = 1,
    INTERPOLATION_CUBIC = 2,
    INTERPOLATION_SINC = 3,
};

enum SampleFormat : uint8_t {
    SAMPLE_FORMAT_F32 = 0,
    SAMPLE_FORMAT_S16 = 1,
};

inline constexpr uint32_t MIN_SAMPLE_RATE = 8000;      // frames per second
inline constexpr uint32_t MAX_SAMPLE_RATE = 192000;    // frames per second
inline constexpr uint16_t MAX_STEREO_SEPARATION = 200; // percent
inline constexpr float MIN_GAIN_DB = -60.0f;
inline constexpr float MAX_GAIN_DB = 24.0f;
inline constexpr uint32_t RAMP_MICROSECONDS = 1000;

struct RenderSettings {
    uint32_t sample_rate;       // 8000..192000 frames per second
    uint8_t interpolation;      // Interpolation
    uint8_t ramping;            // 0 off, 1 on
    uint16_t stereo_separation; // 0..200 percent, 100 as panned
    float gain_db;              // -60..+24 dB
    uint8_t sample_format;      // SampleFormat, for `render`
    uint8_t spare[3];
};

inline constexpr RenderSettings DEFAULT_RENDER_SETTINGS = {48000, INTERPOLATION_NEAREST, 0, 100,
                                                           0.0f,  SAMPLE_FORMAT_F32,     {}};
inline constexpr RenderSettings LISTENING_RENDER_SETTINGS = {48000, INTERPOLATION_SINC, 1, 100,
                                                             0.0f,  SAMPLE_FORMAT_F32,  {}};

// What the mixer derives from the settings when they are set: kept in the
// context so that rendering computes none of it.
struct MixSetup {
    float gain;           // linear, from gain_db (exactly 1 at 0 dB)
    uint32_t ramp_frames; // frames a ramp lasts (with ramping)
    uint8_t exact;        // 1: the intro's rendering (48000 Hz, nearest, no ramping)
    uint8_t precise;      // 1: steps with 32 fraction bits (any other rate or interpolation)
    uint8_t spare[2];
};

} // namespace replayer
