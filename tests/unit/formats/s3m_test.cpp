// SPDX-License-Identifier: GPL-2.0-or-later
// S3M loading through the public loader: orders, channel map and panning,
// samples, packed patterns, command tables and the loop rework.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "compact_writer.h"
#include "module_builders.h"
#include "module_check.h"

using namespace replayer;
using namespace test_modules;

namespace {

constexpr int A = 1, D = 4, Q = 17, S = 19, T = 20, V = 22, X = 24, Z = 26;

const PatternSlot& slot(const ReplayContext& ctx, int pattern, int row, int channel) {
    return ctx.slots[(ctx.patterns[pattern].first_row + row) * ctx.channel_count + channel];
}

Context load_ok(const S3mBuilder& s3m) {
    const char* error = nullptr;
    Context ctx = load(s3m.build(), &error);
    EXPECT_TRUE(ctx) << (error ? error : "");
    return ctx;
}

} // namespace

// 254 is skipped; 255 ends the first song, and what follows is a second one:
// kept as a subsong that goes round on its own, while the first plays as if
// the list ended there.
TEST(S3m, OrdersSkipMarkersAndEndSongs) {
    S3mBuilder s3m;
    s3m.patterns.resize(3);
    s3m.orders = {0, 254, 1, 255, 255, 2, 255};
    Context ctx = load_ok(s3m);
    ASSERT_TRUE(ctx);
    EXPECT_EQ(ctx->song_length, 3);
    EXPECT_EQ(std::vector<uint8_t>(ctx->order_table, ctx->order_table + 3),
              (std::vector<uint8_t>{0, 1, 2}));
    EXPECT_EQ(ctx->pattern_count, 3);
    constexpr uint64_t PATTERN_FRAMES = 64 * 6 * 960; // speed 6 at 125 BPM, 48 kHz
    replayer::SubsongInfo songs[4];
    ASSERT_EQ(replayer::list_subsongs(ctx.get(), songs, 4), 2u);
    EXPECT_EQ(std::tuple(songs[0].start_order, songs[0].pass.frames, songs[0].pass.end_order),
              std::tuple(uint16_t{0}, 2 * PATTERN_FRAMES, uint16_t{0}));
    EXPECT_EQ(std::tuple(songs[1].start_order, songs[1].pass.frames, songs[1].pass.end_order),
              std::tuple(uint16_t{2}, PATTERN_FRAMES, uint16_t{2}));
    // The compact image holds the first song alone, which plays the same.
    const test_modules::Bytes image = compact_writer::write_compact(*ctx);
    Context compact = load(image);
    ASSERT_TRUE(compact);
    EXPECT_EQ(compact->song_length, 2);
    EXPECT_EQ(replayer::measure_pass(compact.get(), 10 * PATTERN_FRAMES).frames,
              2 * PATTERN_FRAMES);

    // Only the first song may not pass 256 orders; later ones fill what is left.
    s3m.orders.assign(257, 0);
    EXPECT_FALSE(load(s3m.build()));
    s3m.orders.assign(256, 0);
    EXPECT_TRUE(load(s3m.build()));
    s3m.orders.assign(300, 1);
    s3m.orders[200] = 255;
    ctx = load_ok(s3m);
    ASSERT_TRUE(ctx);
    EXPECT_EQ(ctx->song_length, 256);
}

TEST(S3m, OrdersNamingNoPatternPlayAnAddedEmptyPattern) {
    S3mBuilder s3m;
    s3m.patterns.resize(2);
    s3m.patterns[1] = {{0, 0, 0x40, 1}};
    s3m.orders = {1, 7, 0, 9};
    Context ctx = load_ok(s3m);
    ASSERT_TRUE(ctx);
    EXPECT_EQ(ctx->pattern_count, 3);
    EXPECT_EQ(ctx->total_rows, 3u * 64);
    const uint8_t orders[] = {1, 2, 0, 2};
    EXPECT_EQ(0, std::memcmp(ctx->order_table, orders, 4));
    EXPECT_EQ(ctx->patterns[2].first_row, 128);
    EXPECT_EQ(ctx->patterns[2].row_count, 64);
    EXPECT_EQ(slot(*ctx, 2, 0, 0).note, NOTE_NONE);
}

