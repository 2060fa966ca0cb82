// SPDX-License-Identifier: GPL-2.0-or-later
// The intro's own module, as it is compiled into the program.
#include <gtest/gtest.h>

#include <set>

#include "assets.h"
#include "module_builders.h"
#include "module_check.h"

using namespace test_modules;

TEST(IntroModule, LoadsWithTheExpectedShape) {
    const replayer::ScanResult scanned = replayer::module_prescan(module_data, module_data_size);
    ASSERT_EQ(scanned.error, nullptr);
    const replayer::ModuleScan& s = scanned.scan;
    EXPECT_EQ(s.format, replayer::FORMAT_XM);
    EXPECT_GE(s.channel_count, 6);
    EXPECT_GE(s.instrument_count, 8);
    const replayer::SizeResult size = replayer::context_size(s);
    ASSERT_EQ(size.error, nullptr);

    Loaded loaded(std::vector<uint8_t>(module_data, module_data + module_data_size));
    ASSERT_NE(loaded.result.context, nullptr);
    const replayer::ReplayContext& ctx = loaded.ctx();
    EXPECT_EQ(check_context(ctx), "");

    // What the module must exercise: envelopes with sustain and loop, a panning
    // envelope, both sample widths (8-bit data is a multiple of 256), both
    // loop kinds, patterns of different lengths and effects from the table.
    int volume_envelopes = 0, sustains = 0, loops = 0, panning = 0;
    for (int k = 0; k < ctx.instrument_count; ++k) {
        const auto& v = ctx.instruments[k].volume_envelope;
        volume_envelopes += v.point_count > 0;
        sustains += v.point_count > 0 && v.sustain != replayer::SUSTAIN_NONE;
        loops += v.loop_end > 0;
        panning += ctx.instruments[k].panning_envelope.point_count > 0;
    }
    EXPECT_GE(volume_envelopes, 8);
    EXPECT_GE(sustains, 1);
    EXPECT_GE(loops, 1);
    EXPECT_GE(panning, 1);

    int eight_bit = 0, sixteen_bit = 0, forward = 0, pingpong = 0;
    for (int i = 0; i < ctx.sample_count; ++i) {
        const replayer::SampleRecord& r = ctx.samples[i];
        bool all_multiples = true;
        for (uint32_t f = 0; f < r.length; ++f)
            all_multiples &= ctx.sample_data[r.data_index + f] % 256 == 0;
        (all_multiples ? eight_bit : sixteen_bit) += 1;
        if (r.loop_length) (r.flags_volume & replayer::SAMPLE_FLAG_PINGPONG ? pingpong : forward)++;
    }
    EXPECT_GE(eight_bit, 1);
    EXPECT_GE(sixteen_bit, 1);
    EXPECT_GE(forward, 1);
    EXPECT_GE(pingpong, 1);

    std::set<int> lengths, effects;
    for (int j = 0; j < ctx.pattern_count; ++j) lengths.insert(ctx.patterns[j].row_count);
    EXPECT_GE(lengths.size(), 2u);
    for (uint64_t i = 0; i < uint64_t{ctx.total_rows} * ctx.channel_count; ++i)
        if (ctx.slots[i].effect || ctx.slots[i].parameter) effects.insert(ctx.slots[i].effect);
    for (int e :
         {replayer::EFFECT_ARPEGGIO, replayer::EFFECT_PORTA_DOWN, replayer::EFFECT_TONE_PORTA,
          replayer::EFFECT_VOLUME_SLIDE, replayer::EFFECT_POSITION_JUMP, replayer::EFFECT_SET_SPEED,
          replayer::EFFECT_SET_BPM, replayer::EFFECT_KEY_OFF})
        EXPECT_EQ(effects.count(e), 1u) << "effect " << e;
}
