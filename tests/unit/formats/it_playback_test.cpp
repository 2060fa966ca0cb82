// SPDX-License-Identifier: GPL-2.0-or-later
// IT playback through the public interface: new-note actions and background
// voices, channel volume, slides, envelopes and panning.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "compact_writer.h"
#include "it_cases.h"

using namespace replayer;
using namespace test_modules;

constexpr int S = 19, T = 20;

namespace {

constexpr uint32_t ROW_FRAMES = 6 * 960; // speed 6, tempo 125, 48 kHz

// An instrument module: one looped sample that never ends by itself, and one
// instrument with the given new-note action and duplicate check.
ItBuilder instrument_module(uint8_t action) {
    ItBuilder it;
    it.flags = 1 | 4 | 8;
    ItSample s = sample_of(test_wave(400, false), 1 | 16);
    s.loop_start = 100;
    s.loop_end = 400;
    it.samples = {s};
    ItInstrument ins;
    ins.new_note_action = action;
    ins.fadeout = 8;
    it.instruments = {ins};
    return it;
}

Bytes with_duplicate_check(const ItBuilder& it, uint8_t type, uint8_t action) {
    Bytes b = it.build();
    const size_t h = b[0xC0 + it.orders.size()] | b[0xC1 + it.orders.size()] << 8;
    b[h + 0x12] = type;
    b[h + 0x13] = action;
    return b;
}

int background_voices(const ReplayContext& ctx) {
    int n = 0;
    for (int v = ctx.channel_count; v < ctx.channel_count + ctx.voice_count; ++v)
        n += ctx.channels[v].voice_owner != 0;
    return n;
}

} // namespace

// A note that a new one replaces goes on as the new-note action says: each
// module renders bit for bit as the same notes on two channels, the old one
// cut, left alone or released where the new one starts.
TEST(It, NewNoteActionsPlayAsASecondChannel) {
    struct Row {
        uint8_t action;
        std::vector<ItEntry> more;   // besides the two notes on channel 0
        std::vector<ItEntry> second; // channel 1 of the reference, besides its note
    };
    const std::vector<Row> rows = {
        {NNA_CUT, {}, {{4, 1, 254}}},
        {NNA_CONTINUE, {}, {}},
        {NNA_NOTE_OFF, {}, {{4, 1, 255}}},
        {NNA_NOTE_FADE, {}, {{4, 1, 255}}},
        {NNA_CUT, {{0, 0, -1, -1, -1, S, 0x74}}, {}},                 // S74: this note continues
        {NNA_CONTINUE, {{6, 0, -1, -1, -1, S, 0x70}}, {{6, 1, 254}}}, // S70: cut it later
        {NNA_CONTINUE, {{6, 0, -1, -1, -1, S, 0x71}}, {{6, 1, 255}}}, // S71: release it
        // S72 fades it as a note fade beside a command does.
        {NNA_CONTINUE, {{6, 0, -1, -1, -1, S, 0x72}}, {{6, 1, 130, -1, -1, 1, 6}}},
    };
    for (size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        ItBuilder it = instrument_module(row.action);
        it.patterns[0] = {{0, 0, 60, 1}, {4, 0, 67, 1}};
        for (const ItEntry& e : row.more) {
            if (e.row == 0)
                it.patterns[0][0].command = e.command, it.patterns[0][0].info = e.info;
            else
                it.patterns[0].push_back(e);
        }
        ItBuilder two = instrument_module(NNA_CUT);
        two.patterns[0] = {{0, 1, 60, 1}, {4, 0, 67, 1}};
        for (const ItEntry& e : row.second) two.patterns[0].push_back(e);
        Context ctx = load_ok(it), reference = load_ok(two);
        ASSERT_TRUE(ctx && reference);
        EXPECT_EQ(ctx->voice_count, 64);
        const std::vector<float> want = render(*reference, 40 * ROW_FRAMES);
        // The compact image carries the actions and the voices.
        Context image = load(compact_writer::write_compact(*ctx));
        ASSERT_TRUE(image);
        EXPECT_EQ(render(*ctx, 40 * ROW_FRAMES), want) << "row " << i;
        EXPECT_EQ(render(*image, 40 * ROW_FRAMES), want) << "image, row " << i;
        // The channel's meters hold the louder note it left in the background.
        it.patterns[0][1].volume = two.patterns[0][1].volume = 16;
        Context metered = load_ok(it), apart = load_ok(two);
        set_peak_meters(metered.get(), true);
        set_peak_meters(apart.get(), true);
        render(*metered, 6 * ROW_FRAMES);
        render(*apart, 6 * ROW_FRAMES);
        ChannelInfo got{}, first{}, second{};
        channel_info(*metered, 0, &got);
        channel_info(*apart, 0, &first);
        channel_info(*apart, 1, &second);
        EXPECT_EQ(got.peak_left, std::max(first.peak_left, second.peak_left)) << "row " << i;
    }
    // ...and the actions differ from one another.
    ItBuilder cut = instrument_module(NNA_CUT), go_on = instrument_module(NNA_CONTINUE);
    cut.patterns[0] = go_on.patterns[0] = {{0, 0, 60, 1}, {4, 0, 67, 1}};
    EXPECT_NE(render(*load_ok(cut), 40 * ROW_FRAMES), render(*load_ok(go_on), 40 * ROW_FRAMES));
}

