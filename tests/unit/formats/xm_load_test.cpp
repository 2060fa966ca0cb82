// SPDX-License-Identifier: GPL-2.0-or-later
// What the XM loader puts into the context: slots in the engine's numbering,
// pattern records, instruments, envelopes, samples and header values.
#include <gtest/gtest.h>

#include "module_builders.h"
#include "module_check.h"

using namespace test_modules;
using replayer::PatternSlot;

namespace {

struct SlotCase {
    const char* name;
    xmwriter::Cell raw;
    PatternSlot expected;
};

// Letters of XM effects beyond F.
constexpr uint8_t G = 16, H = 17, J = 19, K = 20, L = 21, P = 25, R = 27, T = 29, X = 33, Y = 34;

const SlotCase SLOT_CASES[] = {
    {"note 97 is key off", {97, 0, 0, 0, 0}, {128, 0, 0, 0, 0}},
    {"notes 98..127 are no note", {98, 1, 0, 0, 0}, {0, 1, 0, 0, 0}},
    {"note 127 is no note", {127, 0, 0x20, 0, 0}, {0, 0, 0x20, 0, 0}},
    {"notes 128..255 are key-offs", {200, 0, 0, 0, 0}, {128, 0, 0, 0, 0}},
    {"notes and instruments are kept", {49, 3, 0x40, 0, 0}, {49, 3, 0x40, 0, 0}},
    {"K00 becomes a key-off note", {49, 1, 0, K, 0}, {128, 1, 0, 0, 0}},
    {"K05 stays a key-off at tick 5", {49, 1, 0, K, 5}, {49, 1, 0, 20, 5}},
    {"E3y is glissando on", {0, 0, 0, 0xE, 0x37}, {0, 0, 0, 35, 1}},
    {"E47 keeps phase, random becomes square", {0, 0, 0, 0xE, 0x47}, {0, 0, 0, 36, 0x82}},
    {"E73 random tremolo becomes square", {0, 0, 0, 0xE, 0x73}, {0, 0, 0, 39, 0x02}},
    {"E05 is dropped", {0, 0, 0, 0xE, 0x05}, {0, 0, 0, 0, 0}},
    {"EF3 is dropped", {0, 0, 0, 0xE, 0xF3}, {0, 0, 0, 0, 0}},
    {"E8y is channel panning", {0, 0, 0, 0xE, 0x8F}, {0, 0, 0, 40, 255}},
    {"D25 breaks to row 25", {0, 0, 0, 0xD, 0x25}, {0, 0, 0, 13, 25}},
    {"F1F sets speed 31", {0, 0, 0, 0xF, 0x1F}, {0, 0, 0, 14, 31}},
    {"F20 sets BPM 32", {0, 0, 0, 0xF, 0x20}, {0, 0, 0, 15, 32}},
    {"F00 jumps to the restart position", {0, 0, 0, 0xF, 0x00}, {0, 0, 0, 11, 1}},
    {"X15 is extra-fine porta up", {0, 0, 0, X, 0x15}, {0, 0, 0, 18, 5}},
    {"X25 is extra-fine porta down", {0, 0, 0, X, 0x25}, {0, 0, 0, 19, 5}},
    {"X35 is dropped", {0, 0, 0, X, 0x35}, {0, 0, 0, 0, 0}},
    {"Jxx is dropped", {0, 0, 0, J, 0x12}, {0, 0, 0, 0, 0}},
    {"Yxx is dropped", {0, 0, 0, Y, 0x12}, {0, 0, 0, 0, 0}},
    {"Hxy kept", {0, 0, 0, H, 0x21}, {0, 0, 0, 17, 0x21}},
    {"Lxx kept", {0, 0, 0, L, 0x10}, {0, 0, 0, 21, 0x10}},
    {"Pxy kept", {0, 0, 0, P, 0x0F}, {0, 0, 0, 25, 0x0F}},
    {"Rxy kept", {0, 0, 0, R, 0x43}, {0, 0, 0, 27, 0x43}},
    {"Txy kept", {0, 0, 0, T, 0x23}, {0, 0, 0, 29, 0x23}},
    {"G70 is cut to 64", {0, 0, 0, G, 0x70}, {0, 0, 0, 16, 64}},
    {"C50 is cut to 64", {0, 0, 0, 0xC, 0x50}, {0, 0, 0, 12, 64}},
    {"EC0 becomes volume 0", {0, 0, 0, 0xE, 0xC0}, {0, 0, 0, 12, 0}},
    {"ED0 is dropped", {49, 0, 0, 0xE, 0xD0}, {49, 0, 0, 0, 0}},
    {"E90 without a note retriggers", {0, 0, 0, 0xE, 0x90}, {replayer::NOTE_RETRIGGER, 0, 0, 0, 0}},
    {"E90 with a note keeps the note", {50, 0, 0, 0xE, 0x90}, {50, 0, 0, 0, 0}},
    {"B past the song length jumps to 0", {0, 0, 0, 0xB, 0x05}, {0, 0, 0, 11, 0}},
    {"B within the song is kept", {0, 0, 0, 0xB, 0x01}, {0, 0, 0, 11, 1}},
    {"volume column A0 is emptied", {0, 0, 0xA0, 0, 0}, {0, 0, 0, 0, 0}},
    {"arpeggio is kept", {0, 0, 0, 0, 0x37}, {0, 0, 0, 0, 0x37}},
};

// One channel, one row per case, song length 2 with restart position 1.
xmwriter::Module slot_case_module() {
    xmwriter::Module m = small_module();
    m.orders = {0, 0};
    m.restart = 1;
    m.patterns[0].rows = std::size(SLOT_CASES);
    m.patterns[0].cells.clear();
    for (const SlotCase& c : SLOT_CASES) m.patterns[0].cells.push_back(c.raw);
    return m;
}

const PatternSlot& slot(const replayer::ReplayContext& ctx, int pattern, int row, int channel) {
    const replayer::PatternRecord& p = ctx.patterns[pattern];
    return ctx.slots[(p.first_row + row) * ctx.channel_count + channel];
}

} // namespace

