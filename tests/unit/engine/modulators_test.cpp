// SPDX-License-Identifier: GPL-2.0-or-later
// Waveforms, vibrato, arpeggio, envelopes, fadeout, auto-vibrato and the voice
// parameters (step and gains) computed once per tick.
#include <gtest/gtest.h>

#include <cmath>

#include "test_module.h"

namespace replayer::test {
namespace {

TEST(Modulators, WaveformValues) {
    struct Case {
        uint8_t waveform, phase;
        int8_t expected;
    };
    for (const Case& c : {Case{0, 0, 0}, Case{0, 64, -127}, Case{0, 192, 127}, Case{0, 32, -90},
                          Case{0, 160, 90}, Case{5, 64, -127}, Case{1, 0, -1}, Case{1, 127, -128},
                          Case{1, 128, 127}, Case{1, 255, 0}, Case{0x81, 0, -1}, Case{2, 0, -128},
                          Case{2, 127, -128}, Case{2, 128, 127}, Case{4, 200, -56}}) {
        TestModule m({});
        EXPECT_EQ(waveform_value(*m.ctx, c.waveform, c.phase), c.expected)
            << int{c.waveform} << " " << int{c.phase};
    }
}

TEST(Modulators, RandomWaveformSharesOneGeneratorStartingAtZero) {
    TestModule m({});
    EXPECT_EQ(waveform_value(*m.ctx, WAVEFORM_RANDOM, 0), 1);
    EXPECT_EQ(waveform_value(*m.ctx, WAVEFORM_RANDOM, 99), -10); // 55798 = 0xD9F6
    EXPECT_EQ(m.ctx->playback.random_state, 55798u);
}

TEST(Modulators, VibratoDepthAndFineVibrato) {
    for (auto [effect, expected] : {std::pair{EFFECT_VIBRATO, -63}, {EFFECT_FINE_VIBRATO, -15}}) {
        TestModule m({});
        m.slot(0, 0).effect = effect;
        m.finish();
        run_tick(*m.ctx);
        ChannelState& ch = m.channel();
        ch.vibrato_memory = 0x08;
        ch.vibrato_phase = 64;
        vibrato_step(*m.ctx, ch);
        EXPECT_EQ(ch.vibrato_offset, expected);
        EXPECT_EQ(ch.vibrato_phase, 64);
    }
}

TEST(Modulators, ArpeggioOffsetsPerTick) {
    struct Case {
        uint8_t speed;
        std::vector<int> offsets; // ticks 1..speed-1, parameter 0x37
    };
    for (const Case& c : {Case{6, {7, 3, 0, 7, 3}}, Case{3, {7, 3}},
                          Case{18, {7, 0, 0, 7, 3, 0, 7, 3, 0, 7, 3, 0, 7, 3, 0, 7, 3}}}) {
        TestModule m({.speed = c.speed});
        m.slot(0, 0) = {49, 1, 0, EFFECT_ARPEGGIO, 0x37};
        m.finish();
        run_tick(*m.ctx);
        std::vector<int> seen;
        for (int t = 1; t < c.speed; ++t)
            run_tick(*m.ctx), seen.push_back(m.channel().arpeggio_offset);
        EXPECT_EQ(seen, c.offsets) << "speed " << int{c.speed};
    }
}

TEST(Modulators, TremorAlternatesOnAndOffForItsNibblesPlusOne) {
    struct Case {
        uint8_t effect;
        std::vector<int> offsets; // ticks 0..5 of two rows, parameter 0x21 then 0x00
    };
    // On for 3 steps, off for 2; the shared form also steps on the row tick.
    for (const Case& c : {Case{EFFECT_TREMOR, {0, 0, 0, 0, 64, 64, 64, 0, 0, 0, 64, 64}},
                          Case{EFFECT_S3M_TREMOR, {0, 0, 0, 64, 64, 0, 0, 0, 64, 64, 0, 0}}}) {
        TestModule m({});
        m.slot(0, 0) = {49, 1, 0, c.effect, 0x21};
        m.slot(0, 1) = {0, 0, 0, c.effect, 0x00};
        m.finish();
        std::vector<int> seen;
        for (int t = 0; t < 12; ++t) run_tick(*m.ctx), seen.push_back(m.channel().volume_offset);
        EXPECT_EQ(seen, c.offsets) << int{c.effect};
    }
}

TEST(Modulators, RampTremoloFoldsItsPhaseAndFollowsTheVibratoHalf) {
    struct Case {
        uint8_t waveform, tremolo_phase, vibrato_phase;
        int offset; // depth 15
    };
    for (const Case& c :
         {Case{1, 0, 0, 0}, Case{1, 64, 0, -30}, Case{1, 192, 0, 29}, Case{1, 32, 0, -15},
          Case{1, 32, 200, -45}, Case{1, 200, 200, 25}, Case{0, 64, 200, -59}}) {
        ChannelState ch{};
        TestModule m({});
        ch.tremolo_waveform = c.waveform;
        ch.tremolo_phase = c.tremolo_phase;
        ch.vibrato_phase = c.vibrato_phase;
        tremolo_step(*m.ctx, ch, 0x3F);
        EXPECT_EQ(ch.volume_offset, c.offset)
            << int{c.waveform} << " " << int{c.tremolo_phase} << " " << int{c.vibrato_phase};
        EXPECT_EQ(ch.tremolo_phase, static_cast<uint8_t>(c.tremolo_phase + 12));
    }
}

TEST(Modulators, SemitoneRoundingKeepsTheResidualForTheNextSlide) {
    struct Case {
        bool amiga;
        uint16_t period;
        int8_t finetune;
        uint16_t rounded;
        int residual;
    };
    for (const Case& c : {Case{false, 4608, 0, 4608, 0}, Case{false, 4639, 0, 4608, 31},
                          Case{false, 4640, 0, 4672, -32}, Case{false, 4600, 5, 4588, 12},
                          Case{true, 1703, 0, 1703, 0}}) {
        TestModule m({.amiga = c.amiga});
        ChannelState& ch = m.channel();
        ch.period = c.period;
        ch.finetune = c.finetune;
        round_to_semitone(*m.ctx, ch);
        EXPECT_EQ(ch.period, c.rounded) << c.period;
        EXPECT_EQ(ch.period_residual, c.residual) << c.period;
        slide_period(ch, 0, SlideMode::plain);
        EXPECT_EQ(ch.period, c.period) << "restored";
    }
}

TEST(Modulators, GlissandoMakesTonePortamentoMoveInSemitones) {
    for (auto [glissando, periods] :
         {std::pair{0, std::vector<int>{4596, 4584, 4572, 4560, 4548}},
          std::pair{1, std::vector<int>{4608, 4608, 4544, 4544, 4544}}}) {
        TestModule m({});
        m.slot(0, 0) = {49, 1, 0, EFFECT_GLISSANDO, static_cast<uint8_t>(glissando)};
        m.slot(0, 1) = {59, 0, 0, EFFECT_TONE_PORTA, 3};
        m.finish();
        run_ticks(*m.ctx, 7);
        std::vector<int> seen;
        for (int t = 1; t < 6; ++t) run_tick(*m.ctx), seen.push_back(m.channel().period);
        EXPECT_EQ(seen, periods) << "glissando " << glissando;
    }
}

uint32_t step_of(bool amiga, uint16_t period, uint8_t arpeggio) {
    TestModule m({.amiga = amiga});
    ChannelState& ch = m.channel();
    ch.period = period;
    ch.arpeggio_offset = arpeggio;
    update_voice(*m.ctx, ch);
    return ch.step;
}

TEST(Voice, StepFromPeriodAndArpeggioLimits) {
    EXPECT_EQ(step_of(false, 4608, 0), 714u) << "8363 Hz at 48000";
    EXPECT_EQ(step_of(false, 4608, 12), step_of(false, 3840, 0)) << "an octave up";
    EXPECT_EQ(step_of(false, 1600, 12), step_of(false, 1540, 0)) << "held at 1540";
    EXPECT_EQ(step_of(true, 1712, 0), 707u) << "14187578 / 1712 Hz";
    EXPECT_EQ(step_of(true, 200, 12), step_of(true, 107, 0)) << "held at 107";
}

TEST(Voice, AmigaPeriodModulatedToZeroDoesNotAdvance) {
    TestModule m({.amiga = true});
    ChannelState& ch = m.channel();
    ch.period = 5;
    ch.vibrato_offset = 5;
    ch.step = 1234;
    update_voice(*m.ctx, ch);
    EXPECT_EQ(ch.step, 0u);
}

TEST(Voice, NotePeriods) {
    TestModule linear({});
    TestModule amiga({.amiga = true});
    EXPECT_EQ(note_to_period(*linear.ctx, 768), 4608);
    EXPECT_EQ(note_to_period(*amiga.ctx, 768), 1712);
    EXPECT_EQ(note_to_period(*linear.ctx, 0), 7680);
    EXPECT_EQ(note_to_period(*amiga.ctx, 0), 27392);
}

TEST(Voice, PanningGains) {
    struct Case {
        uint8_t panning, channel_panning, envelope;
        float left, right; // times the amplitude
    };
    const float half = sqrtf(0.5f);
    for (const Case& c : {Case{128, 128, 32, half, half}, Case{200, 128, 64, 0.0f, 1.0f},
                          Case{0, 128, 32, 1.0f, 0.0f}, Case{128, 0, 32, 1.0f, 0.0f},
                          Case{128, 255, 32, sqrtf(1.0f / 256), sqrtf(255.0f / 256)}}) {
        TestModule m({});
        ChannelState& ch = m.channel();
        ch.period = 4608;
        ch.volume = 64;
        ch.volume_envelope_value = 64;
        ch.fadeout_volume = FADEOUT_FULL;
        ch.panning = c.panning;
        ch.channel_panning = c.channel_panning;
        ch.panning_envelope_value = c.envelope;
        update_voice(*m.ctx, ch);
        const float a = 2147418112.0f * 0x1p-31f;
        EXPECT_FLOAT_EQ(ch.gain_left, c.left * a)
            << int{c.panning} << " " << int{c.channel_panning};
        EXPECT_FLOAT_EQ(ch.gain_right, c.right * a)
            << int{c.panning} << " " << int{c.channel_panning};
    }
}

// Evaluates an envelope on a channel tick by tick, with the key released
// from tick `release` on.
std::vector<int> envelope_values(const EnvelopeRecord& e, int ticks, int release = 1 << 30,
                                 EnvelopeLoops loops = EnvelopeLoops::xm) {
    ChannelState ch{};
    ch.key_held = 1;
    uint16_t position = 0;
    std::vector<int> values;
    for (int t = 0; t < ticks; ++t) {
        if (t == release) ch.key_held = 0;
        values.push_back(evaluate_envelope(ch, e, position, loops));
    }
    return values;
}

EnvelopeRecord envelope(std::initializer_list<EnvelopePoint> points, uint8_t sustain = SUSTAIN_NONE,
                        uint8_t loop_start = 0, uint8_t loop_end = 0, uint8_t sustain_end = 0) {
    EnvelopeRecord e{};
    for (const EnvelopePoint& p : points) e.points[e.point_count++] = p;
    e.sustain = sustain;
    e.sustain_end = sustain_end;
    e.loop_start = loop_start;
    e.loop_end = loop_end;
    return e;
}

TEST(Envelopes, InterpolatesBetweenPointsAndHoldsTheLast) {
    EXPECT_EQ(envelope_values(envelope({{0, 64}, {10, 0}}), 13),
              (std::vector<int>{64, 57, 51, 44, 38, 32, 25, 19, 12, 6, 0, 0, 0}));
}

TEST(Envelopes, PositionBeforeTheFirstPointYieldsItsValue) {
    EXPECT_EQ(envelope_values(envelope({{3, 10}, {5, 50}}), 7),
              (std::vector<int>{10, 10, 10, 10, 30, 50, 50}));
}

TEST(Envelopes, SustainAndLoopWithKeyOff) {
    const auto points = {EnvelopePoint{0, 0}, EnvelopePoint{2, 40}, EnvelopePoint{4, 20},
                         EnvelopePoint{6, 60}};
    struct Case {
        const char* name;
        EnvelopeRecord e;
        int release;
        std::vector<int> expected;
        EnvelopeLoops loops = EnvelopeLoops::xm;
    };
    for (const Case& c : {
             Case{"sustain holds until key-off",
                  envelope(points, 1),
                  5,
                  {0, 20, 40, 40, 40, 40, 30, 20, 40, 60, 60}},
             Case{"loop repeats while held",
                  envelope(points, SUSTAIN_NONE, 1, 3),
                  100,
                  {0, 20, 40, 30, 20, 40, 40, 30, 20, 40, 40}},
             Case{"loop repeats after key-off",
                  envelope(points, SUSTAIN_NONE, 1, 3),
                  0,
                  {0, 20, 40, 30, 20, 40, 40, 30, 20, 40, 40}},
             Case{"loop ending on the sustain point ends with key-off",
                  envelope(points, 3, 1, 3),
                  7,
                  {0, 20, 40, 30, 20, 40, 40, 30, 20, 40, 60}},
             // IT plays the loop end's tick, then the loop start's; the key
             // as it stands when a tick is read decides where the next reads
             // (measured against openmpt123).
             Case{"IT: loop end plays",
                  envelope(points, SUSTAIN_NONE, 1, 3),
                  100,
                  {0, 20, 40, 30, 20, 40, 60, 40, 30, 20, 40},
                  EnvelopeLoops::it},
             Case{"IT: sustain loop while held, then on",
                  envelope(points, 1, 0, 0, 2),
                  7,
                  {0, 20, 40, 30, 20, 40, 30, 20, 40, 60, 60},
                  EnvelopeLoops::it},
             Case{"IT: sustain point",
                  envelope(points, 1, 0, 0, 1),
                  5,
                  {0, 20, 40, 40, 40, 40, 30, 20, 40, 60, 60},
                  EnvelopeLoops::it},
         }) {
        EXPECT_EQ(envelope_values(c.e, 11, c.release, c.loops), c.expected) << c.name;
    }
}

TEST(Instrument, FadeoutOf1024ReachesZeroIn32TicksAfterKeyOff) {
    TestModule m({});
    m.instrument().fadeout = 1024;
    m.slot(0, 0) = {49, 1, 0, 0, 0};
    m.slot(0, 1) = {NOTE_KEY_OFF, 0, 0, 0, 0};
    m.finish();
    run_ticks(*m.ctx, 6);
    EXPECT_EQ(m.channel().fadeout_volume, FADEOUT_FULL);
    run_ticks(*m.ctx, 31);
    EXPECT_EQ(m.channel().fadeout_volume, 32767 - 31 * 1024);
    run_tick(*m.ctx);
    EXPECT_EQ(m.channel().fadeout_volume, 0);
}

TEST(Instrument, AutoVibratoSweepsInAndSaturates) {
    struct Case {
        uint8_t depth, sweep;
        std::vector<int> offsets; // ticks 0..4, square wave (value -128 on these phases)
    };
    for (const Case& c :
         {Case{64, 0, {64, 64, 64, 64, 64}}, Case{64, 4, {0, 16, 32, 48, 64}},
          Case{255, 0, {127, 127, 127, 127, 127}}, Case{255, 4, {0, 31, 63, 95, 127}}}) {
        TestModule m({});
        InstrumentRecord& ins = m.instrument();
        ins.autovibrato_waveform = WAVEFORM_SQUARE;
        ins.autovibrato_depth = c.depth;
        ins.autovibrato_sweep = c.sweep;
        ins.autovibrato_rate = 1;
        m.slot(0, 0) = {49, 1, 0, 0, 0};
        m.finish();
        std::vector<int> seen;
        for (int t = 0; t < 5; ++t)
            run_tick(*m.ctx), seen.push_back(m.channel().autovibrato_offset);
        EXPECT_EQ(seen, c.offsets) << int{c.depth} << " " << int{c.sweep};
    }
}

} // namespace
} // namespace replayer::test