// Duplicate checks end the background notes they name; a full pool gives
// the quietest voice to the next note and plays on.
TEST(It, DuplicateChecksAndAFullPool) {
    ItBuilder it = instrument_module(NNA_CONTINUE);
    it.patterns[0] = {{0, 0, 60, 1}, {1, 0, 60, 1}, {2, 0, 60, 1}, {3, 0, 62, 1}};
    struct Row {
        uint8_t type, action;
        int voices; // playing in the background after row 3
    };
    const Row rows[] = {{DUPLICATE_OFF, 0, 3},
                        {DUPLICATE_NOTE, 0, 2},
                        {DUPLICATE_INSTRUMENT, 0, 1},
                        {DUPLICATE_NOTE, 1, 3}};
    for (const Row& row : rows) {
        Context ctx = load(with_duplicate_check(it, row.type, row.action));
        ASSERT_TRUE(ctx);
        render(*ctx, 4 * ROW_FRAMES);
        EXPECT_EQ(background_voices(*ctx), row.voices) << int{row.type} << " " << int{row.action};
    }
    // A background note whose volume envelope ends at 0 frees its voice.
    ItBuilder short_notes = instrument_module(NNA_CONTINUE);
    short_notes.instruments[0].volume = {1, 0, 0, 0, 0, {{64, 0}, {0, 10}}};
    short_notes.patterns[0] = {{0, 0, 60, 1}, {1, 0, 62, 1}};
    Context gone = load_ok(short_notes);
    ASSERT_TRUE(gone);
    render(*gone, ROW_FRAMES + ROW_FRAMES / 2);
    EXPECT_EQ(background_voices(*gone), 1);
    render(*gone, 2 * ROW_FRAMES);
    EXPECT_EQ(background_voices(*gone), 0);
    ItBuilder busy = instrument_module(NNA_CONTINUE);
    busy.rows = {100};
    for (int r = 0; r < 100; ++r) busy.patterns[0].push_back({r, 0, 40 + r % 40, 1});
    Context ctx = load_ok(busy);
    ASSERT_TRUE(ctx);
    const std::vector<float> out = render(*ctx, 100 * ROW_FRAMES);
    EXPECT_EQ(background_voices(*ctx), 64);
    for (float v : out) ASSERT_TRUE(std::isfinite(v));
}

// The channel volume scales the note as the note's own volume would.
TEST(It, ChannelVolumeScalesTheNote) {
    constexpr int M = 13, N = 14;
    struct Row {
        uint8_t initial;
        std::vector<ItEntry> commands;
        std::vector<ItEntry> equivalent;
    };
    const std::vector<Row> rows = {
        {32, {}, {{0, 0, -1, -1, 32}}},
        {64, {{0, 0, -1, -1, -1, M, 0x20}}, {{0, 0, -1, -1, 32}}},
        {64,
         {{0, 0, -1, -1, -1, M, 0x20}, {2, 0, -1, -1, -1, N, 0x4F}},
         {{0, 0, -1, -1, 32}, {2, 0, -1, -1, 36}}},
    };
    for (size_t i = 0; i < rows.size(); ++i) {
        ItBuilder a, b;
        for (ItBuilder* it : {&a, &b}) {
            it->samples = {sample_of(test_wave(4000, false))};
            it->patterns[0] = {{0, 0, 60, 1}};
        }
        a.channel_volume[0] = rows[i].initial;
        for (ItEntry e : rows[i].commands) {
            e.row == 0 ? (a.patterns[0][0].command = e.command, a.patterns[0][0].info = e.info)
                       : (a.patterns[0].push_back(e), 0);
        }
        for (ItEntry e : rows[i].equivalent) {
            e.row == 0 ? (b.patterns[0][0].volume = e.volume, 0) : (b.patterns[0].push_back(e), 0);
        }
        Context ca = load_ok(a), cb = load_ok(b);
        ASSERT_TRUE(ca && cb);
        Context image = load(compact_writer::write_compact(*ca));
        ASSERT_TRUE(image);
        const std::vector<float> want = render(*cb, 6 * ROW_FRAMES);
        EXPECT_EQ(render(*ca, 6 * ROW_FRAMES), want) << "row " << i;
        EXPECT_EQ(render(*image, 6 * ROW_FRAMES), want) << "image, row " << i;
    }
}

