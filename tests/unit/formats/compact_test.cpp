// SPDX-License-Identifier: GPL-2.0-or-later
// The compact reader and writer: stored layout, frame conversion, the checks
// that refuse damaged images, the clamps, and the load -> write -> load round
// trip for modules of every format the tests can build.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <functional>

#include "compact_writer.h"
#include "module_builders.h"
#include "module_check.h"
#include "quillrun/replayer.h"

using namespace replayer;
using namespace replayer::compact;
using namespace test_modules;

namespace {

// Section offsets of an image, read back from its header.
struct Sections {
    size_t patterns, slots, instruments, samples, data, orders;
    size_t pattern_stride, slot_stride, instrument_stride, sample_stride;
};

Sections sections_of(const Bytes& b) {
    Sections s{};
    const uint32_t rows = b[12] | b[13] << 8 | b[14] << 16;
    const uint32_t frames = b[16] | b[17] << 8 | b[18] << 16 | uint32_t{b[19]} << 24;
    s.pattern_stride = 8u * b[HEADER_PATTERN_STRIDE];
    s.slot_stride = 8u * b[HEADER_SLOT_STRIDE];
    s.instrument_stride = 8u * b[HEADER_INSTRUMENT_STRIDE];
    s.sample_stride = 8u * b[HEADER_SAMPLE_STRIDE];
    s.patterns = 8u * b[0];
    s.slots = s.patterns + (b[20] | b[21] << 8) * s.pattern_stride;
    s.instruments = s.slots + size_t{rows} * b[25] * s.slot_stride;
    s.samples = s.instruments + b[24] * s.instrument_stride;
    s.data = s.samples + (b[22] | b[23] << 8) * s.sample_stride;
    s.orders = s.data + 4u * frames;
    return s;
}

// A hand-made image: `channels` channels, one pattern of `rows` rows, one
// instrument, one sample holding `frames`, and `orders`.
Bytes hand_made(uint8_t channels, uint16_t rows, const std::vector<float>& frames,
                const std::vector<uint8_t>& orders, uint8_t slot_stride = 1) {
    Bytes b(64 + channels, 0);
    b.resize((b.size() + 7) & ~size_t{7}, 0);
    b[0] = static_cast<uint8_t>(b.size() / 8);
    std::copy(std::begin(MAGIC), std::end(MAGIC), b.begin() + HEADER_MAGIC);
    put16le(b, HEADER_SONG_LENGTH, static_cast<uint16_t>(orders.size()));
    put32le(b, HEADER_TOTAL_ROWS, rows);
    put32le(b, HEADER_TOTAL_FRAMES, static_cast<uint32_t>(frames.size()));
    put16le(b, HEADER_PATTERN_COUNT, 1);
    put16le(b, HEADER_SAMPLE_COUNT, 1);
    b[HEADER_INSTRUMENT_COUNT] = 1;
    b[HEADER_CHANNEL_COUNT] = channels;
    b[HEADER_SPEED] = 6;
    b[HEADER_BPM] = 125;
    b[HEADER_GLOBAL_VOLUME] = 64;
    b[HEADER_PATTERN_STRIDE] = 1;
    b[HEADER_SLOT_STRIDE] = slot_stride;
    b[HEADER_INSTRUMENT_STRIDE] = 38;
    b[HEADER_SAMPLE_STRIDE] = 3;
    for (int c = 0; c < channels; ++c) b[HEADER_PANNING + c] = static_cast<uint8_t>(c * 10);
    Bytes pattern(8, 0);
    put16le(pattern, PATTERN_ROW_COUNT, rows);
    b.insert(b.end(), pattern.begin(), pattern.end());
    for (uint32_t i = 0; i < uint32_t{rows} * channels; ++i) {
        Bytes slot(8u * slot_stride, 0xEE); // bytes past the five read are junk
        for (int k = 0; k < 5; ++k) slot[k] = static_cast<uint8_t>(i + k);
        slot[3] = 0; // keep effects plain so the clean-up pass leaves them
        b.insert(b.end(), slot.begin(), slot.end());
    }
    Bytes instrument(304, 0);
    for (int n = 0; n < 96; ++n) put16le(instrument, INSTRUMENT_SAMPLE_MAP + 2 * n, 0);
    b.insert(b.end(), instrument.begin(), instrument.end());
    Bytes sample(24, 0);
    put32le(sample, SAMPLE_LENGTH, static_cast<uint32_t>(frames.size()));
    sample[SAMPLE_VOLUME] = 64;
    b.insert(b.end(), sample.begin(), sample.end());
    for (float f : frames) {
        Bytes v(4);
        put32le(v, 0, std::bit_cast<uint32_t>(f));
        b.insert(b.end(), v.begin(), v.end());
    }
    for (uint8_t o : orders) {
        b.push_back(o);
        b.push_back(0x77); // not read
    }
    return b;
}

// A module with a bit of everything the S3M and MOD loaders fill.
Bytes sample_s3m() {
    S3mBuilder s3m;
    s3m.orders = {0, 1, 0};
    s3m.patterns.resize(2);
    s3m.patterns[0] = {{0, 0, 0x40, 1, 40},
                       {0, 1, 0x52, 2, -1, 4, 0x12},
                       {4, 2, 0x31, 1, -1, 19, 0xB0},
                       {8, 2, -1, 0, -1, 19, 0xB1},
                       {16, 3, 254, 0},
                       {20, 0, -1, 0, -1, 3, 0}};
    s3m.patterns[1] = {{0, 1, 0x60, 2, 64, 8, 0x44}, {63, 0, -1, 0, -1, 2, 0}};
    for (int k = 0; k < 2; ++k) {
        S3mSample sample;
        sample.length = 200;
        sample.loop_start = 50;
        sample.loop_end = 180;
        sample.flags = static_cast<uint8_t>(1 | (k ? 4 : 0));
        sample.c2_speed = k ? 22050 : 8363;
        for (int i = 0; i < 200; ++i) sample.data.push_back(static_cast<uint8_t>(i * 13));
        s3m.samples.push_back(sample);
    }
    return s3m.build();
}

Bytes sample_mod() {
    ModBuilder mod;
    mod.song_length = 2;
    mod.orders[1] = 1;
    mod.patterns = 2;
    mod.samples[0] = {300, 3, 50, 100, 50};
    mod.samples[1] = {200, 12, 64, 0, 0};
    mod.cell(0, 0, 0, {428, 1, 0xC, 0x30});
    mod.cell(0, 1, 1, {214, 2, 0x4, 0x48});
    mod.cell(1, 5, 3, {856, 1, 0xE, 0x62});
    mod.cell(1, 9, 2, {0, 0, 0xB, 0x01});
    return mod.build();
}

Bytes written(const Bytes& module) {
    Context ctx = load(module);
    EXPECT_TRUE(ctx);
    return ctx ? compact_writer::write_compact(*ctx) : Bytes{};
}

} // namespace

