// SPDX-License-Identifier: GPL-2.0-or-later
// MOD loading through the public loader: signatures, paired FLT8 patterns,
// notes, samples and effect clean-ups.
#include <gtest/gtest.h>

#include "module_builders.h"
#include "module_check.h"

using namespace replayer;
using namespace test_modules;

namespace {

const PatternSlot& slot(const ReplayContext& ctx, int pattern, int row, int channel) {
    return ctx.slots[(ctx.patterns[pattern].first_row + row) * ctx.channel_count + channel];
}

} // namespace

TEST(Mod, SignaturesGiveChannelsOrAreRefused) {
    struct Case {
        const char* signature;
        int channels; // 0: refused
        ModuleFormat format;
    };
    const Case cases[] = {
        {"M.K.", 4, FORMAT_MOD},      {"M!K!", 4, FORMAT_MOD},  {"FLT4", 4, FORMAT_MOD},
        {"OCTA", 8, FORMAT_MOD},      {"OKTA", 8, FORMAT_MOD},  {"CD81", 8, FORMAT_MOD},
        {"FLT8", 8, FORMAT_MOD_FLT8}, {"3CHN", 3, FORMAT_MOD},  {"16CH", 16, FORMAT_MOD},
        {"16CN", 16, FORMAT_MOD},     {"99CH", 99, FORMAT_MOD}, {"TDZ4", 4, FORMAT_MOD},
        {"0CHN", 0, FORMAT_MOD},      {"TDZ0", 0, FORMAT_MOD},  {"M.K ", 0, FORMAT_MOD},
        {"1ACH", 0, FORMAT_MOD},      {"M&K!", 4, FORMAT_MOD},  {"FA04", 4, FORMAT_MOD},
        {"FA06", 6, FORMAT_MOD},      {"FA08", 8, FORMAT_MOD},  {"CD61", 6, FORMAT_MOD},
        {"M.K.", 8, FORMAT_MOD}, // sized for 8 channels: see the next test
    };
    for (const Case& c : cases) {
        ModBuilder mod;
        mod.signature = c.signature;
        mod.channels = c.channels ? c.channels : 4;
        const Bytes bytes = mod.build();
        ScanResult scan = module_prescan(bytes.data(), bytes.size());
        if (c.channels == 0) {
            EXPECT_NE(scan.error, nullptr) << c.signature;
            continue;
        }
        ASSERT_EQ(scan.error, nullptr) << c.signature;
        EXPECT_EQ(scan.scan.channel_count, c.channels) << c.signature;
        EXPECT_EQ(scan.scan.format, c.format) << c.signature;
        EXPECT_NE(load(bytes), nullptr) << c.signature;
    }
}

// "M.K." modules sized for 8-channel patterns are 8-channel modules when they
// carry every mark of the trackers that wrote them so; otherwise 4 channels.
TEST(Mod, EightChannelsUnderTheFourChannelTag) {
    struct Case {
        const char* what;
        int extra_bytes;
        uint8_t restart, finetune, volume;
        int channels;
    };
    const Case cases[] = {
        {"sized for 8 channels to the byte", 0, 0, 0, 64, 8},
        {"one byte more", 1, 0, 0, 64, 8},
        {"two bytes more", 2, 0, 0, 64, 4},
        {"one byte less", -1, 0, 0, 64, 4},
        {"a restart byte", 0, 0x7F, 0, 64, 4},
        {"a sample with a finetune", 0, 0, 3, 64, 4},
        {"a sample below full volume", 0, 0, 0, 48, 4},
    };
    for (const Case& c : cases) {
        ModBuilder mod;
        mod.channels = 8;
        mod.patterns = 2;
        mod.orders[1] = 1;
        mod.restart = c.restart;
        mod.samples[0] = {100, c.finetune, c.volume, 0, 0};
        mod.samples[1] = {10, 0, 64, 0, 0};
        mod.samples[2] = {0, 0, 12, 0, 0}; // no data: its volume does not count
        mod.cell(1, 63, 7, {428, 1, 0, 0});
        Bytes bytes = mod.build();
        bytes.resize(bytes.size() + c.extra_bytes);
        const char* error = nullptr;
        Context ctx = load(bytes, &error);
        ASSERT_TRUE(ctx) << c.what << ": " << error;
        EXPECT_EQ(ctx->channel_count, c.channels) << c.what;
        if (c.channels == 8) {
            EXPECT_EQ(slot(*ctx, 1, 63, 7).note, 49) << c.what;
        }
    }
}