// Tempo, global volume and panning slides, each a Dxy-style slide on the
// later ticks of its row (5 at speed 6), or fine on the row tick.
TEST(It, TempoGlobalVolumeAndPanningSlides) {
    constexpr int P = 16, W = 23;
    struct Row {
        ItEntry effect;
        int tempo, global_volume, channel_panning;
    };
    const Row rows[] = {
        {{0, 0, -1, -1, -1, T, 0x05}, 100, 128, 128},
        {{0, 0, -1, -1, -1, T, 0x1F}, 200, 128, 128},
        {{0, 0, -1, -1, -1, W, 0x04}, 125, 108, 128},
        {{0, 0, -1, -1, -1, W, 0xF8}, 125, 120, 128}, // fine: once
        {{0, 0, -1, -1, -1, P, 0x02}, 125, 128, 88},  // left, 0..64 in steps of 4
        {{0, 0, -1, -1, -1, P, 0x40}, 125, 128, 208},
    };
    for (const Row& row : rows) {
        ItBuilder it;
        it.samples = {sample_of(test_wave(400, false))};
        it.patterns[0] = {row.effect};
        Context ctx = load_ok(it);
        ASSERT_TRUE(ctx);
        render(*ctx, ROW_FRAMES + ROW_FRAMES / 2); // row 0 and part of row 1
        const SongState state = song_state(*ctx);
        EXPECT_EQ(std::tuple(int{state.tempo}, int{state.global_volume},
                             int{ctx->channels[0].channel_panning}),
                  std::tuple(row.tempo, row.global_volume, row.channel_panning))
            << int{row.effect.command} << " " << std::hex << row.effect.info;
    }
}

// Panbrello swings the panning by depth x 8 of 256 of its wave, a phase step
// of its speed (of 256) every tick, as openmpt123 plays Y48 and Y4F: the sine
// rising first, S51's ramp falling from the top, S52's square high and then
// centred, S53's random value standing for `speed` ticks; rows without it
// return to the panning.
TEST(It, Panbrello) {
    constexpr int Y = 25;
    const auto wave = [](int waveform, int phase) -> double {
        switch (waveform) {
        case 1:
            return 64 - phase / 2;
        case 2:
            return phase < 128 ? 64 : 0;
        default:
            return std::round(64 * std::sin(2 * M_PI * phase / 256));
        }
    };
    for (const auto& [waveform, depth] : {std::pair{0, 8}, {0, 15}, {1, 15}, {2, 8}, {3, 15}}) {
        ItBuilder it;
        it.samples = {sample_of(std::vector<int16_t>(100, 100), 1 | 16)};
        it.samples[0].loop_end = 100;
        it.patterns[0] = {{0, 0, 60, 1, -1, S, 0x50 | waveform},
                          {1, 0, -1, -1, -1, Y, 0x40 | depth}};
        for (int row = 2; row < 8; ++row) it.patterns[0].push_back({row, 0, -1, -1, -1, Y, 0});
        Context ctx = load_ok(it);
        ASSERT_TRUE(ctx);
        const std::vector<float> out = render(*ctx, 9 * ROW_FRAMES);
        double held = 0;
        for (int tick = 6; tick < 54; ++tick) {
            const size_t k = 2 * (size_t{960} * tick + 959);
            const double l = out[k], r = out[k + 1];
            const double position = 256 * r * r / (l * l + r * r);
            const int phase = 4 * (tick - 6);
            if (waveform == 3 && tick < 48) {
                if (phase % 16 == 0) held = position;
                EXPECT_NEAR(position, held, 1.0) << "tick " << tick;
                EXPECT_LE(std::abs(position - 128), 64 * depth / 8 + 1) << "tick " << tick;
                continue;
            }
            const double swing = tick < 48 ? wave(waveform, phase % 256) : 0;
            EXPECT_NEAR(position, 128 + swing * depth / 8, 1.0)
                << "waveform " << waveform << " tick " << tick;
        }
    }
}