TEST(S3m, ChannelsFromSettings) {
    struct Case {
        std::vector<uint8_t> settings;
        int channels;
    };
    const Case cases[] = {{{0, 8, 1, 9}, 4}, {{0, 0, 8}, 2}, {{16, 3, 200, 3, 15}, 2}};
    for (const Case& c : cases) {
        S3mBuilder s3m;
        std::memset(s3m.channel_settings, 255, 32);
        std::copy(c.settings.begin(), c.settings.end(), s3m.channel_settings);
        ScanResult scan = module_prescan(s3m.build().data(), s3m.build().size());
        ASSERT_EQ(scan.error, nullptr);
        EXPECT_EQ(scan.scan.channel_count, c.channels);
    }
}

TEST(S3m, ChannelsSharingASettingShareTheInternalChannel) {
    S3mBuilder s3m;
    std::memset(s3m.channel_settings, 255, 32);
    const uint8_t settings[] = {20, 3, 9, 3};
    std::memcpy(s3m.channel_settings, settings, 4);
    s3m.patterns[0] = {{0, 0, 0x40, 1}, {1, 2, 0x41, 1}, {2, 3, 0x42, 1}};
    Context ctx = load_ok(s3m);
    ASSERT_TRUE(ctx);
    ASSERT_EQ(ctx->channel_count, 2);
    EXPECT_EQ(slot(*ctx, 0, 0, 0).note, NOTE_NONE); // channel 0 is not played
    EXPECT_EQ(slot(*ctx, 0, 1, 1).note, 50);        // S3M channel 2 -> internal 1
    EXPECT_EQ(slot(*ctx, 0, 2, 0).note, 51);        // S3M channel 3 -> internal 0
}

TEST(S3m, ChannelPanning) {
    S3mBuilder s3m;
    std::memset(s3m.channel_settings, 255, 32);
    const uint8_t settings[] = {30, 0, 8, 1, 9};
    std::memcpy(s3m.channel_settings, settings, 5);
    s3m.default_panning[1] = 0x20 | 4; // given
    s3m.default_panning[2] = 0x07;     // not given: side by setting
    s3m.default_panning[3] = 0x2F;
    s3m.default_panning[4] = 0x20;

    s3m.master_volume = 0x30; // mono
    Context ctx = load_ok(s3m);
    const uint8_t mono[] = {128, 128, 128, 128};
    EXPECT_EQ(0, std::memcmp(ctx->channel_panning, mono, 4));

    s3m.master_volume = 0xB0; // stereo, no table
    ctx = load_ok(s3m);
    const uint8_t sides[] = {0x33, 0xCC, 0x33, 0xCC};
    EXPECT_EQ(0, std::memcmp(ctx->channel_panning, sides, 4));

    s3m.panning_table = true; // an unplayed channel does not shift the table
    ctx = load_ok(s3m);
    const uint8_t table[] = {68, 0xCC, 255, 0};
    EXPECT_EQ(0, std::memcmp(ctx->channel_panning, table, 4));
}

TEST(S3m, HeaderValues) {
    struct Case {
        uint8_t flags;
        uint16_t version;
        uint8_t global_volume, speed, bpm;
        uint8_t fast_slide, expected_volume, expected_speed, expected_bpm;
    };
    const Case cases[] = {
        {0x00, 0x1320, 48, 3, 150, 0, 48, 3, 150},
        {0x40, 0x1320, 80, 0, 32, 1, 64, 6, 125},
        {0x00, 0x1300, 64, 255, 33, 1, 64, 6, 33},
    };
    for (const Case& c : cases) {
        S3mBuilder s3m;
        s3m.flags = c.flags;
        s3m.tracker_version = c.version;
        s3m.global_volume = c.global_volume;
        s3m.speed = c.speed;
        s3m.bpm = c.bpm;
        Context ctx = load_ok(s3m);
        ASSERT_TRUE(ctx);
        EXPECT_EQ(ctx->tracker_rules & RULE_FAST_SLIDE, c.fast_slide ? RULE_FAST_SLIDE : 0);
        EXPECT_EQ(ctx->default_global_volume, c.expected_volume);
        EXPECT_EQ(ctx->default_speed, c.expected_speed);
        EXPECT_EQ(ctx->default_bpm, c.expected_bpm);
        EXPECT_EQ(ctx->amiga_periods, 1);
    }
}