TEST(Compact, FramesFromFloats) {
    const float nan = std::nanf("");
    const std::vector<float> values = {-1.0f, 0.5f,  -0.00001f, 0.99999f, 1.0f,
                                       3.5f,  -2.0f, nan,       -INFINITY};
    const int16_t expected[] = {-32768, 16384, 0, 32767, 32767, 32767, -32768, 0, -32768};
    Context ctx = load(hand_made(1, 1, values, {0}));
    ASSERT_TRUE(ctx);
    for (size_t i = 0; i < values.size(); ++i) EXPECT_EQ(ctx->sample_data[i], expected[i]) << i;
}

TEST(Compact, StridesAndOrderEntries) {
    const Bytes image = hand_made(3, 4, {0.25f}, {0, 0, 0}, 1);
    Context ctx = load(image);
    ASSERT_TRUE(ctx);
    ASSERT_EQ(ctx->total_rows, 4u);
    for (uint32_t i = 0; i < 12; ++i) {
        EXPECT_EQ(ctx->slots[i].note, static_cast<uint8_t>(i)) << i;
        EXPECT_EQ(ctx->slots[i].parameter, static_cast<uint8_t>(i + 4)) << i;
    }
    EXPECT_EQ(ctx->channel_panning[2], 20);
    EXPECT_EQ(ctx->song_length, 3);

    // A wider slot stride moves everything after the slots along.
    Context wide = load(hand_made(3, 4, {0.25f}, {0, 0, 0}, 3));
    ASSERT_TRUE(wide);
    EXPECT_EQ(0, std::memcmp(wide->slots, ctx->slots, 12 * sizeof(PatternSlot)));
    EXPECT_EQ(wide->sample_data[0], 8192);
}