// Each command remembers its own parameter (E and F one between them), as
// openmpt123 plays it: a 00 after another command repeats its own last.
TEST(It, CommandsKeepTheirOwnMemory) {
    constexpr int D = 4, E = 5, F = 6;
    struct Row {
        ItEntry first, second, third;
        int volume;      // after row 2
        bool same_pitch; // as at the note's start
    };
    const Row rows[] = {
        {{0, 0, 60, 1, -1, D, 0x04},
         {1, 0, -1, -1, -1, E, 0x01},
         {2, 0, -1, -1, -1, D, 0},
         24,
         false},
        {{0, 0, 60, 1, -1, F, 0x08},
         {1, 0, -1, -1, -1, D, 0x01},
         {2, 0, -1, -1, -1, E, 0},
         59,
         true},
    };
    for (const Row& row : rows) {
        ItBuilder it;
        it.samples = {sample_of(test_wave(400, false), 1 | 16)};
        it.samples[0].loop_end = 400;
        it.patterns[0] = {row.first, row.second, row.third};
        Context ctx = load_ok(it);
        ASSERT_TRUE(ctx);
        render(*ctx, 1);
        const uint16_t start = ctx->channels[0].period;
        render(*ctx, 3 * ROW_FRAMES);
        EXPECT_EQ(ctx->channels[0].volume, row.volume) << int{row.first.command};
        EXPECT_EQ(ctx->channels[0].period == start, row.same_pitch) << int{row.first.command};
    }
}

namespace {

// An instrument that plays sample 1 at one of its notes, with `change` applied.
Context tone_module(int note, const std::function<void(ItBuilder&)>& change) {
    ItBuilder it;
    it.flags = 1 | 4 | 8;
    ItSample s = sample_of(test_wave(2000, false), 1 | 16);
    s.loop_start = 0;
    s.loop_end = 2000;
    it.samples = {s};
    it.instruments = {ItInstrument{}};
    it.patterns[0] = {{0, 0, note, 1}};
    change(it);
    return load_ok(it);
}

bool right_side_silent(const std::vector<float>& out) {
    for (size_t i = 1; i < out.size(); i += 2)
        if (out[i] != 0.0f) return false;
    return true;
}

} // namespace

// The pitch envelope shifts the note by half semitones; the instrument's
// global volume and the mix volume scale it as the note volume would;
// pannings reach the sides.
TEST(It, PitchEnvelopeGlobalVolumeAndPanning) {
    struct Row {
        int8_t value;     // the pitch envelope's one node
        uint8_t flags;    // its flags
        int same_as_note; // renders as this note without it
    };
    const Row rows[] = {{2, 1, 61}, {-4, 1, 58}, {0, 1, 60}};
    for (const Row& row : rows) {
        Context shifted = tone_module(60, [&](ItBuilder& it) {
            it.instruments[0].pitch = {row.flags, 0, 0, 0, 0, {{row.value, 0}}};
        });
        Context plain = tone_module(row.same_as_note, [](ItBuilder&) {});
        ASSERT_TRUE(shifted && plain);
        EXPECT_EQ(render(*shifted, 4 * ROW_FRAMES), render(*plain, 4 * ROW_FRAMES))
            << int{row.value};
    }
    // S7B and S77 switch the pitch and volume envelopes off for the note.
    auto switched = [](uint8_t info, ItEnvelope ItInstrument::*envelope, ItEnvelope e) {
        return tone_module(60, [=](ItBuilder& it) {
            it.instruments[0].*envelope = e;
            it.patterns[0].push_back({0, 0, -1, -1, -1, S, info});
        });
    };
    const std::vector<float> plain = render(*tone_module(60, [](ItBuilder&) {}), 4 * ROW_FRAMES);
    EXPECT_EQ(
        render(*switched(0x7B, &ItInstrument::pitch, {1, 0, 0, 0, 0, {{6, 0}}}), 4 * ROW_FRAMES),
        plain);
    EXPECT_EQ(render(*switched(0x77, &ItInstrument::volume, {1, 0, 0, 0, 0, {{64, 0}, {0, 8}}}),
                     4 * ROW_FRAMES),
              plain);
    Context half = tone_module(60, [](ItBuilder& it) { it.instruments[0].global_volume = 64; });
    Context quiet = tone_module(60, [](ItBuilder& it) { it.patterns[0][0].volume = 32; });
    EXPECT_EQ(render(*half, 4 * ROW_FRAMES), render(*quiet, 4 * ROW_FRAMES));
    // The song's mix volume scales every note (as openmpt123's output does).
    Context half_mix = tone_module(60, [](ItBuilder& it) { it.mix_volume = 64; });
    Context quiet_full_mix = tone_module(60, [](ItBuilder& it) {
        it.mix_volume = 128;
        it.patterns[0][0].volume = 32;
    });
    const std::vector<float> quieter = render(*quiet_full_mix, 4 * ROW_FRAMES);
    EXPECT_EQ(render(*load(compact_writer::write_compact(*half_mix)), 4 * ROW_FRAMES), quieter);
    EXPECT_EQ(render(*half_mix, 4 * ROW_FRAMES), quieter);
    Context left_channel = tone_module(60, [](ItBuilder& it) { it.panning[0] = 0; });
    Context left_sample =
        tone_module(60, [](ItBuilder& it) { it.samples[0].default_panning = 0x80; });
    const std::vector<float> a = render(*left_channel, 4 * ROW_FRAMES);
    EXPECT_TRUE(right_side_silent(a));
    EXPECT_EQ(render(*left_sample, 4 * ROW_FRAMES), a);
}

