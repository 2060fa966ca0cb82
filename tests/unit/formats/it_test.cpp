// SPDX-License-Identifier: GPL-2.0-or-later
// IT loading through the public loader: header, orders, channels, the note,
// command and volume-column tables, samples (compressed ones against their
// plain copies), instruments in both layouts, refusals and the message.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "compact_writer.h"
#include "it_cases.h"

using namespace replayer;
using namespace test_modules;

namespace {

constexpr int A = 1, C = 3, H = 8, S = 19, T = 20, U = 21, V = 22, X = 24;

const PatternSlot& slot(const ReplayContext& ctx, int pattern, int row, int channel) {
    return ctx.slots[(ctx.patterns[pattern].first_row + row) * ctx.channel_count + channel];
}

std::vector<int16_t> stored_frames(const ReplayContext& ctx, int k) {
    const SampleRecord& s = ctx.samples[k];
    return {ctx.sample_data + s.data_index, ctx.sample_data + s.data_index + s.length};
}

} // namespace

TEST(It, HeaderOrdersAndChannels) {
    ItBuilder it;
    it.orders = {0, 254, 1, 255, 2, 255};
    it.patterns.resize(3);
    it.patterns[2] = {{0, 5, 60, 1}};
    it.speed = 4;
    it.tempo = 150;
    it.global_volume = 100;
    it.panning[0] = 0;
    it.panning[1] = 64;
    it.panning[2] = 100;      // surround: centred
    it.panning[3] = 128 + 16; // disabled: its notes are not played
    it.separation = 64;       // half way to the centre
    it.samples = {sample_of({1, 2, 3, 4})};
    it.patterns[0] = {{0, 3, 60, 1, -1, A, 2}};
    Context ctx = load_ok(it);
    ASSERT_TRUE(ctx);
    EXPECT_EQ(ctx->song.format, FORMAT_IT);
    EXPECT_EQ(ctx->channel_count, 6);
    EXPECT_EQ(std::vector<uint8_t>(ctx->order_table, ctx->order_table + ctx->song_length),
              (std::vector<uint8_t>{0, 1, 2}));
    EXPECT_EQ(std::tuple(ctx->default_speed, ctx->default_bpm, ctx->default_global_volume),
              std::tuple(uint8_t{4}, uint8_t{150}, uint8_t{100}));
    EXPECT_EQ(std::vector<uint8_t>(ctx->channel_panning, ctx->channel_panning + 4),
              (std::vector<uint8_t>{64, 192, 128, 96}));
    EXPECT_EQ(slot(*ctx, 0, 0, 3).note, NOTE_NONE);
    EXPECT_EQ(slot(*ctx, 0, 0, 3).effect, EFFECT_SET_SPEED); // still played
    SubsongInfo songs[4];
    EXPECT_EQ(list_subsongs(ctx.get(), songs, 4), 2u);
    // The compact format carries what the IT loader made of the module.
    Context compact = load(compact_writer::write_compact(*ctx));
    ASSERT_TRUE(compact);
    EXPECT_EQ(render(*compact, 48000), render(*ctx, 48000));

    it.flags = 8; // mono
    ctx = load_ok(it);
    EXPECT_EQ(ctx->channel_panning[0], CENTRE_PANNING);
}

