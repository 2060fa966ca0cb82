// SPDX-License-Identifier: GPL-2.0-or-later
// Channel effects through the row and tick handlers: parameter memories,
// slides, retrigger arithmetic, portamento ranges, notes and key-off.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <span>

#include "test_module.h"

namespace replayer::test {
namespace {

constexpr uint8_t NOTE_C4 = 49; // period 4608 with a linear table

ModuleShape two_samples() {
    ModuleShape shape;
    shape.instruments = 2;
    shape.samples = 2;
    shape.sample_frames = {1000, 2000};
    return shape;
}

TEST(Slides, SlideValueSlidesDownByLowOrUpByHighNibbleWithinLimits) {
    struct Case {
        uint8_t value, parameter, maximum, expected;
    };
    for (const Case& c : {Case{10, 0x05, 64, 5}, Case{3, 0x05, 64, 0}, Case{60, 0x35, 64, 63},
                          Case{62, 0x35, 64, 64}, Case{10, 0x35, 64, 13}, Case{250, 0x80, 255, 255},
                          Case{200, 0xF0, 255, 215}}) {
        uint8_t v = c.value;
        slide_value(v, c.parameter, c.maximum);
        EXPECT_EQ(v, c.expected) << int{c.value} << " " << int{c.parameter};
    }
}

TEST(Slides, SetNibblesKeepsAZeroNibble) {
    struct Case {
        uint8_t memory, parameter, expected;
    };
    for (const Case& c : {Case{0x43, 0x05, 0x45}, Case{0x43, 0x70, 0x73}, Case{0x43, 0x00, 0x43},
                          Case{0x43, 0x21, 0x21}}) {
        uint8_t m = c.memory;
        set_nibbles(m, c.parameter);
        EXPECT_EQ(m, c.expected);
    }
}

TEST(Effects, ParameterMemoriesRememberTheirLastNonZeroValue) {
    TestModule m({});
    m.slot(0, 0) = {NOTE_C4, 1, 0, EFFECT_VIBRATO, 0x43};
    m.slot(0, 1) = {0, 0, 0, EFFECT_VIBRATO, 0x05};
    m.slot(0, 2) = {0, 0, 0, EFFECT_VOLUME_SLIDE, 0x02};
    m.slot(0, 3) = {0, 0, 0, EFFECT_VIBRATO_VOLSLIDE, 0x00};
    m.slot(0, 4) = {0, 0, 0, EFFECT_S3M_VOLUME_SLIDE, 0x01};
    m.slot(0, 5) = {0, 0, 0, EFFECT_S3M_PORTA_UP, 0x00};
    m.finish();
    run_ticks(*m.ctx, 8);
    EXPECT_EQ(m.channel().vibrato_memory, 0x45) << "speed 4 from 0x43, depth 5 from 0x05";
    run_ticks(*m.ctx, 4 + 6);
    EXPECT_EQ(m.channel().volume, 64 - 10);
    run_ticks(*m.ctx, 6);
    EXPECT_EQ(m.channel().volume, 64 - 20) << "the 6xy slide reuses A's memory";
    run_ticks(*m.ctx, 6);
    const uint16_t before = m.channel().period;
    run_ticks(*m.ctx, 6);
    EXPECT_EQ(m.channel().period, before - 5 * 4) << "shared memory 0x01 slides by 4 per tick";
}

TEST(Effects, VolumeColumnActsOnTheRightTicks) {
    struct Case {
        uint8_t volume_column;
        uint8_t volume_after_row; // after all 6 ticks
        uint8_t panning_after_row;
    };
    // The sample's default volume is 64 and panning 128.
    for (const Case& c : {Case{0x50, 64, 128}, Case{0x55, 64, 128}, Case{0x10, 0, 128},
                          Case{0x63, 64 - 15, 128}, Case{0x82, 62, 128}, Case{0xC4, 64, 64},
                          Case{0xD3, 64, 128 - 15}, Case{0xE2, 64, 128 + 10}}) {
        TestModule m({});
        m.slot(0, 0) = {NOTE_C4, 1, c.volume_column, 0, 0};
        m.finish();
        run_ticks(*m.ctx, 6);
        EXPECT_EQ(m.channel().volume, c.volume_after_row) << std::hex << int{c.volume_column};
        EXPECT_EQ(m.channel().panning, c.panning_after_row) << std::hex << int{c.volume_column};
    }
}

TEST(Effects, MultiRetriggerVolumeArithmetic) {
    struct Case {
        uint8_t change, volume, expected;
    };
    for (const Case& c :
         {Case{5, 10, 0}, Case{15, 40, 64}, Case{6, 60, 40}, Case{7, 33, 16}, Case{9, 64, 64},
          Case{13, 10, 26}, Case{14, 20, 30}, Case{3, 2, 0}, Case{0, 17, 17}, Case{8, 17, 17}}) {
        TestModule m({});
        m.slot(0, 0) = {NOTE_C4, 1, 0, 0, 0};
        m.finish();
        run_tick(*m.ctx);
        m.channel().volume = c.volume;
        m.channel().position = 12345;
        multi_retrigger(*m.ctx, m.channel(), static_cast<uint8_t>(c.change << 4 | 1));
        EXPECT_EQ(m.channel().volume, c.expected) << "x=" << int{c.change};
        EXPECT_EQ(m.channel().position, 0u) << "the sample restarts";
    }
}

TEST(Effects, PortamentoRangesClampWrapOrCut) {
    struct Case {
        const char* name;
        uint8_t effect, parameter;
        uint16_t start_period;
        uint16_t expected_period;
        bool sample_kept;
    };
    for (const Case& c : {
             Case{"up clamps at 1", EFFECT_PORTA_UP, 0x40, 100, 1, true},
             Case{"down wraps", EFFECT_PORTA_DOWN, 0x20, 65500, 92, true},
             Case{"shared up cuts", EFFECT_S3M_PORTA_UP, 0x40, 100,
                  static_cast<uint16_t>(100 - 256), false},
             Case{"shared down cuts", EFFECT_S3M_PORTA_DOWN, 0x20, 65500, 92, false},
             Case{"up within range", EFFECT_PORTA_UP, 0x01, 4608, 4604, true},
         }) {
        TestModule m({});
        m.slot(0, 0) = {NOTE_C4, 1, 0, 0, 0};
        m.slot(0, 1) = {0, 0, 0, c.effect, c.parameter};
        m.finish();
        run_ticks(*m.ctx, 7); // row 1's row tick
        m.channel().period = c.start_period;
        run_tick(*m.ctx);
        EXPECT_EQ(m.channel().period, c.expected_period) << c.name;
        EXPECT_EQ(m.channel().sample != nullptr, c.sample_kept) << c.name;
    }
}

TEST(Effects, SharedVolumeSlideActsOnTheTicksItsMemoryChooses) {
    struct Case {
        uint8_t memory;
        bool fast;
        uint8_t volume; // after the row, from 32
    };
    for (const Case& c :
         {Case{0x04, false, 12}, Case{0x40, false, 52}, Case{0xF4, false, 28},
          Case{0x4F, false, 36}, Case{0x42, false, 22}, Case{0xF0, false, 64}, Case{0x0F, false, 0},
          Case{0xFF, false, 47}, Case{0x04, true, 8}, Case{0xF4, true, 28}}) {
        TestModule m({});
        m.slot(0, 0) = {NOTE_C4, 1, 0x30, EFFECT_S3M_VOLUME_SLIDE, c.memory};
        m.finish();
        if (c.fast) m.ctx->tracker_rules |= RULE_FAST_SLIDE;
        run_ticks(*m.ctx, 6);
        EXPECT_EQ(m.channel().volume, c.volume) << std::hex << int{c.memory} << " " << c.fast;
    }
}

TEST(Effects, SharedPortamentoSlidesFineFormsOnTheRowTickOnly) {
    struct Case {
        uint8_t memory;
        int row_change, row_end_change; // after the row tick, after the row
    };
    for (const Case& c : {Case{0xE3, 3, 3}, Case{0xF3, 12, 12}, Case{0x03, 0, 60},
                          Case{0xDF, 0, 5 * 4 * 0xDF}, Case{0xE0, 0, 0}}) {
        for (auto [effect, sign] :
             {std::pair{EFFECT_S3M_PORTA_DOWN, 1}, {EFFECT_S3M_PORTA_UP, -1}}) {
            TestModule m({});
            m.slot(0, 0) = {NOTE_C4, 1, 0, effect, c.memory};
            m.finish();
            run_tick(*m.ctx);
            EXPECT_EQ(m.channel().period, 4608 + sign * c.row_change) << std::hex << int{c.memory};
            run_ticks(*m.ctx, 5);
            EXPECT_EQ(m.channel().period, 4608 + sign * c.row_end_change)
                << std::hex << int{c.memory};
        }
    }
}

TEST(Effects, SharedTremoloHalvesItsDepthRoundingDown) {
    struct Case {
        uint8_t phase;
        int offset;
    };
    // A full-depth sine tremolo gives -59 and 59 at these phases.
    for (const Case& c : {Case{64, -30}, Case{192, 29}}) {
        TestModule m({});
        m.slot(0, 0) = {NOTE_C4, 1, 0, EFFECT_S3M_TREMOLO, 0x0F};
        m.finish();
        run_tick(*m.ctx);
        m.channel().tremolo_phase = c.phase;
        run_tick(*m.ctx);
        EXPECT_EQ(m.channel().volume_offset, c.offset) << int{c.phase};
    }
}

TEST(Effects, GlobalVolumeChangeReachesLaterChannelsOnTheSameTick) {
    TestModule m({.channels = 3});
    m.slot(0, 0, 0) = {NOTE_C4, 1, 0, 0, 0};
    m.slot(0, 0, 1) = {0, 0, 0, EFFECT_GLOBAL_VOLUME_SLIDE, 0x08};
    m.slot(0, 0, 2) = {NOTE_C4, 1, 0, 0, 0};
    m.finish();
    run_ticks(*m.ctx, 2);
    EXPECT_EQ(m.ctx->playback.global_volume, 56);
    EXPECT_FLOAT_EQ(m.channel(2).gain_left, m.channel(0).gain_left * 56 / 64)
        << "the earlier channel still used 64";
    run_tick(*m.ctx);
    EXPECT_FLOAT_EQ(m.channel(0).gain_left, m.channel(2).gain_left * 56 / 48);
}

TEST(Effects, TonePortamentoSlidesToTheTargetAndStays) {
    TestModule m({});
    m.slot(0, 0) = {NOTE_C4, 1, 0, 0, 0};
    m.slot(0, 1) = {NOTE_C4 + 1, 0, 0, EFFECT_TONE_PORTA, 5};
    m.finish();
    run_ticks(*m.ctx, 7);
    EXPECT_EQ(m.channel().period, 4608) << "the note only sets the target";
    EXPECT_EQ(m.channel().target_period, 4608 - 64);
    run_ticks(*m.ctx, 3);
    EXPECT_EQ(m.channel().period, 4608 - 60);
    run_ticks(*m.ctx, 2);
    EXPECT_EQ(m.channel().period, 4608 - 64);
}

TEST(Effects, SampleOffsetBeyondTheEndSilencesUntilTheNextNote) {
    TestModule m({});
    for (int16_t& f : std::span(m.sample_frames(), 1000)) f = 1000;
    m.slot(0, 0) = {NOTE_C4, 1, 0, EFFECT_SAMPLE_OFFSET, 0x10}; // 4096 frames
    m.slot(0, 1) = {NOTE_C4, 1, 0, EFFECT_SAMPLE_OFFSET, 0x02}; // 512 frames
    m.finish();
    const std::vector<float> first_row = render(*m.ctx, 5760);
    for (float v : first_row) ASSERT_EQ(v, 0.0f);
    EXPECT_TRUE(m.channel().sample_ended);
    render(*m.ctx, 1);
    EXPECT_FALSE(m.channel().sample_ended);
    EXPECT_EQ(m.channel().position, (512u << 12) + m.channel().step);
}

TEST(Effects, InstrumentOnlyNoteSwitchesSampleKeepingPositionAndPeriod) {
    TestModule m(two_samples());
    m.slot(0, 0) = {NOTE_C4, 1, 0, 0, 0};
    m.slot(0, 1) = {NOTE_INSTRUMENT_ONLY, 2, 0, 0, 0};
    m.finish();
    run_ticks(*m.ctx, 6);
    m.channel().position = 300 << 12;
    m.channel().period = 4000;
    run_tick(*m.ctx);
    EXPECT_EQ(m.channel().sample, &m.sample(1));
    EXPECT_EQ(m.channel().position, 300u << 12);
    EXPECT_EQ(m.channel().period, 4000);
}

TEST(Effects, InstrumentWithoutNoteRestoresDefaultsWithoutRestarting) {
    TestModule m({});
    m.sample().panning = 40;
    EnvelopeRecord& e = m.instrument().volume_envelope;
    e.points[1] = {100, 64};
    e.point_count = 2;
    e.sustain = SUSTAIN_NONE;
    m.slot(0, 0) = {NOTE_C4, 1, 0x20, 0, 0};
    m.slot(0, 1) = {0, 1, 0, 0, 0};
    m.finish();
    run_ticks(*m.ctx, 6);
    EXPECT_EQ(m.channel().volume, 16);
    m.channel().position = 77 << 12;
    m.channel().volume_envelope_pos = 9;
    run_tick(*m.ctx);
    EXPECT_EQ(m.channel().volume, 64);
    EXPECT_EQ(m.channel().panning, 40);
    EXPECT_EQ(m.channel().position, 77u << 12);
    EXPECT_EQ(m.channel().volume_envelope_pos, 1) << "envelopes restart (and ran one tick)";
}

TEST(Effects, KeyOffReleasesAnEnvelopeOrSilences) {
    for (bool with_envelope : {false, true}) {
        TestModule m({});
        if (with_envelope) {
            EnvelopeRecord& e = m.instrument().volume_envelope;
            e.points[0] = {0, 64};
            e.points[1] = {10, 64};
            e.point_count = 2;
            e.sustain = SUSTAIN_NONE;
        }
        m.slot(0, 0) = {NOTE_C4, 1, 0, 0, 0};
        m.slot(0, 1) = {NOTE_KEY_OFF, 0, 0, 0, 0};
        m.finish();
        run_ticks(*m.ctx, 7);
        EXPECT_EQ(m.channel().key_held, 0);
        EXPECT_EQ(m.channel().volume, with_envelope ? 64 : 0);
    }
}

TEST(Effects, KeyOffAndNoteCutAtATick) {
    for (uint8_t effect : {EFFECT_KEY_OFF, EFFECT_NOTE_CUT}) {
        TestModule m({});
        m.slot(0, 0) = {NOTE_C4, 1, 0, effect, 3};
        m.finish();
        run_ticks(*m.ctx, 3);
        EXPECT_EQ(m.channel().volume, 64);
        run_tick(*m.ctx);
        EXPECT_EQ(m.channel().volume, 0) << int{effect};
    }
}

TEST(Effects, NoteDelayTriggersOnItsTickOrNeverAtOrBeyondTheSpeed) {
    struct Case {
        uint8_t note, delay;
        int trigger_tick; // -1: never within the row
    };
    for (const Case& c : {Case{NOTE_C4, 3, 3}, Case{0, 3, 3}, Case{NOTE_C4, 6, -1}}) {
        TestModule m({});
        m.slot(0, 0) = {NOTE_C4 + 12, 1, 0, 0, 0};
        m.slot(0, 1) = {c.note, c.note ? uint8_t{1} : uint8_t{0}, 0x20, EFFECT_NOTE_DELAY, c.delay};
        m.finish();
        run_ticks(*m.ctx, 6);
        for (int tick = 0; tick < 6; ++tick) {
            m.channel().position = 999 << 12;
            run_tick(*m.ctx);
            const bool triggered = m.channel().position == 0;
            EXPECT_EQ(triggered, tick == c.trigger_tick)
                << "note " << int{c.note} << " delay " << int{c.delay} << " tick " << tick;
        }
        if (c.trigger_tick < 0) {
            EXPECT_EQ(m.channel().note, NOTE_C4 + 12) << "the delayed note is lost";
            EXPECT_EQ(m.channel().volume, 64) << "and so is its volume column";
        } else {
            EXPECT_EQ(m.channel().volume, 16);
        }
    }
}

// Retrigger cells before any note was played have nothing to restart.
TEST(Effects, TriggerWithoutAnyNoteLeavesTheChannelAlone) {
    struct Case {
        const char* name;
        PatternSlot cell;
    };
    for (const Case& c : {Case{"instrument only", {0, 1, 0, 0, 0}},
                          Case{"retrigger note", {NOTE_RETRIGGER, 1, 0, 0, 0}},
                          Case{"retrigger effect", {0, 1, 0, EFFECT_RETRIGGER, 2}},
                          Case{"note delay", {0, 1, 0, EFFECT_NOTE_DELAY, 2}},
                          Case{"multi retrigger", {0, 1, 0, EFFECT_MULTI_RETRIG, 0x11}}}) {
        TestModule m({});
        m.slot(0, 0) = c.cell;
        m.finish();
        const std::vector<float> out = render(*m.ctx, 5760);
        EXPECT_EQ(m.channel().sample, nullptr) << c.name;
        EXPECT_EQ(m.channel().period, 0) << c.name;
        for (float v : out) ASSERT_EQ(v, 0.0f) << c.name;
    }
}

TEST(Effects, InvalidInstrumentOrSampleSilencesTheChannel) {
    for (bool unmapped_note : {false, true}) {
        TestModule m({});
        m.slot(0, 0) = {NOTE_C4, 1, 0, 0, 0};
        // Instrument 2 does not exist; or instrument 1 maps the note to no sample.
        m.slot(0, 1) = {NOTE_C4, static_cast<uint8_t>(unmapped_note ? 1 : 2), 0, 0, 0};
        m.finish();
        if (unmapped_note) m.instrument().sample_map[NOTE_C4 - 1] = SAMPLE_MAP_NONE;
        run_ticks(*m.ctx, 7);
        EXPECT_EQ(m.channel().sample, nullptr);
        EXPECT_EQ(m.channel().volume, 0);
    }
}

} // namespace
} // namespace replayer::test