TEST(S3m, NotesVolumesAndInstruments) {
    struct Case {
        int note, instrument, volume;
        uint8_t expected_note, expected_volume;
    };
    const Case cases[] = {
        {0x45, 2, 32, 54, 0x30},
        {254, 0, -1, NOTE_KEY_OFF, 0},
        {255, 3, 64, NOTE_INSTRUMENT_ONLY, 0x50},
        {255, 0, 0, NOTE_NONE, 0x10},
        {0x7B, 1, 65, 96, 0x50},
        {0x8B, 0, 200, NOTE_NONE, 0x50},        // octave 8: no note
        {0x0C, 4, -1, NOTE_INSTRUMENT_ONLY, 0}, // semitone 12
        {0x00, 1, -1, 1, 0},
    };
    S3mBuilder s3m;
    for (int i = 0; i < 8; ++i)
        s3m.patterns[0].push_back({i, 1, cases[i].note, cases[i].instrument, cases[i].volume});
    Context ctx = load_ok(s3m);
    ASSERT_TRUE(ctx);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(slot(*ctx, 0, i, 1).note, cases[i].expected_note) << i;
        EXPECT_EQ(slot(*ctx, 0, i, 1).instrument, cases[i].instrument) << i;
        EXPECT_EQ(slot(*ctx, 0, i, 1).volume, cases[i].expected_volume) << i;
    }
}

TEST(S3m, Commands) {
    struct Case {
        int command, info;
        uint8_t effect, parameter;
    };
    const Case cases[] = {
        {T, 0x20, EFFECT_IGNORED, 0x20},
        {T, 0x21, EFFECT_SET_BPM, 0x21},
        {T, 0x00, EFFECT_ARPEGGIO, 0},
        {A, 0x00, EFFECT_ARPEGGIO, 0},
        {A, 0x05, EFFECT_SET_SPEED, 5},
        {D, 0x00, EFFECT_S3M_VOLUME_SLIDE, 0},
        {X, 0x80, EFFECT_SET_CHANNEL_PANNING, 255},
        {X, 0x40, EFFECT_SET_CHANNEL_PANNING, 0x80},
        {X, 0x81, EFFECT_IGNORED, 0x81},
        {X, 0x00, EFFECT_SET_CHANNEL_PANNING, 0},
        {Q, 0x05, EFFECT_S3M_RETRIG, 0x85},
        {Q, 0x00, EFFECT_S3M_RETRIG, 0x80},
        {Q, 0x25, EFFECT_S3M_RETRIG, 0x25},
        {V, 0x40, EFFECT_SET_GLOBAL_VOLUME, 64},
        {V, 0x41, EFFECT_IGNORED, 0x41},
        {Z, 0x10, EFFECT_IGNORED, 0x10},
        {30, 0x00, EFFECT_ARPEGGIO, 0},
        {0, 0x07, EFFECT_IGNORED, 7},
        {13, 0x00, EFFECT_ARPEGGIO, 0},
        {7, 0x00, EFFECT_TONE_PORTA, 0},
        {S, 0x13, EFFECT_GLISSANDO, 1},
        {S, 0x2A, EFFECT_SET_FINETUNE, 10},
        {S, 0x37, EFFECT_VIBRATO_WAVEFORM, 3},
        {S, 0x45, EFFECT_TREMOLO_WAVEFORM, 1},
        {S, 0x8F, EFFECT_SET_CHANNEL_PANNING, 255},
        {S, 0xA5, EFFECT_SET_CHANNEL_PANNING, 128},
        {S, 0xA9, EFFECT_IGNORED, 0xA9},
        {S, 0xC2, EFFECT_NOTE_CUT, 2},
        {S, 0xD3, EFFECT_NOTE_DELAY, 3},
        {S, 0xE4, EFFECT_PATTERN_DELAY, 4},
        {S, 0x71, EFFECT_IGNORED, 0x71},
        {S, 0xC0, EFFECT_SET_VOLUME, 0},
    };
    const int count = sizeof cases / sizeof cases[0];
    ASSERT_LE(count, 64);
    S3mBuilder s3m;
    for (int i = 0; i < count; ++i)
        s3m.patterns[0].push_back({i, 2, -1, 0, -1, cases[i].command, cases[i].info});
    Context ctx = load_ok(s3m);
    ASSERT_TRUE(ctx);
    for (int i = 0; i < count; ++i) {
        EXPECT_EQ(slot(*ctx, 0, i, 2).effect, cases[i].effect) << "case " << i;
        EXPECT_EQ(slot(*ctx, 0, i, 2).parameter, cases[i].parameter) << "case " << i;
    }
}

