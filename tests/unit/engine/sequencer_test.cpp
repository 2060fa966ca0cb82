// SPDX-License-Identifier: GPL-2.0-or-later
// The song clock: tick lengths, row order, breaks, jumps, loops, delays and
// the row-visit table.
#include <gtest/gtest.h>

#include "test_module.h"

namespace replayer::test {
namespace {

// Frame numbers (0-based) at which a tick runs, over the first `frames` frames.
std::vector<uint32_t> tick_frames(ReplayContext& ctx, uint32_t frames) {
    std::vector<uint32_t> ticks;
    for (uint32_t f = 0; f < frames; ++f) {
        const uint32_t before = ctx.playback.tick_remainder;
        advance_frame(ctx);
        if (before < TICK_UNITS_PER_FRAME) ticks.push_back(f);
    }
    return ticks;
}

TEST(Sequencer, TickLengthsFollowTheTempoAndTheRateAndCarryTheFraction) {
    struct Case {
        uint32_t rate;
        uint8_t bpm;
        uint32_t shortest, longest;
    };
    for (const Case& c :
         {Case{48000, 125, 960, 960}, Case{48000, 130, 923, 924}, Case{48000, 32, 3750, 3750},
          Case{48000, 255, 470, 471}, Case{44100, 125, 882, 882}, Case{44100, 130, 848, 849},
          Case{8000, 255, 78, 79}, Case{192000, 125, 3840, 3840}, Case{192000, 32, 15000, 15000}}) {
        TestModule m({.bpm = c.bpm});
        RenderSettings settings = DEFAULT_RENDER_SETTINGS;
        settings.sample_rate = c.rate;
        ASSERT_EQ(set_render_settings(m.ctx, settings), nullptr);
        const std::vector<uint32_t> ticks = tick_frames(*m.ctx, 200000 * (c.rate / 8000));
        ASSERT_GT(ticks.size(), 40u);
        EXPECT_EQ(ticks[0], 0u) << "the first tick falls on the first frame";
        for (size_t i = 1; i < ticks.size(); ++i) {
            EXPECT_GE(ticks[i] - ticks[i - 1], c.shortest) << int{c.bpm};
            EXPECT_LE(ticks[i] - ticks[i - 1], c.longest) << int{c.bpm};
        }
        // The fraction is carried: n ticks last n x 2.5 x rate / BPM frames, to a frame.
        const double exact = (ticks.size() - 1) * 2.5 * c.rate / c.bpm;
        EXPECT_NEAR(ticks.back() - ticks[0], exact, 1.0) << int{c.bpm} << " at " << c.rate;
    }
}

TEST(Sequencer, FirstFrameFetchesRowZeroAndRowsLastSpeedTicks) {
    TestModule m({});
    m.slot(0, 0).volume = 0x30; // row effects of row 0 run before the first frame is mixed
    advance_frame(*m.ctx);
    EXPECT_EQ(m.channel().volume, 0x20);
    run_ticks(*m.ctx, 5);
    EXPECT_EQ(m.playing().second, 0);
    run_tick(*m.ctx);
    EXPECT_EQ(m.playing().second, 1);
}

TEST(Sequencer, SpeedZeroFetchesARowEveryTickLikeSpeedOne) {
    for (uint8_t speed : {0, 1}) {
        TestModule m({.speed = speed});
        for (int t = 0; t < 10; ++t) {
            run_tick(*m.ctx);
            EXPECT_EQ(m.playing().second, t) << "speed " << int{speed};
        }
    }
}

TEST(Sequencer, PatternOf256RowsPlaysEveryRowThenMovesOn) {
    TestModule m({.pattern_rows = {256, 4}, .orders = {0, 1}, .speed = 1});
    run_ticks(*m.ctx, 256);
    EXPECT_EQ(m.playing(), std::make_pair(0, 255));
    run_tick(*m.ctx);
    EXPECT_EQ(m.playing(), std::make_pair(1, 0));
    EXPECT_EQ(m.ctx->playback.order_position, 1);
}

// Order 2 is the last; the restart position is 1.
TEST(Sequencer, BreakOnLastOrderPositionContinuesAtRestartAtTheBreakRow) {
    TestModule m({.pattern_rows = {8, 8, 8}, .orders = {0, 1, 2}, .speed = 1});
    m.ctx->restart_position = 1;
    m.slot(2, 3) = {0, 0, 0, EFFECT_PATTERN_BREAK, 5};
    m.finish();
    run_ticks(*m.ctx, 8 + 8 + 4);
    EXPECT_EQ(m.playing(), std::make_pair(2, 3));
    run_tick(*m.ctx);
    EXPECT_EQ(m.playing(), std::make_pair(1, 5));
    EXPECT_EQ(m.ctx->playback.order_position, 1);
}

TEST(Sequencer, TargetRowBeyondTheLandingPatternStartsItAtRowZero) {
    struct Case {
        const char* name;
        PatternSlot cell;
        int at_row;
    };
    for (const Case& c : {Case{"break", {0, 0, 0, EFFECT_PATTERN_BREAK, 20}, 0},
                          Case{"loop start", {0, 0, 0, EFFECT_PATTERN_LOOP, 0}, 12}}) {
        TestModule m({.pattern_rows = {16, 8}, .orders = {0, 1}, .speed = 1});
        m.slot(0, c.at_row) = c.cell;
        m.finish();
        int ticks = 0;
        while (m.playing().first != 1 && ticks < 100) run_tick(*m.ctx), ++ticks;
        EXPECT_EQ(m.playing(), std::make_pair(1, 0)) << c.name;
    }
}

TEST(Sequencer, LoopStartIsCarriedIntoTheNextPattern) {
    TestModule m({.pattern_rows = {32, 32}, .orders = {0, 1}, .speed = 1});
    m.slot(0, 16) = {0, 0, 0, EFFECT_PATTERN_LOOP, 0};
    m.finish();
    run_ticks(*m.ctx, 33);
    EXPECT_EQ(m.playing(), std::make_pair(1, 16));
}

TEST(Sequencer, PatternDelayRepeatsTheRowWithRowEffectsOnce) {
    TestModule m({.channels = 2});
    m.slot(0, 0, 0) = {0, 0, 0, EFFECT_PATTERN_DELAY, 2};
    m.slot(0, 0, 1) = {0, 0, 0x50, EFFECT_VOLUME_SLIDE, 0x01};
    m.finish();
    run_ticks(*m.ctx, 18);
    EXPECT_EQ(m.playing().second, 0);
    // Volume 64 set once; slides on ticks 1..5 and on all 6 ticks of two repeats.
    EXPECT_EQ(m.channel(1).volume, 64 - 5 - 6 - 6);
    run_tick(*m.ctx);
    EXPECT_EQ(m.playing().second, 1);
}

TEST(Sequencer, LaterChannelBreakSetsTheRowOfAnEarlierJump) {
    TestModule m({.channels = 2, .pattern_rows = {8, 8, 8}, .orders = {0, 1, 2}, .speed = 1});
    m.slot(0, 0, 0) = {0, 0, 0, EFFECT_POSITION_JUMP, 2};
    m.slot(0, 0, 1) = {0, 0, 0, EFFECT_PATTERN_BREAK, 6};
    m.finish();
    run_ticks(*m.ctx, 2);
    EXPECT_EQ(m.playing(), std::make_pair(2, 6));
}

TEST(Sequencer, LoopPassesAreNotCountedAsVisitsAndTheSongRepeats) {
    TestModule m({.pattern_rows = {4}, .speed = 1});
    m.slot(0, 1) = {0, 0, 0, EFFECT_PATTERN_LOOP, 0};
    m.slot(0, 2) = {0, 0, 0, EFFECT_PATTERN_LOOP, 2};
    m.finish();
    // Rows 0, 1, 2, 1, 2, 1, 2, 3.
    std::vector<int> rows;
    for (int t = 0; t < 8; ++t) run_tick(*m.ctx), rows.push_back(m.playing().second);
    EXPECT_EQ(rows, (std::vector<int>{0, 1, 2, 1, 2, 1, 2, 3}));
    for (int r = 0; r < 4; ++r) EXPECT_EQ(m.ctx->row_visits[r], 1) << "row " << r;
    // Past the end the song starts again, at the loop start that the last pass
    // through row 1 left behind; that row has been visited once before.
    run_tick(*m.ctx);
    EXPECT_EQ(m.playing().second, 1);
    EXPECT_EQ(m.ctx->playback.row_visits, 1);
}

TEST(Sequencer, OrderEntryWithoutAPatternPlaysSixtyFourEmptyRows) {
    TestModule m({.pattern_rows = {4}, .orders = {0, 7}, .speed = 1});
    const PatternSlot* first = m.ctx->slots;
    const PatternSlot* last = first + m.ctx->total_rows * m.ctx->channel_count;
    run_ticks(*m.ctx, 4);
    for (int t = 0; t < 64; ++t) {
        run_tick(*m.ctx);
        const PatternSlot* slot = m.channel().slot;
        EXPECT_TRUE(std::less<>{}(slot, first) || !std::less<>{}(slot, last)) << "tick " << t;
        EXPECT_EQ(slot->effect, 0);
    }
    run_tick(*m.ctx);
    EXPECT_EQ(m.playing(), std::make_pair(0, 0));
}

} // namespace
} // namespace replayer::test