// The oldest layout (15 samples, no signature) is taken only on the evidence
// its trackers left, with what real files hold beside it (any bytes in names,
// leftovers in an empty sample's loop, orders past the song naming patterns
// the file lacks, a last sample cut short); a file that fails any check is no
// module, one cut short before its last sample a module cut short.
TEST(Mod, FifteenSamplesOnlyWhenEveryFieldFits) {
    using Edit = void (*)(ModBuilder&);
    using Cut = void (*)(Bytes&);
    struct Case {
        const char* what;
        Edit edit;
        Cut cut; // on the built bytes
        bool recognised;
        const char* refusal = "unrecognised module format";
    };
    const Case cases[] = {
        {"a module cut down to 15 samples", nullptr, nullptr, true},
        {"a sample name with a control byte", nullptr, [](Bytes& b) { b[20 + 3] = 0x01; }, true},
        {"a title byte above ASCII", nullptr, [](Bytes& b) { b[2] = 0xE9; }, true},
        {"an empty sample with loop fields",
         [](ModBuilder& m) {
             m.samples[5] = {0, 0, 0, 300, 7};
         },
         nullptr, true},
        {"an order past the song naming a pattern not stored",
         [](ModBuilder& m) { m.orders[7] = 40; }, nullptr, true},
        {"one byte short of its last sample", nullptr, [](Bytes& b) { b.pop_back(); }, true},
        {"byte 471 holding 1", [](ModBuilder& m) { m.restart = 1; }, nullptr, true},
        {"volume 65", [](ModBuilder& m) { m.samples[1].volume = 65; }, nullptr, false},
        {"a finetune", [](ModBuilder& m) { m.samples[0].finetune = 1; }, nullptr, false},
        {"a sample over 64 KiB", [](ModBuilder& m) { m.samples[14].length_words = 0x8001; },
         nullptr, false},
        {"a loop starting past the sample",
         [](ModBuilder& m) { m.samples[1].loop_start_words = 2 * 20 + 1; }, nullptr, false},
        {"song length 0", [](ModBuilder& m) { m.song_length = 0; }, nullptr, false},
        {"song length 129", [](ModBuilder& m) { m.song_length = 129; }, nullptr, false},
        {"an order naming pattern 64 in the song",
         [](ModBuilder& m) {
             m.orders[1] = 64;
             m.patterns = 65; // stored, so that the file is long enough
         },
         nullptr, false},
        {"a cell naming sample 16",
         [](ModBuilder& m) {
             m.cell(1, 5, 2, {428, 16, 0, 0});
         },
         nullptr, false},
        {"no sample data", [](ModBuilder& m) { m.samples[0] = m.samples[1] = ModSample{}; },
         nullptr, false},
        {"cut short before its last sample", nullptr, [](Bytes& b) { b.resize(b.size() - 41); },
         false, "15-sample module shorter than its patterns and samples"},
    };
    for (const Case& c : cases) {
        ModBuilder mod = fifteen_sample_module();
        if (c.edit) c.edit(mod);
        Bytes bytes = mod.build();
        if (c.cut) c.cut(bytes);
        const char* error = nullptr;
        Context ctx = load(bytes, &error);
        if (!c.recognised) {
            EXPECT_FALSE(ctx) << c.what;
            if (!ctx) {
                EXPECT_STREQ(error, c.refusal) << c.what;
            }
            continue;
        }
        ASSERT_TRUE(ctx) << c.what << ": " << error;
        const ScanResult scan = module_prescan(bytes.data(), bytes.size());
        EXPECT_EQ(scan.scan.format, FORMAT_MOD_15);
        EXPECT_EQ(ctx->channel_count, 4);
        EXPECT_EQ(ctx->sample_count, 15);
        EXPECT_EQ(ctx->pattern_count, 2);
        EXPECT_EQ(slot(*ctx, 0, 0, 0).note, 49);
        EXPECT_EQ(slot(*ctx, 0, 0, 0).effect, EFFECT_SET_VOLUME);
        EXPECT_EQ(slot(*ctx, 1, 63, 3).note, 61);
        // The looped sample keeps its loop alone, from byte 10 to byte 30.
        EXPECT_EQ(ctx->samples[1].length, 20u);
        EXPECT_EQ(ctx->samples[1].loop_length, 20u);
        // Sample data follows the two patterns; the ramp restarts per sample.
        EXPECT_EQ(ctx->sample_data[ctx->samples[1].data_index + 1], 11 * 7 * 256);
        EXPECT_EQ(ctx->restart_position, 0);
        // Those trackers had no tempo command.
        EXPECT_EQ(slot(*ctx, 1, 0, 1).effect, EFFECT_SET_SPEED);
        EXPECT_EQ(slot(*ctx, 1, 0, 1).parameter, 0x7D);
        EXPECT_EQ(check_context(*ctx), "");
    }
}

