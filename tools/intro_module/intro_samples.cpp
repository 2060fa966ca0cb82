// SPDX-License-Identifier: GPL-2.0-or-later
// The intro module's instruments: eight small synthesised sounds. Everything is
// integer arithmetic (no libm), so every build writes the same bytes.
#include "intro_module.h"

#include <cstdint>

namespace {

using xmwriter::Envelope;
using xmwriter::Instrument;
using xmwriter::Sample;

constexpr int32_t PHASE_CYCLE = 4096; // phase units per waveform cycle
constexpr int32_t FULL_16 = 32767;
constexpr int32_t FULL_8 = 127;
constexpr uint8_t ENV_ON = 1, ENV_SUSTAIN = 2, ENV_LOOP = 4;

// Sine of phase (PHASE_CYCLE per cycle) scaled to +-32767, by Bhaskara's
// rational approximation: within 0.2% of the real curve, and exact integers.
int32_t sine(int32_t phase) {
    constexpr int64_t HALF = PHASE_CYCLE / 2;
    const int64_t p = ((phase % PHASE_CYCLE) + PHASE_CYCLE) % PHASE_CYCLE;
    const int64_t d = p % HALF, arc = d * (HALF - d);
    const int64_t value = 16 * arc * FULL_16 / (5 * HALF * HALF - 4 * arc);
    return static_cast<int32_t>(p < HALF ? value : -value);
}

// A fixed-seed linear congruential generator: the same noise every run.
struct Noise {
    uint32_t state;
    int32_t next() { // -128..127
        state = state * 1664525u + 1013904223u;
        return static_cast<int32_t>(state >> 24) - 128;
    }
};

int16_t clamp8(int32_t v) {
    return static_cast<int16_t>(v > FULL_8 ? FULL_8 : (v < -FULL_8 - 1 ? -FULL_8 - 1 : v));
}

// Linear fade from `from` to 0 over `frames` (in 1/256 steps).
int32_t fade(int32_t i, int32_t frames) {
    return i >= frames ? 0 : 256 * (frames - i) / frames;
}

Envelope envelope(std::vector<std::pair<uint16_t, uint16_t>> points, uint8_t type,
                  uint8_t sustain = 0, uint8_t loop_start = 0, uint8_t loop_end = 0) {
    Envelope e;
    e.points = std::move(points);
    e.type = type;
    e.sustain = sustain;
    e.loop_start = loop_start;
    e.loop_end = loop_end;
    return e;
}

Instrument instrument(const char* name, Sample sample, Envelope volume, uint16_t fadeout = 0) {
    Instrument ins;
    ins.name = name;
    sample.name = name;
    ins.samples.push_back(std::move(sample));
    ins.volume_envelope = std::move(volume);
    ins.fadeout = fadeout;
    return ins; // sample map all 0: every note plays the one sample
}

// A sine whose pitch falls from 190 Hz to 45 Hz (at C-4) as it decays.
Instrument kick() {
    Sample s;
    constexpr int32_t FRAMES = 400, START_STEP = 93, END_STEP = 22;
    int32_t phase = 0;
    for (int32_t i = 0; i < FRAMES; ++i) {
        s.frames.push_back(clamp8(sine(phase) * FULL_8 / FULL_16 * fade(i, FRAMES) / 256 * 7 / 8));
        phase += START_STEP + (END_STEP - START_STEP) * i / FRAMES;
    }
    return instrument("kick", s, envelope({{0, 64}, {4, 40}, {12, 0}}, ENV_ON));
}

Instrument snare() {
    Sample s;
    constexpr int32_t FRAMES = 360, TONE_STEP = 88;
    Noise noise{0x5EED};
    for (int32_t i = 0; i < FRAMES; ++i) {
        const int32_t tone = sine(i * TONE_STEP) * 48 / FULL_16;
        s.frames.push_back(clamp8((noise.next() * 3 / 4 + tone) * fade(i, FRAMES) / 256));
    }
    return instrument("snare", s, envelope({{0, 64}, {3, 30}, {10, 0}}, ENV_ON));
}

// Differenced noise: mostly high frequencies.
Instrument hihat() {
    Sample s;
    constexpr int32_t FRAMES = 160;
    Noise noise{0xC0FFEE};
    int32_t previous = 0;
    for (int32_t i = 0; i < FRAMES; ++i) {
        const int32_t n = noise.next();
        s.frames.push_back(clamp8((n - previous) / 2 * fade(i, FRAMES) / 256));
        previous = n;
    }
    return instrument("hihat", s, envelope({{0, 48}, {2, 16}, {5, 0}}, ENV_ON));
}

// One 16-bit cycle of a softened saw, looped: 130.8 Hz at C-4.
Instrument bass() {
    Sample s;
    constexpr int32_t FRAMES = 64;
    s.sixteen_bit = true;
    for (int32_t i = 0; i < FRAMES; ++i) {
        const int32_t saw = FULL_16 - 2 * FULL_16 * i / FRAMES;
        const int32_t fundamental = sine(i * PHASE_CYCLE / FRAMES);
        s.frames.push_back(static_cast<int16_t>((saw + fundamental) * 2 / 5));
    }
    s.loop = xmwriter::LOOP_FORWARD;
    s.loop_length = FRAMES;
    return instrument("bass", s, envelope({{0, 64}, {2, 56}, {10, 40}}, ENV_ON | ENV_SUSTAIN, 2),
                      1024);
}

// An 8-bit 25% pulse, looped; its volume envelope loops for a pulsing sound.
Instrument chip() {
    Sample s;
    constexpr int32_t FRAMES = 32;
    for (int32_t i = 0; i < FRAMES; ++i) s.frames.push_back(i < FRAMES / 4 ? 90 : -30);
    s.loop = xmwriter::LOOP_FORWARD;
    s.loop_length = FRAMES;
    s.relative_note = 0;
    return instrument(
        "chip", s, envelope({{0, 64}, {2, 32}, {4, 48}, {6, 24}}, ENV_ON | ENV_LOOP, 0, 1, 3), 768);
}

// A 16-bit ramp with a ping-pong loop: it plays as a triangle wave.
Instrument lead() {
    Sample s;
    constexpr int32_t FRAMES = 64, PEAK = 26000;
    s.sixteen_bit = true;
    for (int32_t i = 0; i < FRAMES; ++i)
        s.frames.push_back(static_cast<int16_t>(-PEAK + 2 * PEAK * i / (FRAMES - 1)));
    s.loop = xmwriter::LOOP_PINGPONG;
    s.loop_length = FRAMES;
    s.relative_note = 24; // the ping-pong cycle is 128 frames: two octaves up
    s.volume = 48;
    Instrument ins = instrument(
        "lead", s, envelope({{0, 0}, {2, 64}, {8, 52}, {30, 40}}, ENV_ON | ENV_SUSTAIN, 2), 512);
    ins.vibrato_type = 0; // sine
    ins.vibrato_sweep = 16;
    ins.vibrato_depth = 4;
    ins.vibrato_rate = 12;
    return ins;
}

// Four harmonics, two cycles per loop; a slow attack and a panning sweep.
Instrument pad() {
    Sample s;
    constexpr int32_t FRAMES = 256, CYCLES = 2;
    for (int32_t i = 0; i < FRAMES; ++i) {
        const int32_t p = i * CYCLES * PHASE_CYCLE / FRAMES;
        const int32_t v = sine(p) / 2 + sine(2 * p) / 4 + sine(3 * p) / 7 + sine(4 * p) / 10;
        s.frames.push_back(clamp8(v * FULL_8 / FULL_16));
    }
    s.loop = xmwriter::LOOP_FORWARD;
    s.loop_length = FRAMES;
    s.relative_note = 12;
    s.volume = 40;
    Instrument ins =
        instrument("pad", s, envelope({{0, 0}, {24, 64}, {48, 56}}, ENV_ON | ENV_SUSTAIN, 2), 256);
    ins.panning_envelope = envelope({{0, 16}, {32, 48}, {64, 16}}, ENV_ON | ENV_LOOP, 0, 0, 2);
    return ins;
}

// A bell-like attack that settles into a looped sine (261.6 Hz at C-4).
Instrument pluck() {
    Sample s;
    constexpr int32_t ATTACK = 420, LOOP = 64, PERIOD = 32, SETTLED = 96;
    s.sixteen_bit = true;
    for (int32_t i = 0; i < ATTACK + LOOP; ++i) {
        const int32_t level = SETTLED + (256 - SETTLED) * fade(i, ATTACK) / 256;
        const int32_t body = sine(i * PHASE_CYCLE / PERIOD) * level / 256;
        const int32_t bell = sine(i * PHASE_CYCLE * 11 / (PERIOD * 4)) * fade(i, ATTACK / 2) / 700;
        s.frames.push_back(static_cast<int16_t>((body + bell) * 7 / 10));
    }
    s.loop = xmwriter::LOOP_FORWARD;
    s.loop_start = ATTACK;
    s.loop_length = LOOP;
    return instrument("pluck", s, envelope({{0, 64}, {8, 36}, {40, 12}, {80, 0}}, ENV_ON), 2048);
}

// Instruments without samples: their names carry the release greeting.
constexpr const char* TEXT_LINES[] = {
    "quillrun for skylet2",  "factory image intro", "music by the generator",
    "six channels, xm 1.04", "thanks for watching", "have a nice day",
    "-- end of message --",
};

} // namespace

std::vector<xmwriter::Instrument> intro_instruments() {
    std::vector<Instrument> list = {kick(), snare(), hihat(), bass(),
                                    chip(), lead(),  pad(),   pluck()};
    for (const char* line : TEXT_LINES) {
        Instrument text;
        text.name = line;
        list.push_back(text);
    }
    return list;
}