// A sample's sustain loop goes round while the key is held, as a plain loop
// would; released, the frames play on past it to the sample's end, and so
// do they from a compact image. As in
// openmpt123, a note-off releases a note without instruments and it plays on.
TEST(It, SampleSustainLoopGivesWayAtNoteOff) {
    auto with = [](uint8_t loop_flag) {
        return tone_module(60, [=](ItBuilder& it) {
            ItSample& s = it.samples[0];
            s.frames.resize(1500);
            s.flags = static_cast<uint8_t>(1 | loop_flag);
            s.loop_start = s.sustain_start = 100;
            s.loop_end = s.sustain_end = 300;
            it.patterns[0].push_back({3, 0, 255});
        });
    };
    constexpr uint8_t LOOP = 16, SUSTAIN_LOOP = 32;
    constexpr uint32_t HELD = 3 * ROW_FRAMES, ALL = 6 * ROW_FRAMES;
    const std::vector<float> a = render(*with(SUSTAIN_LOOP), ALL), b = render(*with(LOOP), ALL);
    EXPECT_TRUE(std::equal(a.begin(), a.begin() + 2 * HELD, b.begin()));
    // Past the release the sample runs out (1500 frames at 8363 Hz take under
    // 9000 output frames) where the loop plays on.
    const auto silent = [](auto from, auto to) {
        return std::all_of(from, to, [](float v) { return v == 0.0f; });
    };
    EXPECT_FALSE(silent(a.begin() + 2 * HELD, a.begin() + 2 * (HELD + 2000)));
    EXPECT_TRUE(silent(a.end() - 2 * ROW_FRAMES, a.end()));
    EXPECT_FALSE(silent(b.end() - 2 * ROW_FRAMES, b.end()));
    EXPECT_EQ(render(*load(compact_writer::write_compact(*with(SUSTAIN_LOOP))), ALL), a);
    // Without instruments a note-off does not silence the note either.
    ItBuilder samples_only;
    samples_only.samples = {sample_of(test_wave(400, false), 1 | LOOP)};
    samples_only.samples[0].loop_end = 400;
    samples_only.patterns[0] = {{0, 0, 60, 1}, {3, 0, 255}};
    const std::vector<float> out = render(*load_ok(samples_only), ALL);
    EXPECT_FALSE(silent(out.end() - 2 * ROW_FRAMES, out.end()));
}