// Note bytes, command letters and volume-column bytes against what the
// engine plays, each row one cell of channel 0.
TEST(It, CellsConvertToTheEngineCodes) {
    struct Row {
        ItEntry in;
        uint16_t flags;
        PatternSlot want; // note, instrument, volume, effect, parameter
    };
    constexpr uint16_t IT_FX = 1 | 8, OLD_FX = 1 | 8 | 16;
    const std::vector<Row> rows = {
        {{0, 0, 60, 1}, IT_FX, {61, 1, 0, EFFECT_ARPEGGIO, 0}},   // C-5, notes by their names
        {{0, 0, 0, 1}, IT_FX, {1, 1, 0, EFFECT_ARPEGGIO, 0}},     // C-0
        {{0, 0, 119, 1}, IT_FX, {120, 1, 0, EFFECT_ARPEGGIO, 0}}, // B-9
        {{0, 0, 255}, IT_FX, {NOTE_KEY_OFF, 0, 0, EFFECT_ARPEGGIO, 0}},
        {{0, 0, 130}, IT_FX, {NOTE_FADE, 0, 0, EFFECT_ARPEGGIO, 0}},
        {{0, 0, 130, -1, -1, A, 2}, IT_FX, {NOTE_FADE, 0, 0, EFFECT_SET_SPEED, 2}},
        {{0, 0, 254}, IT_FX, {NOTE_NONE, 0, 0x10, EFFECT_ARPEGGIO, 0}}, // cut: volume 0
        {{0, 0, 254, -1, 32}, IT_FX, {NOTE_NONE, 0, 0x30, EFFECT_SET_VOLUME, 0}},
        {{0, 0, -1, 1}, IT_FX, {NOTE_INSTRUMENT_ONLY, 1, 0, EFFECT_ARPEGGIO, 0}},
        {{0, 0, -1, -1, -1, A, 3}, IT_FX, {0, 0, 0, EFFECT_SET_SPEED, 3}},
        {{0, 0, -1, -1, -1, C, 0x10}, IT_FX, {0, 0, 0, EFFECT_PATTERN_BREAK, 16}}, // hexadecimal
        {{0, 0, -1, -1, -1, V, 0x80}, IT_FX, {0, 0, 0, EFFECT_SET_GLOBAL_VOLUME, 128}},
        {{0, 0, -1, -1, -1, V, 0x81}, IT_FX, {0, 0, 0, EFFECT_IGNORED, 0x81}},
        {{0, 0, -1, -1, -1, 23, 0x0F}, IT_FX, {0, 0, 0, EFFECT_IT_GLOBAL_VOLUME_SLIDE, 0x0F}},
        {{0, 0, -1, -1, -1, 16, 0x20}, IT_FX, {0, 0, 0, EFFECT_IT_PANNING_SLIDE, 0x20}},
        {{0, 0, -1, -1, -1, S, 0x71}, IT_FX, {0, 0, 0, EFFECT_PAST_NOTES, 1}},
        {{0, 0, -1, -1, -1, S, 0x75}, IT_FX, {0, 0, 0, EFFECT_SET_NEW_NOTE_ACTION, 5}},
        {{0, 0, -1, -1, -1, S, 0x7B}, IT_FX, {0, 0, 0, EFFECT_ENVELOPE_SWITCH, 0xB}},
        {{0, 0, -1, -1, -1, S, 0x52}, IT_FX, {0, 0, 0, EFFECT_PANBRELLO_WAVEFORM, 2}},
        {{0, 0, -1, -1, -1, S, 0x63}, IT_FX, {0, 0, 0, EFFECT_FINE_PATTERN_DELAY, 3}},
        {{0, 0, -1, -1, -1, S, 0xA2}, IT_FX, {0, 0, 0, EFFECT_HIGH_OFFSET, 2}},
        {{0, 0, -1, -1, -1, S, 0x91}, IT_FX, {0, 0, 0, EFFECT_SET_CHANNEL_PANNING, 128}},
        {{0, 0, -1, -1, -1, S, 0xF3}, IT_FX, {0, 0, 0, EFFECT_SET_FILTER_MACRO, 3}},
        {{0, 0, -1, -1, -1, 26, 0x84}, IT_FX, {0, 0, 0, EFFECT_MIDI_MACRO, 0x84}},
        {{0, 0, -1, -1, -1, H, 0x44}, IT_FX, {0, 0, 0, EFFECT_FINE_VIBRATO, 0x48}},
        {{0, 0, -1, -1, -1, H, 0x4C}, IT_FX, {0, 0, 0, EFFECT_VIBRATO, 0x46}},
        {{0, 0, -1, -1, -1, H, 0x44}, OLD_FX, {0, 0, 0, EFFECT_VIBRATO, 0x44}},
        {{0, 0, -1, -1, -1, U, 0x44}, IT_FX, {0, 0, 0, EFFECT_FINE_VIBRATO, 0x42}},
        {{0, 0, -1, -1, -1, T, 0x13}, IT_FX, {0, 0, 0, EFFECT_TEMPO_SLIDE, 0x13}},
        {{0, 0, -1, -1, -1, T, 0x80}, IT_FX, {0, 0, 0, EFFECT_SET_BPM, 0x80}},
        {{0, 0, -1, -1, -1, S, 0xB2}, IT_FX, {0, 0, 0, EFFECT_PATTERN_LOOP, 2}},
        {{0, 0, -1, -1, -1, S, 0xD3}, IT_FX, {0, 0, 0, EFFECT_NOTE_DELAY, 3}},
        {{0, 0, -1, -1, -1, X, 0x80}, IT_FX, {0, 0, 0, EFFECT_SET_CHANNEL_PANNING, 0x80}},
        {{0, 0, -1, -1, 30}, IT_FX, {0, 0, 0x10 + 30, EFFECT_ARPEGGIO, 0}},
        {{0, 0, -1, -1, 70}, IT_FX, {0, 0, 0x95, EFFECT_ARPEGGIO, 0}},  // fine up 5
        {{0, 0, -1, -1, 80}, IT_FX, {0, 0, 0x85, EFFECT_ARPEGGIO, 0}},  // fine down 5
        {{0, 0, -1, -1, 100}, IT_FX, {0, 0, 0x65, EFFECT_ARPEGGIO, 0}}, // slide down 5
        {{0, 0, -1, -1, 110}, IT_FX, {0, 0, 0, EFFECT_S3M_PORTA_DOWN, 20}},
        {{0, 0, -1, -1, 150}, IT_FX, {0, 0, 0, EFFECT_SET_CHANNEL_PANNING, 88}},
        {{0, 0, -1, -1, 150, A, 2}, IT_FX, {0, 0, 0xC5, EFFECT_SET_SPEED, 2}},
        {{0, 0, -1, -1, 195}, IT_FX, {0, 0, 0, EFFECT_TONE_PORTA, 4}},
        {{0, 0, -1, -1, 198, A, 2}, IT_FX, {0, 0, 0xF2, EFFECT_SET_SPEED, 2}},
        {{0, 0, -1, -1, 205}, IT_FX, {0, 0, 0xB2, EFFECT_ARPEGGIO, 0}},
    };
    for (size_t i = 0; i < rows.size(); ++i) {
        ItBuilder it;
        it.flags = rows[i].flags;
        it.samples = {sample_of({0, 0})};
        it.patterns[0] = {rows[i].in};
        Context ctx = load_ok(it);
        ASSERT_TRUE(ctx) << i;
        const PatternSlot& s = slot(*ctx, 0, 0, 0);
        const PatternSlot& w = rows[i].want;
        EXPECT_EQ(std::tuple(s.note, s.instrument, s.volume, s.effect, s.parameter),
                  std::tuple(w.note, w.instrument, w.volume, w.effect, w.parameter))
            << "row " << i;
    }
    // S00 repeats the channel's last S command.
    ItBuilder it;
    it.samples = {sample_of({0, 0})};
    it.patterns[0] = {{0, 0, -1, -1, -1, S, 0xC2}, {1, 0, -1, -1, -1, S, 0}};
    Context ctx = load_ok(it);
    EXPECT_EQ(std::tuple(slot(*ctx, 0, 1, 0).effect, slot(*ctx, 0, 1, 0).parameter),
              std::tuple(uint8_t{EFFECT_NOTE_CUT}, uint8_t{2}));
}