TEST(S3m, StereoControlFollowsTheChannelSide) {
    // Channel 0 sits left (setting 0), channel 1 right (setting 8).
    struct Case {
        uint8_t channel, info, panning;
    };
    const Case cases[] = {{0, 0xA0, 0}, {1, 0xA0, 255}, {0, 0xA1, 255}, {1, 0xA3, 0}};
    S3mBuilder s3m;
    for (int i = 0; i < 4; ++i)
        s3m.patterns[0].push_back({i, cases[i].channel, -1, 0, -1, S, cases[i].info});
    Context ctx = load_ok(s3m);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(slot(*ctx, 0, i, cases[i].channel).parameter, cases[i].panning) << i;
}

TEST(S3m, S00RepeatsTheChannelsLastInfoWithinAPattern) {
    S3mBuilder s3m;
    s3m.patterns.resize(2);
    s3m.orders = {0, 1};
    s3m.patterns[0] = {
        {0, 1, -1, 0, -1, S, 0xC3}, {1, 1, -1, 0, -1, S, 0x00}, {2, 0, -1, 0, -1, S, 0x00}};
    s3m.patterns[1] = {{0, 1, -1, 0, -1, S, 0x00}};
    Context ctx = load_ok(s3m);
    ASSERT_TRUE(ctx);
    EXPECT_EQ(slot(*ctx, 0, 1, 1).effect, EFFECT_NOTE_CUT);
    EXPECT_EQ(slot(*ctx, 0, 1, 1).parameter, 3);
    EXPECT_EQ(slot(*ctx, 0, 2, 0).effect, EFFECT_ARPEGGIO); // another channel: nothing remembered
    EXPECT_EQ(slot(*ctx, 1, 0, 1).effect, EFFECT_ARPEGGIO); // memory cleared per pattern
    EXPECT_EQ(slot(*ctx, 1, 0, 1).parameter, 0);
}