// A carried envelope goes on where the channel's last note of the same
// instrument left it while that note is still keyed and audible; ModPlug
// Tracker's files start one that has run to its end again. Measured against
// openmpt123 on the same modules. A tone portamento with an instrument leaves
// the envelope running, and restarts it only under compatible Gxx.
TEST(It, EnvelopesCarryAsTheNoteBeforeLeftThem) {
    struct Row {
        const char* what;
        std::vector<ItEntry> entries; // besides the notes on rows 0 and 4
        int second_instrument;        // of the note on row 4, -1 none
        bool carry_flag, ends_early, modplug, carried;
        uint16_t flags = 1 | 4 | 8; // | 32: compatible Gxx
        int command = -1;           // of the note on row 4
    };
    constexpr int G = 7;
    const std::vector<Row> rows = {
        {"same instrument", {}, 1, true, false, false, true},
        {"no instrument number", {}, -1, true, false, false, true},
        {"without the flag", {}, 1, false, false, false, false},
        {"without the flag or an instrument number", {}, -1, false, false, false, false},
        {"after a note-off", {{2, 0, 255}}, 1, true, false, false, false},
        {"after a cut", {{2, 0, 254}}, 1, true, false, false, false},
        {"after another instrument", {{2, 0, 60, 2}}, 1, true, false, false, false},
        {"past its end", {}, 1, true, true, false, true},
        {"past its end, ModPlug", {}, 1, true, true, true, false},
        {"tone portamento", {}, 1, false, false, false, true, 1 | 4 | 8, G},
        {"tone portamento, compatible Gxx", {}, 1, false, false, false, false, 1 | 4 | 8 | 32, G},
    };
    for (const Row& row : rows) {
        ItBuilder it = instrument_module(NNA_CUT);
        it.instruments[0].volume = {
            static_cast<uint8_t>(row.carry_flag ? 1 | 8 : 1),
            0,
            0,
            0,
            0,
            {{64, 0}, {32, static_cast<uint16_t>(row.ends_early ? 8 : 60)}}};
        it.instruments.push_back(it.instruments[0]);
        it.flags = row.flags;
        it.patterns[0] = {{0, 0, 60, 1}, {4, 0, 62, row.second_instrument, -1, row.command, 0x10}};
        it.patterns[0].insert(it.patterns[0].end(), row.entries.begin(), row.entries.end());
        Bytes b = it.build();
        if (row.modplug) {
            put16le(b, 0x28, 0x217);
            put16le(b, 0x2A, 0x200);
        }
        Context ctx = load(b);
        ASSERT_TRUE(ctx) << row.what;
        Context image = load(compact_writer::write_compact(*ctx));
        for (ReplayContext* c : {ctx.get(), image.get()}) {
            render(*c, 5 * ROW_FRAMES); // to the second note's second row
            EXPECT_EQ(c->channels[0].volume_envelope_pos > 24, row.carried) << row.what;
        }
    }
}

// S6x lengthens its row by x ticks, the channels' adding up, and a pattern
// delay repeats the longer row, as openmpt123 times it.
TEST(It, FinePatternDelaysAddUp) {
    constexpr int SE = 0xE0;
    const std::pair<std::vector<ItEntry>, int> rows[] = {
        {{}, 48},
        {{{1, 1, -1, -1, -1, S, 0x6F}}, 63},
        {{{1, 1, -1, -1, -1, S, 0x6F}, {1, 2, -1, -1, -1, S, 0x6F}}, 78},
        {{{1, 1, -1, -1, -1, S, 0x6F}, {1, 2, -1, -1, -1, S, SE | 1}}, 84},
    };
    for (const auto& [entries, ticks] : rows) {
        ItBuilder it = instrument_module(NNA_CUT);
        it.rows = {8};
        it.patterns[0] = entries;
        Context ctx = load_ok(it);
        ASSERT_TRUE(ctx);
        EXPECT_EQ(measure_pass(ctx.get(), 48000 * 10).frames, uint64_t{960} * ticks) << ticks;
    }
}

// SAx adds x times 65536 frames to the sample offsets that follow.
TEST(It, HighOffsetAddsToTheSampleOffset) {
    constexpr int O = 15;
    ItBuilder it;
    it.samples = {sample_of(std::vector<int16_t>(140000, 1000), 1 | 2)};
    it.patterns[0] = {{0, 0, -1, -1, -1, S, 0xA2}, {1, 0, 60, 1, -1, O, 0x03}};
    Context ctx = load_ok(it);
    ASSERT_TRUE(ctx);
    render(*ctx, ROW_FRAMES + 1);
    EXPECT_EQ(ctx->channels[0].position >> 12, 2u * 65536 + 3 * 256); // a fifth of a frame on
}