// Every stored form decodes to the same frames: plain signed and unsigned,
// compressed by 2.14 and 2.15 over more than one block; stereo as the mean.
TEST(It, SamplesDecodeAsTheirPlainCopies) {
    for (bool sixteen_bit : {false, true}) {
        const std::vector<int16_t> wave =
            test_wave(sixteen_bit ? 0x4000 + 777 : 0x8000 + 777, sixteen_bit);
        const uint8_t width = sixteen_bit ? 2 : 0;
        std::vector<int16_t> want(wave);
        if (!sixteen_bit)
            for (auto& v : want) v = static_cast<int16_t>(v * 256);
        struct Form {
            uint8_t flags, convert;
        };
        for (const Form form : {Form{1, 1}, Form{1, 0}, Form{1 | 8, 1}, Form{1 | 8, 1 | 4}}) {
            ItBuilder it;
            ItSample s = sample_of(wave, static_cast<uint8_t>(form.flags | width));
            s.convert = form.convert;
            it.samples = {s};
            Context ctx = load_ok(it);
            ASSERT_TRUE(ctx);
            EXPECT_EQ(stored_frames(*ctx, 0), want)
                << "16-bit " << sixteen_bit << " flags " << int{form.flags} << " convert "
                << int{form.convert};
        }
        // Stereo, compressed: each side its own stream, the frames their mean;
        // with a loop that ends early, the right side is still found after
        // every block of the left.
        for (uint32_t loop_end : {0u, 1000u}) {
            ItBuilder it;
            std::vector<int16_t> both(wave);
            both.insert(both.end(), wave.rbegin(), wave.rend());
            ItSample s =
                sample_of(both, static_cast<uint8_t>(1 | 4 | 8 | width | (loop_end ? 16 : 0)));
            s.loop_end = loop_end;
            it.samples = {s};
            Context ctx = load_ok(it);
            ASSERT_TRUE(ctx);
            const std::vector<int16_t> got = stored_frames(*ctx, 0);
            ASSERT_EQ(got.size(), loop_end ? loop_end : want.size());
            for (size_t i = 0; i < got.size(); i += 97)
                EXPECT_EQ(got[i], (int32_t{want[i]} + want[want.size() - 1 - i]) >> 1)
                    << i << " loop end " << loop_end;
        }
    }
}