// Rows are read until 64 are complete, past a stored length that leaves out
// its own two bytes; a length too short to hold itself is an empty pattern.
TEST(S3m, PackedRowsAreReadUntil64AreComplete) {
    struct Case {
        const char* what;
        int length_adjust;
        int stored_length;        // written over the length when not -1
        uint8_t volume_on_row_63; // 0: the pattern is empty
    };
    const Case cases[] = {
        {"the length counts itself", 0, -1, 0x10 + 32},
        {"the length leaves out its own two bytes", -2, -1, 0x10 + 32},
        {"a length of 1", 0, 1, 0},
    };
    for (const Case& c : cases) {
        S3mBuilder s3m;
        s3m.patterns[0] = {{0, 0, 0x40, 1}, {63, 3, 0x41, 2, 32}};
        s3m.pattern_length_adjust = c.length_adjust;
        Bytes bytes = s3m.build();
        const size_t pattern_pointer = 96 + s3m.orders.size();
        const size_t start = 16 * (bytes[pattern_pointer] | bytes[pattern_pointer + 1] << 8);
        if (c.stored_length >= 0) put16le(bytes, start, static_cast<uint16_t>(c.stored_length));
        Context ctx = load(bytes);
        ASSERT_TRUE(ctx) << c.what;
        EXPECT_EQ(slot(*ctx, 0, 63, 3).volume, c.volume_on_row_63) << c.what;
        EXPECT_EQ(slot(*ctx, 0, 63, 3).note, c.volume_on_row_63 ? 50 : NOTE_NONE) << c.what;
        EXPECT_EQ(slot(*ctx, 0, 0, 0).note, c.volume_on_row_63 ? 49 : NOTE_NONE) << c.what;
    }
}

TEST(S3m, PatternLoopsMoveToAFreeChannel) {
    struct Placed {
        int row, channel;
        uint8_t effect, parameter;
    };
    struct Case {
        const char* what;
        std::vector<S3mEntry> entries;
        std::vector<Placed> placed;
    };
    const Case cases[] = {
        {"start and end in channel 1, channel 0 free",
         {{4, 1, -1, 0, -1, S, 0xB0}, {8, 1, -1, 0, -1, S, 0xB2}},
         {{4, 0, EFFECT_PATTERN_LOOP, 0},
          {8, 0, EFFECT_PATTERN_LOOP, 2},
          {4, 1, 0, 0},
          {8, 1, 0, 0}}},
        {"no start: rows 0..6, then 7..10",
         {{6, 2, -1, 0, -1, S, 0xB3}, {10, 3, -1, 0, -1, S, 0xB2}},
         {{0, 0, EFFECT_PATTERN_LOOP, 0},
          {6, 0, EFFECT_PATTERN_LOOP, 3},
          {7, 0, EFFECT_PATTERN_LOOP, 0},
          {10, 0, EFFECT_PATTERN_LOOP, 2}}},
        {"a loop whose start is its own end row",
         {{4, 3, -1, 0, -1, S, 0xB1}, {5, 3, -1, 0, -1, S, 0xB2}, {5, 0, -1, 0, -1, A, 3}},
         {{0, 0, EFFECT_PATTERN_LOOP, 0},
          {4, 0, EFFECT_PATTERN_LOOP, 1},
          {5, 1, EFFECT_ROW_LOOP, 2},
          {5, 0, EFFECT_SET_SPEED, 3},
          {5, 3, 0, 0}}},
        {"only the last loop command of a row counts",
         {{3, 2, -1, 0, -1, S, 0xB0}, {3, 3, -1, 0, -1, S, 0xB2}},
         {{0, 0, EFFECT_PATTERN_LOOP, 0}, {3, 0, EFFECT_PATTERN_LOOP, 2}, {3, 2, 0, 0}}},
        {"channel 0 busy on the end row",
         {{2, 3, -1, 0, -1, S, 0xB0}, {9, 3, -1, 0, -1, S, 0xB1}, {9, 0, -1, 0, -1, D, 1}},
         {{2, 1, EFFECT_PATTERN_LOOP, 0}, {9, 1, EFFECT_PATTERN_LOOP, 1}, {2, 0, 0, 0}}},
    };
    for (const Case& c : cases) {
        S3mBuilder s3m;
        s3m.patterns[0] = c.entries;
        Context ctx = load_ok(s3m);
        ASSERT_TRUE(ctx);
        for (const Placed& p : c.placed) {
            EXPECT_EQ(slot(*ctx, 0, p.row, p.channel).effect, p.effect)
                << c.what << " row " << p.row;
            EXPECT_EQ(slot(*ctx, 0, p.row, p.channel).parameter, p.parameter) << c.what;
        }
    }
}