TEST(XmLoad, SlotsInTheEngineNumbering) {
    Loaded loaded(xmwriter::write_xm(slot_case_module()));
    ASSERT_NE(loaded.result.context, nullptr) << loaded.result.error;
    for (size_t i = 0; i < std::size(SLOT_CASES); ++i) {
        const SlotCase& c = SLOT_CASES[i];
        SCOPED_TRACE(c.name);
        const PatternSlot& s = slot(loaded.ctx(), 0, static_cast<int>(i), 0);
        EXPECT_EQ(s.note, c.expected.note);
        EXPECT_EQ(s.instrument, c.expected.instrument);
        EXPECT_EQ(s.volume, c.expected.volume);
        EXPECT_EQ(s.effect, c.expected.effect);
        EXPECT_EQ(s.parameter, c.expected.parameter);
    }
}

// Packed bytes: 0x80 is an empty slot of one byte, 0x98 carries effect and
// parameter only; data that ends early leaves the rest empty, and data longer
// than the pattern never spills into the next one.
TEST(XmLoad, PackedDataIsBoundedByPatternAndData) {
    xmwriter::Module m = small_module();
    m.channels = 2;
    m.patterns[0].rows = 2;
    m.patterns[0].packed = std::vector<uint8_t>{0x80, 0x98, 0x0C, 0x20, 0x81, 0x31, 0x82,
                                                0x05, 0x83, 0x30, 0x01, 0x81, 0x40};
    xmwriter::Pattern short_data;
    short_data.rows = 2;
    short_data.packed = std::vector<uint8_t>{0x83, 0x31}; // instrument byte missing
    m.patterns.push_back(short_data);
    Loaded loaded(xmwriter::write_xm(m));
    ASSERT_NE(loaded.result.context, nullptr) << loaded.result.error;
    const auto& ctx = loaded.ctx();
    const PatternSlot expected[2][2][2] = {
        {{{0, 0, 0, 0, 0}, {0, 0, 0, 12, 0x20}}, {{0x31, 0, 0, 0, 0}, {0, 5, 0, 0, 0}}},
        {{{0x31, 0, 0, 0, 0}, {0, 0, 0, 0, 0}}, {{0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}}},
    };
    for (int p = 0; p < 2; ++p)
        for (int r = 0; r < 2; ++r)
            for (int c = 0; c < 2; ++c) {
                SCOPED_TRACE(testing::Message() << "pattern " << p << " row " << r << " ch " << c);
                const PatternSlot& s = slot(ctx, p, r, c);
                const PatternSlot& e = expected[p][r][c];
                EXPECT_EQ(s.note, e.note);
                EXPECT_EQ(s.instrument, e.instrument);
                EXPECT_EQ(s.effect, e.effect);
                EXPECT_EQ(s.parameter, e.parameter);
            }
}