TEST(It, SampleLoopsPitchAndGlobalVolume) {
    struct Row {
        uint8_t flags;
        uint32_t loop_start, loop_end, sustain_start, sustain_end;
        uint32_t length, loop_length;
        bool pingpong;
        uint32_t released_length, released_loop_length; // after a sustain loop; 0, 0 none
    };
    const std::vector<Row> rows = {
        {1, 0, 0, 0, 0, 100, 0, false, 0, 0},
        {1 | 16, 20, 60, 0, 0, 60, 40, false, 0, 0},
        {1 | 16 | 64, 20, 60, 0, 0, 60, 40, true, 0, 0},
        {1 | 32 | 128, 0, 0, 10, 30, 30, 20, true, 100, 0},   // the sustain loop, then all
        {1 | 16 | 32, 50, 90, 10, 30, 30, 20, false, 90, 40}, // the sustain loop, then the loop
        {1 | 32, 0, 0, 30, 30, 100, 0, false, 0, 0},          // empty sustain loop: none
        {1 | 16, 60, 60, 0, 0, 100, 0, false, 0, 0},          // empty loop: none
        {1 | 16, 20, 500, 0, 0, 100, 80, false, 0, 0},        // loop end cut to the data
    };
    for (size_t i = 0; i < rows.size(); ++i) {
        const Row& r = rows[i];
        ItBuilder it;
        ItSample s = sample_of(std::vector<int16_t>(100, 64), r.flags);
        std::tie(s.loop_start, s.loop_end, s.sustain_start, s.sustain_end) =
            std::tuple(r.loop_start, r.loop_end, r.sustain_start, r.sustain_end);
        s.c5_speed = 16726;
        s.global_volume = 32;
        it.samples = {s};
        Context ctx = load_ok(it);
        ASSERT_TRUE(ctx) << i;
        const SampleRecord& got = ctx->samples[0];
        EXPECT_EQ(
            std::tuple(got.length, got.loop_length, bool(got.flags_volume & SAMPLE_FLAG_PINGPONG)),
            std::tuple(r.length, r.loop_length, r.pingpong))
            << "row " << i;
        const SampleRecord* after = got.released ? &got + got.released : nullptr;
        EXPECT_EQ(after ? std::tuple(after->data_index, after->length, after->loop_length)
                        : std::tuple(0u, 0u, 0u),
                  r.released_length
                      ? std::tuple(got.data_index, r.released_length, r.released_loop_length)
                      : std::tuple(0u, 0u, 0u))
            << "row " << i;
        // An octave above middle C: C-5 plays the C5 speed where C-4 plays 8363 Hz.
        EXPECT_EQ(std::tuple(got.relative_note, got.finetune), std::tuple(int8_t{0}, int8_t{0}));
        EXPECT_EQ(ctx->sample_data[got.data_index], 64 * 256 / 2); // global volume 32 of 64
    }
    // A C5 speed off the finetune grid keeps its rest, through a compact image too.
    ItBuilder it;
    it.samples = {sample_of({1, 2})};
    it.samples[0].c5_speed = 22050;
    Context ctx = load_ok(it);
    ASSERT_TRUE(ctx);
    const SampleRecord& s = ctx->samples[0];
    const double steps = 16 * (s.relative_note + 12) + s.finetune + s.fine_pitch / 32768.0;
    EXPECT_NEAR(8363 * std::exp2(steps / 192), 22050, 0.01);
    Context image = load(compact_writer::write_compact(*ctx));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->samples[0].fine_pitch, s.fine_pitch);
}