TEST(S3m, PitchFromMiddleCSpeed) {
    struct Case {
        uint32_t c2;
        int8_t finetune, relative_note;
    };
    const Case cases[] = {{8363, 0, 0}, {16726, 0, 12}, {8000, 4, -1},
                          {0, 0, 0},    {1, 11, -128},  {0xFFFFFFFF, 10, 127}};
    S3mBuilder s3m;
    for (const Case& c : cases) {
        S3mSample sample;
        sample.c2_speed = c.c2;
        s3m.samples.push_back(sample);
    }
    Context ctx = load_ok(s3m);
    ASSERT_TRUE(ctx);
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(ctx->samples[i].finetune, cases[i].finetune) << cases[i].c2;
        EXPECT_EQ(ctx->samples[i].relative_note, cases[i].relative_note) << cases[i].c2;
    }
}

TEST(S3m, SampleLengthsLoopsAndData) {
    struct Case {
        uint32_t length, loop_start, loop_end;
        uint8_t flags;
        uint32_t stored, loop;
    };
    const Case cases[] = {
        {100, 10, 50, 1, 50, 40},     // data past the loop end dropped
        {100, 10, 150, 1, 10, 10},    // loop end past the data: keep up to the loop start
        {100, 60, 60, 1, 100, 0},     // empty loop: no loop, full length
        {100, 60, 20, 1, 100, 0},     // loop ends before it starts
        {100, 10, 50, 0, 100, 0},     // loop flag clear
        {100, 0, 120, 1, 100, 100},   // loop from 0 past the data: all of it loops
        {100, 120, 150, 1, 100, 30},  // loop start past the data: its last frames loop
        {100, 120, 900, 1, 100, 100}, // ... at most all of them
        {101, 11, 51, 5, 51, 40},     // 16-bit: sizes count frames too
        {9, 3, 12, 5, 3, 3},          // 16-bit, loop end past the data
    };
    S3mBuilder s3m;
    for (const Case& c : cases) {
        S3mSample sample;
        sample.length = c.length;
        sample.loop_start = c.loop_start;
        sample.loop_end = c.loop_end;
        sample.flags = c.flags;
        sample.data.assign((c.flags & 4 ? 2 : 1) * c.length, 0x80);
        s3m.samples.push_back(sample);
    }
    S3mSample other;
    other.type = 2; // not a sample: stays empty
    other.length = 40;
    s3m.samples.push_back(other);
    const Bytes bytes = s3m.build();
    ScanResult scan = module_prescan(bytes.data(), bytes.size());
    Context ctx = load_ok(s3m);
    ASSERT_TRUE(ctx);
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(ctx->samples[i].length, cases[i].stored) << i;
        EXPECT_EQ(ctx->samples[i].loop_length, cases[i].loop) << i;
    }
    EXPECT_EQ(ctx->samples[std::size(cases)].length, 0u);
    // The loader stores exactly what the prescan reserved.
    EXPECT_EQ(ctx->total_sample_frames, scan.scan.total_sample_frames);
}