namespace replayer::test {
namespace {

// Every note byte, instrument, volume column, effect code and parameter at
// random, with both period tables: playback stays finite and the block mixer
// still equals the frame-by-frame rule (the sanitized build also checks every
// access).
TEST(Effects, RandomPatternsPlayEveryCodeSafely) {
    for (bool amiga : {false, true}) {
        const ModuleShape shape{.channels = 4,
                                .pattern_rows = {64, 32},
                                .orders = {0, 1, 0},
                                .instruments = 2,
                                .samples = 2,
                                .sample_frames = {3000, 700},
                                .speed = 3,
                                .amiga = amiga};
        auto build = [&](TestModule& m) {
            std::mt19937 random(amiga ? 7 : 11);
            for (uint32_t i = 0; i < m.ctx->total_sample_frames; ++i)
                m.ctx->sample_data[i] = static_cast<int16_t>(random());
            m.sample(1).loop_length = 200;
            m.sample(1).flags_volume |= SAMPLE_FLAG_PINGPONG;
            m.sample(0).relative_note = 12;
            for (int k = 0; k < 2; ++k) {
                EnvelopeRecord& e = m.instrument(k).panning_envelope;
                e.points[0] = {2, 0};
                e.points[1] = {9, 64};
                e.points[2] = {15, 20};
                e.point_count = 3;
                e.sustain = 1;
                e.loop_start = 0;
                e.loop_end = 2;
                m.instrument(k).volume_envelope = e;
                m.instrument(k).fadeout = 300;
                m.instrument(k).autovibrato_waveform = static_cast<uint8_t>(k * 3);
                m.instrument(k).autovibrato_depth = 200;
                m.instrument(k).autovibrato_rate = 9;
                m.instrument(k).autovibrato_sweep = 5;
            }
            const size_t slots = size_t{m.ctx->total_rows} * m.ctx->channel_count;
            for (size_t i = 0; i < slots; ++i) {
                PatternSlot& s = m.ctx->slots[i];
                s.note = static_cast<uint8_t>(random() % 3 ? 1 + random() % 110 : random());
                s.instrument = static_cast<uint8_t>(random() % 4);
                s.volume = static_cast<uint8_t>(random());
                s.effect = static_cast<uint8_t>(random() % 8 ? random() % EFFECT_COUNT : 255);
                s.parameter = static_cast<uint8_t>(random());
                // Keep the song moving forward often enough to reach every row.
                if (s.effect == EFFECT_PATTERN_LOOP || s.effect == EFFECT_ROW_LOOP ||
                    s.effect == EFFECT_PATTERN_DELAY)
                    s.parameter &= 0x03;
            }
            m.finish();
        };
        TestModule a(shape), b(shape);
        build(a);
        build(b);
        const uint32_t frames = 48000 * 20;
        const std::vector<float> blocks = render(*a.ctx, frames);
        const std::vector<float> reference = render_per_frame(*b.ctx, frames);
        double energy = 0;
        for (float v : blocks) {
            ASSERT_TRUE(std::isfinite(v));
            energy += double{v} * v;
        }
        EXPECT_GT(energy, 1.0) << "the random song is audible";
        EXPECT_EQ(std::memcmp(blocks.data(), reference.data(), blocks.size() * sizeof(float)), 0)
            << (amiga ? "amiga" : "linear");
    }
}

} // namespace
} // namespace replayer::test