TEST(It, InstrumentsInBothLayouts) {
    ItBuilder it;
    it.flags = 1 | 4 | 8;
    it.samples = {sample_of({1, 2}), sample_of({3, 4})};
    ItInstrument a;
    a.sample = 2;
    a.transpose = 12;
    a.fadeout = 100;
    a.volume = {1 | 4, 0, 0, 1, 1, {{64, 0}, {32, 10}, {0, 20}}};
    a.panning = {1, 0, 0, 0, 0, {{-32, 0}, {32, 5}}};
    ItInstrument b; // no envelope: held at full level until the fade
    ItInstrument c; // all 25 nodes, a sustain loop over 3..20
    c.pitch = {1 | 4, 0, 0, 3, 20, {}};
    for (int n = 0; n < 25; ++n)
        c.pitch.nodes.push_back({static_cast<int8_t>(n - 12), static_cast<uint16_t>(3 * n)});
    it.instruments = {a, b, c};
    Context ctx = load_ok(it);
    ASSERT_TRUE(ctx);
    EXPECT_EQ(ctx->instrument_count, 3);
    const InstrumentRecord& first = ctx->instruments[0];
    EXPECT_EQ(std::tuple(first.sample_map[0], first.sample_map[119], first.note_shift[0],
                         first.note_shift[107], first.note_shift[119],
                         ctx->instruments[1].note_shift[60]),
              std::tuple(1, 1, 12, 12, 0, 0)); // B-9 plays itself: nothing lies above
    EXPECT_EQ(first.fadeout, 3200);
    EXPECT_EQ(std::tuple(first.volume_envelope.point_count, first.volume_envelope.sustain,
                         first.volume_envelope.points[1].frame,
                         first.volume_envelope.points[1].value),
              std::tuple(uint8_t{3}, uint8_t{1}, uint16_t{10}, uint8_t{32}));
    EXPECT_EQ(
        std::tuple(first.panning_envelope.points[0].value, first.panning_envelope.points[1].value),
        std::tuple(uint8_t{0}, uint8_t{64}));
    const EnvelopeRecord& held = ctx->instruments[1].volume_envelope;
    EXPECT_EQ(std::tuple(held.point_count, held.sustain, held.points[0].value),
              std::tuple(uint8_t{1}, uint8_t{0}, uint8_t{64}));
    const EnvelopeRecord& long_one = ctx->instruments[2].pitch_envelope;
    EXPECT_EQ(std::tuple(long_one.point_count, long_one.sustain, long_one.sustain_end,
                         long_one.points[24].frame, long_one.points[24].value),
              std::tuple(uint8_t{25}, uint8_t{3}, uint8_t{20}, uint16_t{72}, uint8_t{44}));
    Context image = load(compact_writer::write_compact(*ctx));
    ASSERT_TRUE(image);
    for (int k = 0; k < 3; ++k) {
        const InstrumentRecord &x = ctx->instruments[k], &y = image->instruments[k];
        EXPECT_TRUE(same_envelope(x.volume_envelope, y.volume_envelope) &&
                    same_envelope(x.panning_envelope, y.panning_envelope) &&
                    same_envelope(x.pitch_envelope, y.pitch_envelope) &&
                    std::ranges::equal(x.sample_map, y.sample_map) &&
                    std::ranges::equal(x.note_shift, y.note_shift))
            << k;
    }

    // Before format 2.00: one envelope of (tick, value) byte pairs in the header.
    Bytes old = it.build();
    put16le(old, 0x2A, 0x100);
    const size_t h = old[0xC0 + it.orders.size()] | old[0xC1 + it.orders.size()] << 8;
    old[h + 0x11] = 1 | 4; // on, sustain
    old[h + 0x14] = 1;     // sustain at node 1
    put16le(old, h + 0x18, 10);
    const uint8_t nodes[] = {0, 64, 8, 40, 0xFF};
    std::copy(std::begin(nodes), std::end(nodes), old.begin() + h + 0x1F8);
    ctx = load(old);
    ASSERT_TRUE(ctx);
    const EnvelopeRecord& e = ctx->instruments[0].volume_envelope;
    EXPECT_EQ(std::tuple(e.point_count, e.sustain, e.points[1].frame, e.points[1].value,
                         ctx->instruments[0].fadeout),
              std::tuple(uint8_t{2}, uint8_t{1}, uint16_t{8}, uint8_t{40}, uint16_t{640}));
}

