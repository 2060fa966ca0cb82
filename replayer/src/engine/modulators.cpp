// SPDX-License-Identifier: GPL-2.0-or-later
// The periodic modulators: waveforms, vibrato, tremolo, tremor and arpeggio.
// Each acts once per tick and leaves an offset that the voice update applies.
#include "engine.h"

namespace replayer {

namespace {

constexpr uint8_t HALF_PERIOD = 128; // phase units, 256 = one period
constexpr int8_t SQUARE_LOW = -128;
constexpr int8_t SQUARE_HIGH = 127;
constexpr uint8_t SINE_QUARTER[16] = {0,  12, 24,  37,  48,  60,  71,  81,
                                      90, 98, 106, 112, 118, 122, 125, 127};
constexpr uint32_t RANDOM_MULTIPLIER = 55797;
constexpr uint32_t RANDOM_INCREMENT = 1;
constexpr int PHASE_UNITS_PER_SPEED = 4;
constexpr int VIBRATO_DIVISOR = 16;
constexpr int FINE_VIBRATO_DIVISOR = 64;
constexpr int TREMOLO_DIVISOR = 32;
constexpr int8_t TREMOR_SILENCE = 64; // volume offset while the tremor is off
constexpr uint8_t ARPEGGIO_NO_OFFSET_DISTANCE = 16;
constexpr uint8_t ARPEGGIO_CYCLE_LIMIT = 15;

int8_t sine_value(uint8_t phase) {
    const uint8_t quarter = phase >> 2;
    const int index = (quarter & 16) ? 15 - (quarter & 15) : (quarter & 15);
    const int value = SINE_QUARTER[index];
    return static_cast<int8_t>(phase < HALF_PERIOD ? -value : value);
}

// IT's finer sine: 64 sin(2 pi phase / 256), rounded, rising first.
constexpr int8_t FINE_SINE_QUARTER[65] = {
    0,  2,  3,  5,  6,  8,  9,  11, 12, 14, 16, 17, 19, 20, 22, 23, 24, 26, 27, 29, 30, 32,
    33, 34, 36, 37, 38, 39, 41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56,
    56, 57, 58, 59, 59, 60, 60, 61, 61, 62, 62, 62, 63, 63, 63, 64, 64, 64, 64, 64, 64};
constexpr int QUARTER_PERIOD = 64;
constexpr uint8_t PANBRELLO_WAVEFORM_BITS = 3;
constexpr int PANBRELLO_HOLD_SHIFT = 4;

int fine_sine_value(uint8_t phase) {
    const int within = phase % HALF_PERIOD;
    const int value = FINE_SINE_QUARTER[within <= QUARTER_PERIOD ? within : HALF_PERIOD - within];
    return phase < HALF_PERIOD ? value : -value;
}

} // namespace

uint8_t next_random(ReplayContext& ctx) {
    uint32_t& state = ctx.playback.random_state;
    state = state * RANDOM_MULTIPLIER + RANDOM_INCREMENT;
    return static_cast<uint8_t>(state & 0xFF);
}

int8_t waveform_value(ReplayContext& ctx, uint8_t waveform, uint8_t phase) {
    switch (waveform & WAVEFORM_NUMBER_BITS) {
    case WAVEFORM_RANDOM:
        return static_cast<int8_t>(next_random(ctx));
    case WAVEFORM_RAMP_DOWN:
        return static_cast<int8_t>(~phase);
    case WAVEFORM_SQUARE:
        return phase < HALF_PERIOD ? SQUARE_LOW : SQUARE_HIGH;
    case WAVEFORM_RAMP_UP:
        return static_cast<int8_t>(phase);
    default:
        return sine_value(phase);
    }
}

void vibrato_step(ReplayContext& ctx, ChannelState& ch) {
    slide_period(ch, 0, SlideMode::plain);
    const int divisor =
        ch.slot->effect == EFFECT_FINE_VIBRATO ? FINE_VIBRATO_DIVISOR : VIBRATO_DIVISOR;
    const int wave = waveform_value(ctx, ch.vibrato_waveform, ch.vibrato_phase);
    ch.vibrato_phase =
        static_cast<uint8_t>(ch.vibrato_phase + PHASE_UNITS_PER_SPEED * (ch.vibrato_memory >> 4));
    ch.vibrato_offset = static_cast<int8_t>((ch.vibrato_memory & 0x0F) * wave / divisor);
}

void tremolo_step(ReplayContext& ctx, ChannelState& ch, uint8_t parameter) {
    uint8_t phase = ch.tremolo_phase;
    // The ramp tremolo folds its phase, and follows the vibrato's half period.
    if ((ch.tremolo_waveform & WAVEFORM_NUMBER_BITS) == WAVEFORM_RAMP_DOWN) {
        if (phase >= HALF_PERIOD) phase = static_cast<uint8_t>(HALF_PERIOD - phase);
        if (ch.vibrato_phase >= HALF_PERIOD) phase = static_cast<uint8_t>(HALF_PERIOD - phase);
    }
    const int wave = waveform_value(ctx, ch.tremolo_waveform, phase);
    ch.tremolo_phase =
        static_cast<uint8_t>(ch.tremolo_phase + PHASE_UNITS_PER_SPEED * (parameter >> 4));
    ch.volume_offset = static_cast<int8_t>((parameter & 0x0F) * wave / TREMOLO_DIVISOR);
}

// IT's panbrello waveforms, -64..64: the sine rising first, the ramp falling
// from the top, the square high and then at the centre, and a random value
// that stands for `speed` ticks, as openmpt123 plays them.
int panbrello_wave(ReplayContext& ctx, ChannelState& ch, uint8_t speed) {
    const uint8_t phase = ch.panbrello_phase;
    const int held = ch.panbrello_waveform >> PANBRELLO_HOLD_SHIFT;
    switch (ch.panbrello_waveform & PANBRELLO_WAVEFORM_BITS) {
    case WAVEFORM_RAMP_DOWN:
        return QUARTER_PERIOD - phase / 2;
    case WAVEFORM_SQUARE:
        return phase < HALF_PERIOD ? QUARTER_PERIOD : 0;
    case WAVEFORM_RANDOM:
        if (held == 0 || held >= speed)
            ch.panbrello_random = static_cast<int8_t>(next_random(ctx) / 2 - QUARTER_PERIOD);
        ch.panbrello_waveform =
            static_cast<uint8_t>(WAVEFORM_RANDOM | ((held == 0 || held >= speed ? 1 : held + 1)
                                                    << PANBRELLO_HOLD_SHIFT));
        return ch.panbrello_random;
    default:
        return fine_sine_value(phase);
    }
}

// A depth of x 8 of the wave (of the 0..256 panning), one phase unit per
// speed unit and tick, on every tick.
void panbrello_step(ReplayContext& ctx, ChannelState& ch) {
    constexpr int PANBRELLO_DIVISOR = 8;
    const uint8_t speed = ch.panbrello_memory >> 4;
    const int wave = panbrello_wave(ctx, ch, speed);
    ch.panbrello_offset =
        static_cast<int8_t>(wave * (ch.panbrello_memory & 0x0F) / PANBRELLO_DIVISOR);
    ch.panbrello_phase = static_cast<uint8_t>(ch.panbrello_phase + speed);
}

void row_panbrello_waveform(ReplayContext&, ChannelState& ch, uint8_t p) {
    ch.panbrello_waveform = p & PANBRELLO_WAVEFORM_BITS;
}

void row_panbrello(ReplayContext& ctx, ChannelState& ch, uint8_t p) {
    set_nibbles(ch.panbrello_memory, p);
    panbrello_step(ctx, ch);
}

void tick_panbrello(ReplayContext& ctx, ChannelState& ch, uint8_t) {
    panbrello_step(ctx, ch);
}

// On for (high nibble + 1) steps, off for (low nibble + 1) steps.
void tremor_step(ChannelState& ch, uint8_t parameter) {
    const uint8_t counter = ch.tremor_counter;
    ch.tremor_counter = static_cast<uint8_t>(counter - 1);
    if (counter == 0) {
        const uint8_t was_on = ch.tremor_on;
        ch.tremor_on = was_on ^ 1;
        ch.tremor_counter = was_on == 1 ? (parameter & 0x0F) : (parameter >> 4);
    }
    ch.volume_offset = ch.tremor_on == 1 ? 0 : TREMOR_SILENCE;
}

// Cycles base note, +low nibble, +high nibble, counted from the end of the row.
void arpeggio_step(ReplayContext& ctx, ChannelState& ch, uint8_t parameter) {
    const PlaybackState& playback = ctx.playback;
    const uint8_t distance = static_cast<uint8_t>(playback.speed - playback.tick);
    if (playback.tick == 0 || distance == ARPEGGIO_NO_OFFSET_DISTANCE ||
        (distance <= ARPEGGIO_CYCLE_LIMIT && distance % 3 == 0)) {
        ch.arpeggio_offset = 0;
        return;
    }
    ch.arpeggio_active = 1;
    round_to_semitone(ctx, ch);
    const bool high = distance <= ARPEGGIO_CYCLE_LIMIT && distance % 3 == 1;
    ch.arpeggio_offset = high ? (parameter >> 4) : (parameter & 0x0F);
}

} // namespace replayer