// Images from before 120 notes had their retrigger and instrument-only codes
// at 97..127 and 98.
TEST(Compact, OlderImagesKeepTheirNoteCodes) {
    const uint8_t notes[] = {96, 97, 98, 99, 127, 128};
    const uint8_t older[] = {
        96, NOTE_RETRIGGER, NOTE_INSTRUMENT_ONLY, NOTE_RETRIGGER, NOTE_RETRIGGER, NOTE_KEY_OFF};
    for (const bool notes_120 : {false, true}) {
        Bytes image = hand_made(1, 6, {0.25f}, {0});
        const Sections s = sections_of(image);
        for (int i = 0; i < 6; ++i) image[s.slots + i * s.slot_stride] = notes[i];
        if (notes_120) put16le(image, HEADER_FLAGS, FLAG_NOTES_120);
        Context ctx = load(image);
        ASSERT_TRUE(ctx);
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(ctx->slots[i].note, notes_120 ? notes[i] : older[i]) << i;
    }
}

TEST(Compact, SongLengthAboveTheOrderTableIsClamped) {
    Context ctx = load(hand_made(1, 1, {}, std::vector<uint8_t>(300, 0)));
    ASSERT_TRUE(ctx);
    EXPECT_EQ(ctx->song_length, 256);
}

TEST(Compact, RefusesDamagedImages) {
    const Bytes base = written(sample_s3m());
    const Sections s = sections_of(base);
    const size_t volume_envelope = s.instruments + INSTRUMENT_VOLUME_ENVELOPE;
    struct Case {
        const char* what;
        std::function<void(Bytes&)> damage;
    };
    const Case cases[] = {
        {"header byte 1", [](Bytes& b) { b[HEADER_RESERVED] = 1; }},
        {"too many rows", [](Bytes& b) { put32le(b, HEADER_TOTAL_ROWS, 0x1000000); }},
        {"pattern of 0 rows", [&](Bytes& b) { put16le(b, s.patterns + PATTERN_ROW_COUNT, 0); }},
        {"pattern of 257 rows", [&](Bytes& b) { put16le(b, s.patterns + PATTERN_ROW_COUNT, 257); }},
        {"pattern past the rows",
         [&](Bytes& b) { put16le(b, s.patterns + PATTERN_FIRST_ROW, 65); }},
        {"sample past the data",
         [&](Bytes& b) {
             put32le(b, s.samples + s.sample_stride + SAMPLE_DATA_INDEX, 0xFFFFFFF0);
         }},
        {"sample longer than the data",
         [&](Bytes& b) { put32le(b, s.samples + SAMPLE_LENGTH, 100000); }},
        {"loop longer than the sample",
         [&](Bytes& b) { put32le(b, s.samples + SAMPLE_LOOP_LENGTH, 1000); }},
        {"envelope of 13 points", [&](Bytes& b) { b[volume_envelope + ENVELOPE_COUNT] = 13; }},
        {"envelope frames not increasing",
         [&](Bytes& b) { b[volume_envelope + ENVELOPE_COUNT] = 2; }}, // both frames 0
        {"sustain past the points",
         [&](Bytes& b) {
             b[volume_envelope + 4] = 10;
             b[volume_envelope + ENVELOPE_COUNT] = 2;
             b[volume_envelope + ENVELOPE_SUSTAIN] = 2;
         }},
        {"loop end past the points",
         [&](Bytes& b) {
             b[volume_envelope + 4] = 10;
             b[volume_envelope + ENVELOPE_COUNT] = 2;
             b[volume_envelope + ENVELOPE_SUSTAIN] = 128;
             b[volume_envelope + ENVELOPE_LOOP_END] = 2;
         }},
        {"switched-off envelope with a loop",
         [&](Bytes& b) { b[volume_envelope + ENVELOPE_LOOP_END] = 1; }},
        {"order naming no pattern", [&](Bytes& b) { b[s.orders + 2] = 2; }},
        {"sections wrapping",
         [](Bytes& b) {
             put32le(b, HEADER_TOTAL_ROWS, 0x100000); // 4 Mi slots of 2040 bytes
             b[HEADER_SLOT_STRIDE] = 255;
         }},
        {"sections inside the header", [](Bytes& b) { b[HEADER_FIRST_SECTION] = 1; }},
        {"instrument stride too small", [](Bytes& b) { b[HEADER_INSTRUMENT_STRIDE] = 37; }},
    };
    ASSERT_TRUE(load(base));
    for (const Case& c : cases) {
        Bytes image = base;
        c.damage(image);
        const char* error = nullptr;
        EXPECT_FALSE(load(image, &error)) << c.what;
        EXPECT_NE(error, nullptr) << c.what;
    }
    // The envelope rules accept what they should: a sustained, looped envelope.
    Bytes image = base;
    const uint8_t envelope_tail[] = {3, 1, 0, 2};
    for (int p = 0; p < 3; ++p) image[volume_envelope + 4 * p] = static_cast<uint8_t>(5 * p);
    std::memcpy(&image[volume_envelope + ENVELOPE_COUNT], envelope_tail, 4);
    EXPECT_TRUE(load(image));
}

