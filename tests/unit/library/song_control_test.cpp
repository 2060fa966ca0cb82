// SPDX-License-Identifier: GPL-2.0-or-later
// Control of time and what a player shows: the repeat count and the end a
// render reports, subsongs, and the live song, channel and pattern state;
// each through the C++ and the C interface.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "library_support.h"

namespace {

using namespace library_test;

constexpr uint64_t LIMIT = uint64_t{PASS_LIMIT_SECONDS} * OUTPUT_SAMPLE_RATE;

// A render stops where the last pass the count allows ends: the frames are
// those of the endless render up to there, every later call is silence, and
// the sequencer alone counts the same frames.
TEST(LibraryRepeat, RenderStopsWhereTheLastPassEnds) {
    constexpr uint32_t CHUNK = 4099; // no divisor of a pass
    for (const auto& [name, song] : {std::pair{"intro", intro_module()}, {"jumps", jumping_xm()}})
        for (int32_t repeats : {0, 1, 3}) {
            SCOPED_TRACE(std::string(name) + " x" + std::to_string(repeats));
            CppModule m(song), endless(song), measured(song);
            ASSERT_TRUE(set_repeat_count(m.loaded.context, repeats));
            ASSERT_TRUE(set_repeat_count(measured.loaded.context, repeats));
            ASSERT_TRUE(set_repeat_count(endless.loaded.context, REPEAT_FOREVER));
            const std::vector<float> got = render_to_end(m.loaded.context, CHUNK, LIMIT);
            const uint64_t frames = got.size() / 2;
            const PassInfo song_length = measure_song(measured.loaded.context, LIMIT);
            EXPECT_TRUE(song_length.ended);
            EXPECT_EQ(frames, song_length.frames);
            if (repeats == 0) {
                EXPECT_EQ(frames, measure_pass(measured.loaded.context, LIMIT).frames);
            }
            std::vector<float> want = render_to_end(endless.loaded.context, CHUNK, frames + CHUNK);
            EXPECT_FALSE(song_ended(*endless.loaded.context));
            want.resize(got.size());
            EXPECT_EQ(first_difference(got, want), -1);

            EXPECT_TRUE(song_ended(*m.loaded.context));
            EXPECT_EQ(song_state(*m.loaded.context).passes_ended, uint32_t(repeats) + 1);
            std::vector<float> after(2 * 100, 1.0f);
            EXPECT_EQ(generate_frames(m.loaded.context, after.data(), 100), 0u);
            EXPECT_EQ(first_difference(after, std::vector<float>(200, 0.0f)), -1);
            // A seek puts it back into the song; past its end leaves it ended.
            seek_to_frame(m.loaded.context, frames - 10);
            EXPECT_EQ(generate_frames(m.loaded.context, after.data(), 100), 10u);
            seek_to_frame(m.loaded.context, frames + 5);
            EXPECT_TRUE(song_ended(*m.loaded.context));
        }

    CModule c(jumping_xm());
    EXPECT_EQ(quillrun_set_repeat_count(c.handle, -2), 0);
    ASSERT_EQ(quillrun_set_repeat_count(c.handle, 1), 1);
    std::vector<float> buffer(2 * 48000);
    uint64_t total = 0;
    for (uint32_t got = 48000; got == 48000;)
        total += got = quillrun_render(c.handle, buffer.data(), 48000);
    EXPECT_EQ(quillrun_song_ended(c.handle), 1);
    CppModule twice(jumping_xm());
    set_repeat_count(twice.loaded.context, 1);
    EXPECT_EQ(total, measure_song(twice.loaded.context, LIMIT).frames);
}

// Orders 0, 1 and 3 play patterns 0, 1 and 2 (4 rows); pattern 0 jumps back
// to order 0 and pattern 1 on to order 3, whose pattern jumps back to order
// 1. Order 2 is never reached from either: it is a third song, which plays on
// into order 3 and 1 until a row comes round again.
Bytes subsong_xm() {
    xmwriter::Module m = test_modules::small_module();
    m.orders = {0, 1, 1, 2};
    m.patterns.resize(3, m.patterns[0]);
    m.patterns[0].cells[3] = {0, 0, 0, 0xB, 0x00};
    m.patterns[1].cells[0] = {61, 1, 0, 0, 0};
    m.patterns[1].cells[3] = {0, 0, 0, 0xB, 0x03};
    m.patterns[2].cells[0] = {37, 1, 0, 0, 0};
    m.patterns[2].cells[3] = {0, 0, 0, 0xB, 0x01};
    return xmwriter::write_xm(m);
}

TEST(LibrarySubsongs, AreTheSectionsNoEarlierSongReaches) {
    const Bytes song = subsong_xm();
    CppModule m(song);
    ReplayContext* ctx = m.loaded.context;
    SubsongInfo found[MAX_SUBSONGS];
    ASSERT_EQ(list_subsongs(ctx, found, MAX_SUBSONGS), 3u);
    EXPECT_EQ(list_subsongs(ctx, nullptr, 0), 3u);
    const uint16_t starts[] = {0, 1, 2};
    const uint32_t rows[] = {4, 8, 12}; // 4-row patterns at speed 6, 125 BPM: 5760 frames a row
    for (uint32_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(found[i].start_order, starts[i]);
        EXPECT_TRUE(found[i].pass.ended);
        EXPECT_EQ(found[i].pass.frames, rows[i] * 5760u);
        EXPECT_DOUBLE_EQ(found[i].seconds, rows[i] * 0.12);
        // Selected, it renders that long, as the song started by a jump there.
        CppModule selected(song), jumped(song);
        ASSERT_TRUE(select_subsong(selected.loaded.context, i));
        EXPECT_EQ(measure_pass(selected.loaded.context, LIMIT).frames, found[i].pass.frames);
        const std::vector<float> got = render_to_end(selected.loaded.context, 1000, LIMIT);
        EXPECT_EQ(got.size() / 2, found[i].pass.frames);
        ASSERT_TRUE(set_position(jumped.loaded.context, starts[i], 0));
        std::vector<float> want = render_to_end(jumped.loaded.context, 1000, LIMIT);
        EXPECT_EQ(first_difference(got, want), -1);
        EXPECT_EQ(song_state(*selected.loaded.context).subsong, i);
    }
    EXPECT_FALSE(select_subsong(ctx, 3));
    EXPECT_EQ(song_state(*ctx).subsong, 0);

    CModule c(song);
    std::vector<float> scratch(2 * 3000);
    quillrun_render(c.handle, scratch.data(), 3000);
    EXPECT_EQ(quillrun_subsong_count(c.handle), 3u);
    uint16_t start = 0;
    uint64_t frames = 0;
    double seconds = 0;
    ASSERT_EQ(quillrun_subsong_info(c.handle, 2, &start, &frames, &seconds), 1);
    EXPECT_EQ(std::tuple(start, frames, seconds), std::tuple(uint16_t{2}, uint64_t{69120}, 1.44));
    EXPECT_EQ(quillrun_subsong_info(c.handle, 3, nullptr, nullptr, nullptr), 0);
    // Counting left playback where it was.
    CppModule plain(song);
    std::vector<float> a(2 * 3000), b(2 * 3000);
    generate_frames(plain.loaded.context, a.data(), 3000);
    generate_frames(plain.loaded.context, a.data(), 3000);
    quillrun_render(c.handle, b.data(), 3000);
    EXPECT_EQ(first_difference(a, b), -1);
    ASSERT_EQ(quillrun_select_subsong(c.handle, 1), 1);
    EXPECT_EQ(quillrun_pass_frames(c.handle), 8u * 5760u);
}

// The peaks channel_info reports are the largest values each channel added
// to its side: what rendering that channel alone gives, to the unit of
// 1/65535. A muted channel shows none; the song's state follows the render.
TEST(LibraryLiveState, PeaksAreWhatEachChannelAdded) {
    constexpr uint32_t SKIP = 25 * 48000, FRAMES = 3000;
    const Bytes song = intro_module();
    for (const RenderSettings& settings : {DEFAULT_RENDER_SETTINGS, LISTENING_RENDER_SETTINGS}) {
        CppModule mix(song);
        ReplayContext* ctx = mix.loaded.context;
        ASSERT_EQ(set_render_settings(ctx, settings), nullptr);
        ASSERT_TRUE(set_channel_mute(ctx, 2, true));
        std::vector<float> out(2 * size_t{SKIP});
        ChannelInfo unmetered{};
        generate_frames(ctx, out.data(), SKIP);
        channel_info(*ctx, 0, &unmetered);
        EXPECT_EQ(unmetered.peak_left, 0.0f) << "meters off";
        restart_song(ctx);
        set_peak_meters(ctx, true);
        generate_frames(ctx, out.data(), SKIP);
        generate_frames(ctx, out.data(), FRAMES);
        const SongState state = song_state(*ctx);
        const PlaybackPosition at = playback_position(*ctx);
        EXPECT_EQ(std::tuple(state.order, state.pattern, state.row, state.tick),
                  std::tuple(at.order, at.pattern, at.row, at.tick));
        EXPECT_EQ(state.speed, ctx->playback.speed);
        EXPECT_EQ(state.tempo, ctx->playback.bpm);
        int heard = 0;
        for (uint8_t c = 0; c < ctx->channel_count; ++c) {
            SCOPED_TRACE(int{c});
            ChannelInfo info{};
            ASSERT_TRUE(channel_info(*ctx, c, &info));
            CppModule alone(song);
            ASSERT_EQ(set_render_settings(alone.loaded.context, settings), nullptr);
            ASSERT_TRUE(set_channel_solo(alone.loaded.context, c, true));
            if (c == 2) set_channel_mute(alone.loaded.context, c, true);
            std::vector<float> solo(2 * size_t{SKIP});
            generate_frames(alone.loaded.context, solo.data(), SKIP);
            generate_frames(alone.loaded.context, solo.data(), FRAMES);
            float left = 0, right = 0;
            for (uint32_t f = 0; f < FRAMES; ++f) {
                left = std::max(left, std::fabs(solo[2 * f]));
                right = std::max(right, std::fabs(solo[2 * f + 1]));
            }
            EXPECT_NEAR(info.peak_left, left, 1.0 / 65535);
            EXPECT_NEAR(info.peak_right, right, 1.0 / 65535);
            EXPECT_LE(info.peak_left, left);
            heard += info.peak_left > 0;
            if (c == 2) {
                EXPECT_EQ(info.peak_left + info.peak_right, 0.0f);
            }
        }
        EXPECT_GE(heard, 2) << "the stretch plays several channels";
        ChannelInfo none{};
        EXPECT_FALSE(channel_info(*ctx, ctx->channel_count, &none));

        CModule c(song);
        quillrun_channel_info ci{};
        ASSERT_EQ(
            quillrun_set_settings(c.handle, reinterpret_cast<const quillrun_settings*>(&settings)),
            nullptr);
        quillrun_set_peak_meters(c.handle, 1);
        quillrun_render(c.handle, out.data(), SKIP);
        quillrun_render(c.handle, out.data(), FRAMES);
        ASSERT_EQ(quillrun_get_channel_info(c.handle, 0, &ci), 1);
        ChannelInfo first{};
        CppModule again(song);
        set_render_settings(again.loaded.context, settings);
        set_peak_meters(again.loaded.context, true);
        generate_frames(again.loaded.context, out.data(), SKIP);
        generate_frames(again.loaded.context, out.data(), FRAMES);
        channel_info(*again.loaded.context, 0, &first);
        EXPECT_EQ(
            std::tuple(ci.note, ci.instrument, ci.volume, ci.panning, ci.peak_left),
            std::tuple(first.note, first.instrument, first.volume, first.panning, first.peak_left));
        EXPECT_EQ(quillrun_get_song_state(c.handle).row, song_state(*again.loaded.context).row);
    }
}

// Cells as the module's tracker writes them, in XM/MOD and in S3M notation.
TEST(LibraryCells, ReadAndWrittenAsTrackersShowThem) {
    struct Case {
        PatternSlot cell;
        const char* xm;
        const char* s3m;
    };
    const Case cases[] = {
        {{0, 0, 0, EFFECT_ARPEGGIO, 0}, "... .. ... ...", "... .. ... ..."},
        {{49, 1, 0x50, EFFECT_VOLUME_SLIDE, 0x0F}, "C-4 01 v64 A0F", "C-4 01 v64 D0F"},
        {{2, 0x1F, 0x10, EFFECT_SET_SPEED, 6}, "C#0 1F v00 F06", "C#0 1F v00 A06"},
        {{96, 0, 0x6A, EFFECT_PATTERN_BREAK, 12}, "B-7 .. d10 D12", "B-7 .. d10 C12"},
        {{NOTE_KEY_OFF, 0, 0xF3, EFFECT_SET_CHANNEL_PANNING, 0xEE},
         "=== .. g03 E8E",
         "=== .. g03 S8E"},
        {{NOTE_RETRIGGER, 0, 0, EFFECT_VIBRATO_WAVEFORM, WAVEFORM_KEEP_PHASE | 2},
         "^^^ .. ... E46",
         "^^^ .. ... S36"},
        {{0, 0, 0xC8, EFFECT_S3M_PORTA_UP, 0xF2}, "... .. p08 FF2", "... .. p08 FF2"},
        {{0, 0, 0, EFFECT_EXTRA_FINE_PORTA_DOWN, 3}, "... .. ... X23", "... .. ... X23"},
        {{0, 0, 0, EFFECT_NOTE_FADE, 0}, "~~~ .. ... ...", "~~~ .. ... ..."},
        {{0, 2, 0, EFFECT_SET_CHANNEL_VOLUME, 0x20}, "... 02 ... M20", "... 02 ... M20"},
        {{0, 0, 0, EFFECT_PAST_NOTES, 1}, "... .. ... S71", "... .. ... S71"},
        {{0, 0, 0, EFFECT_SET_NEW_NOTE_ACTION, 5}, "... .. ... S75", "... .. ... S75"},
        {{0, 0, 0, EFFECT_SET_FILTER_MACRO, 2}, "... .. ... SF2", "... .. ... SF2"},
        {{0, 0, 0, EFFECT_MIDI_MACRO, 0x84}, "... .. ... Z84", "... .. ... Z84"},
    };
    CppModule m(intro_module());
    ReplayContext& ctx = *m.loaded.context;
    for (const Case& c : cases) {
        char text[CELL_TEXT_SIZE];
        ctx.song.format = FORMAT_XM;
        EXPECT_EQ(cell_text(ctx, c.cell, text, sizeof text), 14u);
        EXPECT_STREQ(text, c.xm);
        ctx.song.format = FORMAT_S3M;
        cell_text(ctx, c.cell, text, sizeof text);
        EXPECT_STREQ(text, c.s3m);
    }
    ctx.song.format = FORMAT_XM;
    char cut[5];
    EXPECT_EQ(cell_text(ctx, cases[1].cell, cut, sizeof cut), 14u);
    EXPECT_STREQ(cut, "C-4 ");

    // Every cell of every pattern, C++ and C alike; nothing outside them.
    CModule c(intro_module());
    for (uint16_t p = 0; p < ctx.pattern_count; ++p)
        for (uint16_t row = 0; row < pattern_rows(ctx, p); ++row)
            for (uint8_t ch = 0; ch < ctx.channel_count; ++ch) {
                PatternSlot cell{};
                ASSERT_TRUE(pattern_cell(ctx, p, row, ch, &cell));
                const PatternSlot& slot =
                    ctx.slots[(size_t{ctx.patterns[p].first_row} + row) * ctx.channel_count + ch];
                ASSERT_EQ(std::memcmp(&cell, &slot, sizeof cell), 0);
                char a[CELL_TEXT_SIZE], b[CELL_TEXT_SIZE];
                cell_text(ctx, cell, a, sizeof a);
                ASSERT_EQ(quillrun_cell_text(c.handle, p, row, ch, b, sizeof b), 14u);
                ASSERT_STREQ(a, b);
            }
    PatternSlot untouched{1, 2, 3, 4, 5};
    EXPECT_FALSE(pattern_cell(ctx, ctx.pattern_count, 0, 0, &untouched));
    EXPECT_FALSE(pattern_cell(ctx, 0, pattern_rows(ctx, 0), 0, &untouched));
    EXPECT_FALSE(pattern_cell(ctx, 0, 0, ctx.channel_count, &untouched));
    EXPECT_EQ(untouched.note, 1);
    char empty[4] = "xyz";
    EXPECT_EQ(quillrun_cell_text(c.handle, 999, 0, 0, empty, sizeof empty), 0u);
    EXPECT_STREQ(empty, "");
}

} // namespace