// Patterns lie one after another; an empty one (or one of 0 rows) has 64 rows;
// orders naming missing patterns all play one added empty pattern.
TEST(XmLoad, PatternRecordsAndAddedPattern) {
    xmwriter::Module m = small_module();
    m.patterns.clear();
    const uint16_t rows[] = {8, 32, 16, 0};
    for (uint16_t r : rows) {
        xmwriter::Pattern p;
        p.rows = r;
        p.cells.assign(r ? r : 1, xmwriter::Cell{49, 1, 0, 0, 0});
        m.patterns.push_back(p);
    }
    xmwriter::Pattern empty;
    empty.rows = 8; // no packed data: 64 rows whatever the header says
    m.patterns.push_back(empty);
    for (int i = 5; i < 10; ++i) m.patterns.push_back(empty);
    m.orders = {0, 12, 1, 200, 9, 4};
    Loaded loaded(xmwriter::write_xm(m));
    ASSERT_NE(loaded.result.context, nullptr) << loaded.result.error;
    const auto& ctx = loaded.ctx();
    ASSERT_EQ(ctx.pattern_count, 11);
    const uint16_t first[] = {0, 8, 40, 56, 120, 184};
    const uint16_t count[] = {8, 32, 16, 64, 64, 64};
    for (int j = 0; j < 6; ++j) {
        EXPECT_EQ(ctx.patterns[j].first_row, first[j]) << j;
        EXPECT_EQ(ctx.patterns[j].row_count, count[j]) << j;
    }
    EXPECT_EQ(ctx.patterns[10].first_row, 120 + 6 * 64);
    EXPECT_EQ(ctx.patterns[10].row_count, 64);
    EXPECT_EQ(ctx.total_rows, 120u + 7 * 64);
    const uint8_t orders[] = {0, 10, 1, 10, 9, 4};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(ctx.order_table[i], orders[i]) << i;
    // The pattern with a 0 row count unpacked its data into 64 rows.
    EXPECT_EQ(slot(ctx, 3, 0, 0).note, 49);
    for (int r = 0; r < 64; ++r) EXPECT_EQ(slot(ctx, 10, r, 0).note, 0);
    EXPECT_EQ(check_context(ctx), "");
}

TEST(XmLoad, HeaderValues) {
    struct Case {
        uint16_t speed, bpm, restart;
        bool linear;
        uint8_t speed_loaded, bpm_loaded, restart_loaded, amiga;
    };
    const Case cases[] = {
        {6, 125, 1, true, 6, 125, 1, 0},
        {40, 300, 2, false, 31, 255, 0, 1}, // restart at the song length
        {3, 0, 0, true, 3, 125, 0, 0},      // BPM 0 would stop the clock
    };
    for (const Case& c : cases) {
        xmwriter::Module m = small_module();
        m.orders = {0, 0};
        m.speed = c.speed;
        m.bpm = c.bpm;
        m.restart = c.restart;
        m.linear_frequencies = c.linear;
        Loaded loaded(xmwriter::write_xm(m));
        ASSERT_NE(loaded.result.context, nullptr);
        const auto& ctx = loaded.ctx();
        SCOPED_TRACE(c.bpm);
        EXPECT_EQ(ctx.default_speed, c.speed_loaded);
        EXPECT_EQ(ctx.default_bpm, c.bpm_loaded);
        EXPECT_EQ(ctx.restart_position, c.restart_loaded);
        EXPECT_EQ(ctx.amiga_periods, c.amiga);
        EXPECT_EQ(ctx.default_global_volume, 64);
        EXPECT_EQ(ctx.channel_panning[0], 128);
        EXPECT_EQ(ctx.playback.frame_rate, 48000);
        EXPECT_EQ(ctx.playback.speed, c.speed_loaded);
        EXPECT_EQ(ctx.playback.bpm, c.bpm_loaded);
        EXPECT_EQ(ctx.channels[0].channel_panning, 128);
    }
}