// Plain values, signed or unsigned; stereo samples (left frames, then right
// ones) as the mean of the two; 4-bit ADPCM, signed whatever the format says.
TEST(S3m, SampleDataSignedUnsignedStereoAndAdpcm) {
    struct Case {
        uint16_t format;
        uint8_t flags, packing;
        Bytes data;
        std::vector<int16_t> frames;
    };
    Bytes adpcm = xmwriter::encode_adpcm({1, 3, -1, 63, -65, 127, -128});
    const Case cases[] = {
        {2, 0, 0, {0x80, 0x00, 0xFF}, {0, -32768, 127 * 256}},
        {1, 0, 0, {0x80, 0x00, 0x7F}, {-32768, 0, 127 * 256}},
        {2, 4, 0, {0x00, 0x80, 0x00, 0x00, 0xFF, 0xFF}, {0, -32768, 32767}},
        {1, 4, 0, {0x00, 0x80, 0x01, 0x00, 0xFF, 0xFF}, {-32768, 1, -1}},
        {1, 2, 0, {0x10, 0xF0, 0x7F, 0x30, 0xF1, 0x80}, {0x20 * 256, -31 * 128, -1 * 128}},
        {2, 6, 0, {0, 0x90, 0xFF, 0xFF, 0, 0x70, 0, 0}, {0, -1}},
        {2, 0, 4, adpcm, {256, 3 * 256, -256, 63 * 256, -65 * 256, 127 * 256, -128 * 256}},
    };
    for (const Case& c : cases) {
        S3mBuilder s3m;
        s3m.sample_format = c.format;
        S3mSample sample;
        sample.length = static_cast<uint32_t>(c.frames.size());
        sample.flags = c.flags;
        sample.packing = c.packing;
        sample.data = c.data;
        s3m.samples.push_back(sample);
        Context ctx = load_ok(s3m);
        ASSERT_TRUE(ctx);
        ASSERT_EQ(ctx->total_sample_frames, c.frames.size());
        for (size_t f = 0; f < c.frames.size(); ++f)
            EXPECT_EQ(ctx->sample_data[f], c.frames[f])
                << c.format << "/" << int(c.flags) << " " << f;
    }
}

TEST(S3m, PrescanLimits) {
    S3mBuilder s3m;
    s3m.patterns.resize(257);
    EXPECT_FALSE(load(s3m.build()));
    s3m.patterns.resize(256);
    EXPECT_TRUE(load(s3m.build()));

    S3mBuilder big;
    S3mSample sample;
    sample.length = 0x100000; // one frame over the limit, declared only
    big.samples.push_back(sample);
    EXPECT_FALSE(load(big.build()));
    big.samples[0].flags = 4; // 16-bit lengths count frames as well
    EXPECT_FALSE(load(big.build()));
    big.samples[0].length = 0xFFFFF;
    EXPECT_TRUE(load(big.build()));

    for (uint8_t flags : {4, 2}) { // ADPCM exists for 8-bit mono data only
        S3mBuilder wide;
        S3mSample sample;
        sample.length = 4;
        sample.packing = 4;
        sample.flags = flags;
        wide.samples.push_back(sample);
        const char* error = nullptr;
        EXPECT_FALSE(load(wide.build(), &error));
        EXPECT_STREQ(error, "4-bit ADPCM sample marked 16-bit or stereo");
    }
}

TEST(S3m, MissingPatternAndSampleDataLoadEmpty) {
    S3mBuilder s3m;
    s3m.orders = {0, 1};
    s3m.patterns.resize(2);
    s3m.patterns[0] = {{0, 0, 0x40, 1}};
    s3m.patterns[1] = {{0, 0, 0x40, 1}};
    S3mSample sample;
    sample.length = 10;
    s3m.samples.push_back(sample);
    Bytes bytes = s3m.build();
    const size_t pattern_pointers = 96 + 2 + 2;
    bytes[pattern_pointers + 2] = bytes[pattern_pointers + 3] = 0; // pattern 1: no data
    const uint8_t title[] = {16, 0, 0x20, 0x40, 1}; // a song title that parses as a note
    std::memcpy(bytes.data(), title, sizeof title);
    const size_t sample_pointers = 96 + 2;
    bytes[sample_pointers] = 0xFF; // sample 0's header lies past the end
    bytes[sample_pointers + 1] = 0xFF;
    Context ctx = load(bytes);
    ASSERT_TRUE(ctx);
    EXPECT_EQ(slot(*ctx, 0, 0, 0).note, 49);
    EXPECT_EQ(slot(*ctx, 1, 0, 0).note, NOTE_NONE); // not the header read as pattern data
    EXPECT_EQ(ctx->patterns[1].row_count, 64);
    EXPECT_EQ(ctx->samples[0].length, 0u);
    EXPECT_EQ(ctx->total_sample_frames, 0u);
}