TEST(Mod, Flt8PairsPatternsAndHalvesOrders) {
    ModBuilder mod;
    mod.signature = "FLT8";
    mod.channels = 4; // the file holds 4-channel patterns
    mod.patterns = 10;
    mod.song_length = 3;
    mod.orders[0] = 0;
    mod.orders[1] = 8;
    mod.orders[2] = 9;                  // odd: names the second half of pair 4
    mod.cell(0, 0, 2, {428, 1, 0, 0});  // first half, row 0
    mod.cell(1, 0, 3, {214, 2, 0, 0});  // second half, row 0
    mod.cell(1, 63, 0, {856, 3, 0, 0}); // second half, last row
    const Bytes bytes = mod.build();

    ScanResult scan = module_prescan(bytes.data(), bytes.size());
    ASSERT_EQ(scan.error, nullptr);
    EXPECT_EQ(scan.scan.pattern_count, 5);
    EXPECT_EQ(scan.scan.channel_count, 8);
    Context ctx = load(bytes);
    ASSERT_TRUE(ctx);
    EXPECT_EQ(slot(*ctx, 0, 0, 2).note, 49);
    EXPECT_EQ(slot(*ctx, 0, 0, 7).note, 61);
    EXPECT_EQ(slot(*ctx, 0, 63, 4).note, 37);
    EXPECT_EQ(slot(*ctx, 0, 0, 3).note, NOTE_NONE);
    const uint8_t halved[] = {0, 4, 4};
    EXPECT_EQ(0, std::memcmp(ctx->order_table, halved, 3));
}

TEST(Mod, NotesFromPeriods) {
    struct Case {
        uint16_t period;
        uint8_t instrument;
        uint8_t note;
    };
    const Case cases[] = {
        {856, 0, 37},      {428, 1, 49}, {214, 0, 61}, {113, 0, 72}, {0, 3, NOTE_INSTRUMENT_ONLY},
        {0, 0, NOTE_NONE}, {4095, 0, 10}};
    ModBuilder mod;
    for (int i = 0; i < 7; ++i) mod.cell(0, i, 0, {cases[i].period, cases[i].instrument, 0, 0});
    Context ctx = load(mod.build());
    ASSERT_TRUE(ctx);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(slot(*ctx, 0, i, 0).note, cases[i].note) << cases[i].period;
        EXPECT_EQ(slot(*ctx, 0, i, 0).instrument, cases[i].instrument);
    }
}

TEST(Mod, SampleLoopsInWordsAndFinetune) {
    struct Case {
        ModSample header;
        uint32_t stored, loop;
        int8_t finetune;
    };
    const Case cases[] = {
        {{15, 0, 64, 10, 20}, 20, 20, 0},  // loop runs past the data: ends at loop start
        {{40, 7, 64, 10, 20}, 60, 40, 14}, // data beyond the loop end is dropped
        {{5, 8, 64, 10, 20}, 10, 10, -16}, // loop starts past the data
        {{40, 15, 64, 10, 1}, 80, 0, -2},  // a one-word loop is no loop
        {{40, 16, 64, 0, 0}, 80, 0, -16},  // finetune byte above 15
        {{40, 0, 64, 0, 41}, 80, 80, 0},   // loop from 0 past the data: all of it loops
    };
    constexpr int COUNT = sizeof cases / sizeof cases[0];
    ModBuilder mod;
    for (int i = 0; i < COUNT; ++i) mod.samples[i] = cases[i].header;
    mod.samples[COUNT] = {3, 0, 90, 0, 0}; // volume above 64
    Context ctx = load(mod.build());
    ASSERT_TRUE(ctx);
    uint32_t index = 0;
    for (int i = 0; i < COUNT; ++i) {
        const SampleRecord& s = ctx->samples[i];
        EXPECT_EQ(s.length, cases[i].stored) << i;
        EXPECT_EQ(s.loop_length, cases[i].loop) << i;
        EXPECT_EQ(s.finetune, cases[i].finetune) << i;
        EXPECT_EQ(s.data_index, index) << i;
        index += s.length;
    }
    EXPECT_EQ(sample_volume(ctx->samples[COUNT]), 64);
    // Sample data is read from each sample's full length; the ramp restarts
    // for every sample, so the first frame of sample 2 is byte 0 again.
    EXPECT_EQ(ctx->sample_data[ctx->samples[2].data_index + 1], 7 * 256);
}