// Sample maps count samples across instruments; an instrument without samples
// maps every note to no sample; header fields past the header's end read 0.
TEST(XmLoad, InstrumentsAndSampleMaps) {
    xmwriter::Module m = small_module();
    m.instruments.clear();
    xmwriter::Instrument a =
        instrument_with({sample_8bit({1}), sample_8bit({2}), sample_8bit({3})});
    a.sample_map.fill(1);
    a.sample_map[0] = 2;
    a.sample_map[1] = 3; // no such sample
    a.vibrato_type = 1;
    a.vibrato_sweep = 5;
    a.vibrato_depth = 6;
    a.vibrato_rate = 7;
    a.fadeout = 0x1234;
    m.instruments.push_back(a);
    m.instruments.push_back(xmwriter::Instrument{}); // no samples
    xmwriter::Instrument b = instrument_with({sample_8bit({4}), sample_8bit({5})});
    b.sample_map.fill(1);
    b.vibrato_type = 2;
    m.instruments.push_back(b);
    xmwriter::Instrument c = instrument_with({sample_8bit({6})});
    c.vibrato_type = 3;
    m.instruments.push_back(c);
    Loaded loaded(xmwriter::write_xm(m));
    ASSERT_NE(loaded.result.context, nullptr) << loaded.result.error;
    const auto& ctx = loaded.ctx();
    ASSERT_EQ(ctx.sample_count, 6);
    const auto& i0 = ctx.instruments[0];
    EXPECT_EQ(i0.sample_map[0], 2);
    EXPECT_EQ(i0.sample_map[1], replayer::SAMPLE_MAP_NONE);
    EXPECT_EQ(i0.sample_map[95], 1);
    EXPECT_EQ(i0.autovibrato_waveform, 2); // square
    EXPECT_EQ(i0.autovibrato_sweep, 5);
    EXPECT_EQ(i0.autovibrato_depth, 6);
    EXPECT_EQ(i0.autovibrato_rate, 7);
    EXPECT_EQ(i0.fadeout, 0x1234);
    for (uint16_t e : ctx.instruments[1].sample_map) EXPECT_EQ(e, replayer::SAMPLE_MAP_NONE);
    EXPECT_EQ(ctx.instruments[2].sample_map[40], 4);
    EXPECT_EQ(ctx.instruments[2].autovibrato_waveform, 1); // ramp down
    EXPECT_EQ(ctx.instruments[3].autovibrato_waveform, 4); // ramp up
    EXPECT_EQ(ctx.instruments[3].sample_map[0], 5);
    for (int s = 0; s < 6; ++s)
        EXPECT_EQ(ctx.sample_data[ctx.samples[s].data_index], (s + 1) * 256);
}

// The sample count is read within the instrument header: a header that ends
// before it has no samples, even when the next bytes look like a count, and
// the next instrument is found where the short header ends.
TEST(XmLoad, SampleCountPastAShortHeaderIsZero) {
    xmwriter::Module m = small_module();
    xmwriter::Instrument short_header;
    short_header.header_size_override = 27;
    m.instruments.insert(m.instruments.begin(), short_header);
    const std::vector<uint8_t> bytes = xmwriter::write_xm(m);
    const replayer::ScanResult scan = replayer::module_prescan(bytes.data(), bytes.size());
    ASSERT_EQ(scan.error, nullptr);
    EXPECT_EQ(scan.scan.sample_count, 1);
    Loaded loaded(bytes);
    ASSERT_NE(loaded.result.context, nullptr);
    const auto& ctx = loaded.ctx();
    EXPECT_EQ(ctx.instruments[0].sample_map[0], replayer::SAMPLE_MAP_NONE);
    EXPECT_EQ(ctx.instruments[1].sample_map[0], 0);
    EXPECT_EQ(ctx.samples[0].length, 16u);
    EXPECT_EQ(ctx.sample_data[15], (15 * 8 - 64) * 256);
}