TEST(It, RefusalsSayWhy) {
    struct Row {
        std::function<void(ItBuilder&)> change;
        const char* reason;
    };
    const std::vector<Row> rows = {
        {[](ItBuilder& it) { it.orders = {255}; }, "song length is 0"},
        {[](ItBuilder& it) { it.patterns.resize(257); }, "more than 256 patterns"},
        {[](ItBuilder& it) { it.samples.resize(256, sample_of({0})); },
         "more than 255 samples without instruments"},
        {[](ItBuilder& it) { it.samples = {sample_of(std::vector<int16_t>(0x100000))}; },
         "sample too long"},
    };
    for (const Row& row : rows) {
        ItBuilder it;
        row.change(it);
        const char* error = nullptr;
        EXPECT_FALSE(load(it.build(), &error));
        EXPECT_STREQ(error, row.reason);
    }
}

TEST(It, TitleNamesAndMessage) {
    ItBuilder it;
    it.samples = {sample_of({0})};
    it.message = "first line\rsecond";
    const Bytes bytes = it.build();
    char text[64];
    EXPECT_EQ(module_name(bytes.data(), bytes.size(), NAME_TITLE, 0, text, sizeof text), 11u);
    EXPECT_STREQ(text, "test module");
    EXPECT_EQ(module_name_count(bytes.data(), bytes.size(), NAME_MESSAGE), 1u);
    module_name(bytes.data(), bytes.size(), NAME_MESSAGE, 0, text, sizeof text);
    EXPECT_EQ(std::string(text), "first line\nsecond");
    it.message = nullptr;
    const Bytes quiet = it.build();
    EXPECT_EQ(module_name_count(quiet.data(), quiet.size(), NAME_MESSAGE), 0u);
}