TEST(Compact, ClampsValuesToTheLoadersRanges) {
    Bytes image = written(sample_s3m());
    const Sections s = sections_of(image);
    image[HEADER_RESTART] = 3; // song length 3
    image[HEADER_GLOBAL_VOLUME] = 200;
    image[HEADER_BPM] = 0;
    image[s.samples + SAMPLE_VOLUME] = 100;
    image[s.samples + SAMPLE_FINETUNE] = static_cast<uint8_t>(-100);
    image[s.samples + s.sample_stride + SAMPLE_FINETUNE] = 100;
    image[s.instruments + 2] = 99; // first volume-envelope point value
    const size_t slot = s.slots + 5 * s.slot_stride;
    const uint8_t effects[][2] = {{EFFECT_PATTERN_DELAY, 0x20},
                                  {EFFECT_FINE_PORTA_UP, 0x35},
                                  {EFFECT_FINE_VOLUME_SLIDE_DOWN, 0xF2},
                                  {EFFECT_SET_FINETUNE, 0xF7}};
    for (int i = 0; i < 4; ++i) {
        image[slot + i * s.slot_stride + 3] = effects[i][0];
        image[slot + i * s.slot_stride + 4] = effects[i][1];
    }
    Context ctx = load(image);
    ASSERT_TRUE(ctx);
    EXPECT_EQ(ctx->restart_position, 0);
    EXPECT_EQ(ctx->default_global_volume, 64);
    EXPECT_EQ(ctx->default_bpm, 125);
    EXPECT_EQ(sample_volume(ctx->samples[0]), 64);
    EXPECT_EQ(ctx->samples[0].finetune, -16);
    EXPECT_EQ(ctx->samples[1].finetune, 15);
    EXPECT_EQ(ctx->instruments[0].volume_envelope.points[0].value, 64);
    const uint8_t parameters[] = {15, 5, 2, 7};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(ctx->slots[5 + i].parameter, parameters[i]) << i;
}

TEST(Compact, RoundTripKeepsEveryRecordAndTheSound) {
    struct Case {
        const char* what;
        Bytes module;
    };
    ModBuilder flt8;
    flt8.signature = "FLT8";
    flt8.patterns = 4;
    flt8.orders[1] = 2;
    flt8.song_length = 2;
    flt8.cell(1, 3, 2, {300, 1, 0x9, 0x02});
    const Case cases[] = {{"s3m", sample_s3m()}, {"mod", sample_mod()}, {"flt8", flt8.build()}};
    for (const Case& c : cases) {
        Context direct = load(c.module);
        ASSERT_TRUE(direct) << c.what;
        const Bytes image = compact_writer::write_compact(*direct);
        const char* error = nullptr;
        Context again = load(image, &error);
        ASSERT_TRUE(again) << c.what << ": " << (error ? error : "");
        expect_same_module(*direct, *again);
        EXPECT_EQ(compact_writer::write_compact(*again), image) << c.what;
        constexpr uint32_t FRAMES = 2 * OUTPUT_SAMPLE_RATE;
        EXPECT_EQ(render(*direct, FRAMES), render(*again, FRAMES)) << c.what;
    }
}