TEST(XmLoad, EnvelopeCleanUp) {
    using Points = std::vector<std::pair<uint16_t, uint16_t>>;
    struct Case {
        const char* name;
        Points points;
        uint8_t type, sustain, loop_start, loop_end;
        std::optional<uint8_t> count;
        uint8_t count_loaded, sustain_loaded, loop_start_loaded, loop_end_loaded;
    };
    const Points three = {{0, 64}, {10, 32}, {20, 0}};
    const Points repeated = {{0, 64}, {10, 32}, {10, 0}};
    Points twelve;
    for (uint16_t i = 0; i < 12; ++i) twelve.push_back({i, 1});
    const Case cases[] = {
        {"a valid envelope is kept", three, 7, 1, 0, 2, {}, 3, 1, 0, 2},
        {"frames 0, 10, 10 switch it off", repeated, 7, 1, 0, 2, {}, 0, 0, 0, 0},
        {"one point is kept; sustain and loop past it dropped",
         {{0, 40}},
         7,
         1,
         0,
         2,
         {},
         1,
         128,
         0,
         0},
        {"the on bit clear switches it off", three, 6, 1, 0, 2, {}, 0, 0, 0, 0},
        {"a loop start past the points clears the loop", three, 7, 1, 3, 2, {}, 3, 1, 0, 0},
        {"a loop end past the points clears the loop", three, 7, 1, 0, 3, {}, 3, 1, 0, 0},
        {"a loop end at its start clears the loop", three, 7, 1, 1, 1, {}, 3, 1, 0, 0},
        {"the loop bit clear clears the loop", three, 3, 1, 0, 2, {}, 3, 1, 0, 0},
        {"a sustain past the points is none", three, 7, 3, 0, 2, {}, 3, 128, 0, 2},
        {"the sustain bit clear is none", three, 5, 1, 0, 2, {}, 3, 128, 0, 2},
        {"a count above 12 is 12", twelve, 1, 0, 0, 0, 14, 12, 128, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        xmwriter::Module m = small_module();
        xmwriter::Envelope e;
        e.points = c.points;
        e.type = c.type;
        e.sustain = c.sustain;
        e.loop_start = c.loop_start;
        e.loop_end = c.loop_end;
        e.count_override = c.count;
        m.instruments[0].volume_envelope = e;
        m.instruments[0].panning_envelope = e;
        Loaded loaded(xmwriter::write_xm(m));
        ASSERT_NE(loaded.result.context, nullptr);
        const auto& ins = loaded.ctx().instruments[0];
        for (const replayer::EnvelopeRecord* r : {&ins.volume_envelope, &ins.panning_envelope}) {
            EXPECT_EQ(r->point_count, c.count_loaded);
            EXPECT_EQ(r->sustain, c.sustain_loaded);
            EXPECT_EQ(r->loop_start, c.loop_start_loaded);
            EXPECT_EQ(r->loop_end, c.loop_end_loaded);
            if (c.count_loaded == 0) {
                EXPECT_EQ(r->points[0].value, 0);
            }
        }
    }
}

TEST(XmLoad, EnvelopeValuesAreCutTo64) {
    xmwriter::Module m = small_module();
    m.instruments[0].volume_envelope.points = {{0, 100}, {5, 64}, {9, 0x1234}};
    m.instruments[0].volume_envelope.type = 1;
    Loaded loaded(xmwriter::write_xm(m));
    ASSERT_NE(loaded.result.context, nullptr);
    const auto& e = loaded.ctx().instruments[0].volume_envelope;
    EXPECT_EQ(e.points[0].value, 64);
    EXPECT_EQ(e.points[2].value, 64);
    EXPECT_EQ(e.points[2].frame, 9);
}

TEST(XmLoad, SampleFields) {
    struct Case {
        int8_t finetune;
        uint8_t volume, panning;
        int8_t relative_note;
        int8_t finetune_loaded;
        uint8_t volume_loaded;
    };
    const Case cases[] = {{-20, 80, 10, -12, -3, 64},
                          {108, 33, 200, 5, 13, 33},
                          {-128, 0, 128, 0, -16, 0},
                          {127, 64, 255, 127, 15, 64}};
    for (const Case& c : cases) {
        xmwriter::Module m = small_module();
        xmwriter::Sample& s = m.instruments[0].samples[0];
        s.finetune = c.finetune;
        s.volume = c.volume;
        s.panning = c.panning;
        s.relative_note = c.relative_note;
        Loaded loaded(xmwriter::write_xm(m));
        ASSERT_NE(loaded.result.context, nullptr);
        const replayer::SampleRecord& r = loaded.ctx().samples[0];
        SCOPED_TRACE(int{c.finetune});
        EXPECT_EQ(r.finetune, c.finetune_loaded);
        EXPECT_EQ(replayer::sample_volume(r), c.volume_loaded);
        EXPECT_EQ(r.panning, c.panning);
        EXPECT_EQ(r.relative_note, c.relative_note);
    }
}

// How much of a sample is kept, and that the next sample's data is still found
// where the file puts it (a mistake in the first shifts the second). Stereo
// samples count the bytes of both channels; ADPCM samples count frames.
TEST(XmLoad, SampleLengthsLoopsAndDataPositions) {
    enum Kind { PLAIN, STEREO, ADPCM };
    struct Case {
        const char* name;
        bool sixteen_bit;
        xmwriter::LoopType loop;
        uint32_t length, loop_start, loop_length; // bytes, as in the header
        uint32_t length_loaded, loop_loaded;      // frames
        bool pingpong;
        Kind kind = PLAIN;
    };
    const Case cases[] = {
        {"no loop keeps everything", false, xmwriter::LOOP_NONE, 40, 4, 8, 40, 0, false},
        {"a loop keeps up to its end", false, xmwriter::LOOP_FORWARD, 40, 10, 20, 30, 20, false},
        {"a ping-pong loop", false, xmwriter::LOOP_PINGPONG, 40, 10, 30, 40, 30, true},
        {"a loop end past the length keeps up to the loop start", false, xmwriter::LOOP_FORWARD, 40,
         10, 40, 10, 0, false},
        {"a loop start past the length keeps everything", false, xmwriter::LOOP_FORWARD, 40, 50, 4,
         40, 0, false},
        {"a loop of length 0 is no loop", false, xmwriter::LOOP_FORWARD, 40, 10, 0, 40, 0, false},
        {"a ping-pong loop of length 0 is no loop", false, xmwriter::LOOP_PINGPONG, 40, 10, 0, 40,
         0, false},
        {"a loop length that wraps 32 bits is no fit", false, xmwriter::LOOP_FORWARD, 40, 10,
         0xFFFFFFF8u, 10, 0, false},
        {"16-bit lengths are halved", true, xmwriter::LOOP_FORWARD, 40, 8, 16, 12, 8, false},
        {"an odd 16-bit length", true, xmwriter::LOOP_NONE, 41, 0, 0, 20, 0, false},
        {"an odd 16-bit loop", true, xmwriter::LOOP_FORWARD, 41, 3, 35, 19, 17, false},
        {"stereo halves every count", false, xmwriter::LOOP_FORWARD, 40, 10, 20, 15, 10, false,
         STEREO},
        {"16-bit stereo quarters every count", true, xmwriter::LOOP_PINGPONG, 80, 16, 40, 14, 10,
         true, STEREO},
        {"an odd stereo length", false, xmwriter::LOOP_NONE, 41, 0, 0, 20, 0, false, STEREO},
        {"ADPCM counts frames", false, xmwriter::LOOP_FORWARD, 41, 9, 31, 40, 31, false, ADPCM},
        {"an even ADPCM length", false, xmwriter::LOOP_NONE, 40, 0, 0, 40, 0, false, ADPCM},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        xmwriter::Module m = small_module();
        xmwriter::Sample s;
        s.sixteen_bit = c.sixteen_bit;
        s.loop = c.loop;
        s.length_override = c.length;
        s.loop_start_override = c.loop_start;
        s.loop_length_override = c.loop_length;
        // Deltas: the first frame 1, then flat; a right channel starts at 3.
        std::vector<uint8_t> data(c.length);
        data[0] = 1;
        if (c.kind == STEREO)
            data[c.length / (c.sixteen_bit ? 4 : 2) * (c.sixteen_bit ? 2 : 1)] = 3;
        if (c.kind == ADPCM) {
            s.adpcm = true;
            data = xmwriter::encode_adpcm(std::vector<int16_t>(c.length, 1));
        }
        if (c.kind == STEREO) s.right_frames.resize(1); // the stereo flag
        s.data_override = data;
        m.instruments[0].samples.insert(m.instruments[0].samples.begin(), s);
        Loaded loaded(xmwriter::write_xm(m));
        ASSERT_NE(loaded.result.context, nullptr) << loaded.result.error;
        const auto& ctx = loaded.ctx();
        const replayer::SampleRecord& first = ctx.samples[0];
        EXPECT_EQ(first.length, c.length_loaded);
        EXPECT_EQ(first.loop_length, c.loop_loaded);
        EXPECT_EQ((first.flags_volume & replayer::SAMPLE_FLAG_PINGPONG) != 0, c.pingpong);
        const int16_t one =
            static_cast<int16_t>((c.sixteen_bit ? 1 : 256) * (c.kind == STEREO ? 2 : 1));
        for (uint32_t i = 0; i < first.length; ++i) ASSERT_EQ(ctx.sample_data[i], one) << i;
        // The second sample (from small_module) decodes intact right after.
        const replayer::SampleRecord& second = ctx.samples[1];
        EXPECT_EQ(second.data_index, first.length);
        for (int i = 0; i < 16; ++i)
            EXPECT_EQ(ctx.sample_data[second.data_index + i], (i * 8 - 64) * 256) << i;
        EXPECT_EQ(ctx.total_sample_frames, first.length + 16);
    }
}

// Deltas wrap; ADPCM deltas wrap at 8 bits; a stereo frame is the mean of its
// left and right frames, each channel delta-coded from 0.
TEST(XmLoad, SampleDataDeltasWrapAndChannelsMix) {
    xmwriter::Module m = small_module();
    xmwriter::Sample s16;
    s16.sixteen_bit = true;
    s16.frames = {32767, -32768, 0, -1, 12345};
    xmwriter::Sample s8 = sample_8bit({127, -128, 0, -1, 100});
    xmwriter::Sample adpcm = sample_8bit({1, 3, -1, 63, -65, 127, -128});
    adpcm.adpcm = true;
    xmwriter::Sample stereo = sample_8bit({100, -100, 7});
    stereo.right_frames = {-100, -100, -8};
    // Past the module's end every ADPCM index is 0: the value keeps stepping
    // by the first delta of the table.
    xmwriter::Sample cut = sample_8bit({});
    cut.adpcm = true;
    cut.length_override = 6;
    cut.data_override = std::vector<uint8_t>(17, 0);
    cut.data_override->at(0) = 1;
    m.instruments[0].samples = {s16, s8, adpcm, stereo, cut};
    Loaded loaded(xmwriter::write_xm(m));
    ASSERT_NE(loaded.result.context, nullptr);
    const int16_t expected[] = {32767,     -32768,    0,          -1,   12345,  32512, -32768,
                                0,         -256,      25600,      256,  768,    -256,  63 * 256,
                                -65 * 256, 127 * 256, -128 * 256, 0,    -25600, -128,  256,
                                512,       768,       1024,       1280, 1536};
    for (size_t i = 0; i < std::size(expected); ++i)
        EXPECT_EQ(loaded.ctx().sample_data[i], expected[i]) << i;
}