TEST(Mod, EffectCleanUps) {
    struct Case {
        uint8_t effect, parameter;
        uint8_t code, code_parameter;
    };
    const Case cases[] = {
        {0xA, 0x00, EFFECT_ARPEGGIO, 0},
        {0x1, 0x00, EFFECT_ARPEGGIO, 0},
        {0x5, 0x00, EFFECT_TONE_PORTA, 0},
        {0x6, 0x00, EFFECT_VIBRATO, 0},
        {0x8, 0x80, EFFECT_SET_CHANNEL_PANNING, 0x80},
        {0xE, 0x5F, EFFECT_SET_FINETUNE, 7},
        {0xE, 0x83, EFFECT_SET_CHANNEL_PANNING, 51},
        {0xE, 0x10, EFFECT_ARPEGGIO, 0},
        {0xE, 0xA0, EFFECT_ARPEGGIO, 0},
        {0xA, 0x04, EFFECT_VOLUME_SLIDE, 4},
        {0xD, 0x25, EFFECT_PATTERN_BREAK, 25},
        {0xF, 0x1F, EFFECT_SET_SPEED, 31},
        {0xC, 0x50, EFFECT_SET_VOLUME, 64},
    };
    ModBuilder mod;
    for (int i = 0; i < 13; ++i) mod.cell(0, i, 1, {0, 0, cases[i].effect, cases[i].parameter});
    Context ctx = load(mod.build());
    ASSERT_TRUE(ctx);
    for (int i = 0; i < 13; ++i) {
        EXPECT_EQ(slot(*ctx, 0, i, 1).effect, cases[i].code) << i;
        EXPECT_EQ(slot(*ctx, 0, i, 1).parameter, cases[i].code_parameter) << i;
    }
}

// Fxx from 0x20 up is a tempo, except in a 4-channel "M.K." song that reads
// as a tracker's without tempo: a pass of 8 minutes or more with them as
// tempo, shorter with them as speed, and no row setting both.
TEST(Mod, FxxFromTwentyIsSpeedOnlyWhereTheSongWasWrittenSo) {
    using Edit = void (*)(ModBuilder&);
    struct Case {
        const char* what;
        Edit edit;
        uint8_t code;
    };
    const Case cases[] = {
        {"speed 31 then F20, 10 minutes as tempo, under 3 as speed", nullptr, EFFECT_SET_SPEED},
        {"the same under M!K!", [](ModBuilder& m) { m.signature = "M!K!"; }, EFFECT_SET_BPM},
        {"F20 on the row of F1F",
         [](ModBuilder& m) {
             m.cell(0, 0, 2, {0, 0, 0xF, 0x20});
         },
         EFFECT_SET_BPM},
        {"three orders: under 8 minutes", [](ModBuilder& m) { m.song_length = 3; }, EFFECT_SET_BPM},
        {"F40 alone, longer still as speed",
         [](ModBuilder& m) {
             m.cell(0, 0, 1, {});
             m.cell(0, 1, 1, {0, 0, 0xF, 0x40});
             m.song_length = 100;
         },
         EFFECT_SET_BPM},
    };
    for (const Case& c : cases) {
        ModBuilder mod;
        mod.song_length = 4;
        mod.cell(0, 0, 0, {428, 1, 0, 0});
        mod.cell(0, 0, 1, {0, 0, 0xF, 0x1F});
        mod.cell(0, 1, 1, {0, 0, 0xF, 0x20});
        mod.samples[0] = {1000, 0, 64, 0, 1};
        if (c.edit) c.edit(mod);
        Context ctx = load(mod.build());
        ASSERT_TRUE(ctx) << c.what;
        EXPECT_EQ(slot(*ctx, 0, 1, 1).effect, c.code) << c.what;
    }
}

TEST(Mod, HeaderValuesAndChannelPanning) {
    ModBuilder mod;
    mod.signature = "8CHN";
    mod.channels = 8;
    mod.song_length = 200; // more than the 128 order entries
    mod.restart = 127;
    mod.orders[5] = 2;
    mod.patterns = 3;
    Context ctx = load(mod.build());
    ASSERT_TRUE(ctx);
    EXPECT_EQ(ctx->song_length, 128);
    EXPECT_EQ(ctx->restart_position, 127);
    EXPECT_EQ(ctx->pattern_count, 3);
    EXPECT_EQ(ctx->default_speed, 6);
    EXPECT_EQ(ctx->default_bpm, 125);
    EXPECT_EQ(ctx->amiga_periods, 1);
    const uint8_t panning[] = {1, 255, 255, 1, 1, 255, 255, 1};
    EXPECT_EQ(0, std::memcmp(ctx->channel_panning, panning, 8));

    mod.song_length = 4; // restart at or past the song length plays from the start
    ctx = load(mod.build());
    ASSERT_TRUE(ctx);
    EXPECT_EQ(ctx->restart_position, 0);
}

TEST(Mod, RefusesModulesShorterThanTheirSamples) {
    ModBuilder mod;
    mod.samples[0].length_words = 100;
    Bytes bytes = mod.build();
    bytes.resize(1084 + 199); // patterns dropped too, but the sample check alone fails it
    const char* error = nullptr;
    EXPECT_EQ(load(bytes, &error), nullptr);
    bytes.resize(1084 + 200);
    EXPECT_NE(load(bytes), nullptr); // the missing pattern bytes read as zero
}
