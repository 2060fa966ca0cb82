// SPDX-License-Identifier: GPL-2.0-or-later
// The mixer: sample stepping, loops, frame counts, and the block mixer's
// bit-for-bit agreement with the per-frame rule.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "assets.h"
#include "test_module.h"

namespace replayer::test {
namespace {

constexpr float UNIT = 0x1p-17f; // one sample step at full gain: 2^-15 x 0.25

// One channel playing sample 0 directly, without the sequencer: frame i of the
// sample holds i + 1, so the output tells which frame was read.
struct MixRig {
    explicit MixRig(uint32_t length, uint32_t loop = 0, bool pingpong = false) : m(shape(length)) {
        SampleRecord& s = m.sample();
        s.loop_length = loop;
        if (pingpong) s.flags_volume |= SAMPLE_FLAG_PINGPONG;
        for (uint32_t i = 0; i < length; ++i) m.sample_frames()[i] = static_cast<int16_t>(i + 1);
        ChannelState& ch = m.channel();
        ch.sample = &s;
        ch.step = POSITION_ONE;
        ch.gain_left = 1.0f;
        ch.gain_right = 0.5f;
    }
    static ModuleShape shape(uint32_t length) {
        ModuleShape s;
        s.sample_frames = {length};
        return s;
    }
    // Frame indices read over `frames` output frames; -1 for silence.
    std::vector<int> read(uint32_t frames) {
        std::vector<float> out(size_t{frames} * 2, 0.0f);
        mix_block(*m.ctx, out.data(), frames);
        std::vector<int> indices;
        for (uint32_t f = 0; f < frames; ++f) {
            indices.push_back(static_cast<int>(out[2 * f] / UNIT) - 1);
            EXPECT_EQ(out[2 * f + 1], 0.5f * out[2 * f]) << "right gain 0.5, frame " << f;
        }
        return indices;
    }
    TestModule m;
};

std::vector<int> range(int from, int to) { // inclusive, either direction
    std::vector<int> r;
    for (int i = from;; i += from <= to ? 1 : -1) {
        r.push_back(i);
        if (i == to) break;
    }
    return r;
}

std::vector<int> concat(std::initializer_list<std::vector<int>> parts) {
    std::vector<int> r;
    for (const auto& p : parts) r.insert(r.end(), p.begin(), p.end());
    return r;
}

TEST(Mixer, SampleStepping) {
    struct Case {
        const char* name;
        uint32_t length, loop;
        bool pingpong;
        uint32_t step, frames;
        std::vector<int> expected;
    };
    const std::vector<int> silence(10, -1);
    for (const Case& c : {
             Case{"step 4096 reads every frame", 100, 0, false, 4096, 110,
                  concat({range(0, 99), silence})},
             Case{"step 2048 sounds for twice the length", 100, 0, false, 2048, 210,
                  [] {
                      std::vector<int> r;
                      for (int i = 0; i < 200; ++i) r.push_back(i / 2);
                      r.resize(210, -1);
                      return r;
                  }()},
             Case{"forward loop", 100, 10, false, 4096, 130,
                  concat({range(0, 99), range(90, 99), range(90, 99), range(90, 99)})},
             Case{"ping-pong loop", 100, 10, true, 4096, 130,
                  concat({range(0, 99), range(99, 90), range(90, 99), range(99, 90)})},
         }) {
        MixRig rig(c.length, c.loop, c.pingpong);
        rig.m.channel().step = c.step;
        EXPECT_EQ(rig.read(c.frames), c.expected) << c.name;
    }
}

// Positions near 2^32 (the end of a sample of about 2^20 frames) must not wrap
// to the start of the sample.
TEST(Mixer, LongSampleEndsOrLoopsInsteadOfWrappingPastTheTop) {
    constexpr uint32_t length = 0xFFFFF;
    for (uint32_t loop : {0u, 0x1000u}) {
        MixRig rig(length, loop);
        ChannelState& ch = rig.m.channel();
        ch.position = 0xFFFFD000;
        ch.step = 0x3000;
        const std::vector<int> read = rig.read(3);
        // Frame i holds i + 1 in 16 bits.
        auto encoded = [](uint64_t i) { return static_cast<int16_t>(i + 1) - 1; };
        EXPECT_EQ(read[0], encoded(0xFFFFD));
        if (loop == 0) {
            EXPECT_EQ(read[1], -1);
            EXPECT_EQ(read[2], -1);
        } else {
            // 0x100000000 wraps into the loop of 0x1000 frames ending at 0xFFFFF.
            const uint64_t loop_start = uint64_t{length - loop} << 12;
            const uint64_t wrapped = loop_start + ((uint64_t{0xFFFFD000} + 0x3000 - loop_start) %
                                                   (uint64_t{loop} << 12));
            EXPECT_EQ(read[1], encoded(wrapped >> 12));
        }
    }
}

// Every frame asked for is rendered, however many: one call for 65536 or
// 100000 frames gives what the same song gives in 1024-frame buffers and
// writes nothing past the request; a call for no frames writes nothing.
TEST(Mixer, GeneratesEveryFrameAskedFor) {
    constexpr uint32_t BUFFER = 1024;
    constexpr float UNWRITTEN = 7.0f;
    for (uint32_t count : {0u, 65536u, 100000u}) {
        SCOPED_TRACE(count);
        LoadResult whole = load_module_checked(module_data, module_data_size);
        LoadResult buffered = load_module_checked(module_data, module_data_size);
        ASSERT_NE(whole.context, nullptr) << whole.error;
        std::vector<float> out(size_t{count + 1} * OUTPUT_CHANNELS, UNWRITTEN);
        generate_frames(whole.context, out.data(), count);
        std::vector<float> expected(size_t{count} * OUTPUT_CHANNELS);
        for (uint32_t done = 0; done < count; done += BUFFER)
            generate_frames(buffered.context, &expected[size_t{done} * OUTPUT_CHANNELS],
                            std::min(BUFFER, count - done));
        if (count != 0) {
            EXPECT_EQ(std::memcmp(out.data(), expected.data(), expected.size() * sizeof(float)), 0);
        }
        EXPECT_EQ(out[size_t{count} * OUTPUT_CHANNELS], UNWRITTEN);
        EXPECT_EQ(out[size_t{count} * OUTPUT_CHANNELS + 1], UNWRITTEN);
        free_module(whole.context);
        free_module(buffered.context);
    }
}

// Random channel set-ups, mixed as one block and frame by frame.
TEST(Mixer, BlockMixingIsBitIdenticalToThePerFrameRule) {
    std::mt19937 random(1234);
    auto pick = [&](uint32_t lo, uint32_t hi) {
        return std::uniform_int_distribution<uint32_t>(lo, hi)(random);
    };
    for (int trial = 0; trial < 300; ++trial) {
        ModuleShape shape;
        shape.channels = 8;
        shape.samples = 8;
        shape.instruments = 8;
        shape.sample_frames.clear();
        for (int s = 0; s < 8; ++s) shape.sample_frames.push_back(pick(0, 3000));
        TestModule a(shape), b(shape);
        for (TestModule* m : {&a, &b}) {
            std::mt19937 fill(trial);
            for (uint32_t i = 0; i < m->ctx->total_sample_frames; ++i)
                m->ctx->sample_data[i] = static_cast<int16_t>(fill());
        }
        for (int c = 0; c < 8; ++c) {
            const uint32_t length = shape.sample_frames[c];
            const uint32_t loop = pick(0, 2) ? pick(0, length) : 0;
            const bool pingpong = pick(0, 1);
            const uint32_t step = pick(0, 3) == 0 ? pick(0, 40) : pick(0, 60000);
            const uint32_t position = pick(0, (length + loop + 10) * 4096);
            const float left = std::uniform_real_distribution<float>(0, 1)(random);
            const float right = std::uniform_real_distribution<float>(0, 1)(random);
            const bool present = pick(0, 7) != 0;
            for (TestModule* m : {&a, &b}) {
                SampleRecord& s = m->sample(c);
                s.loop_length = loop;
                if (pingpong) s.flags_volume |= SAMPLE_FLAG_PINGPONG;
                ChannelState& ch = m->channel(c);
                ch.sample = present ? &s : nullptr;
                ch.position = position;
                ch.step = step;
                ch.gain_left = left;
                ch.gain_right = right;
            }
        }
        const uint32_t frames = pick(1, 3000);
        std::vector<float> block(size_t{frames} * 2, 0.0f), per_frame(size_t{frames} * 2, 0.0f);
        mix_block(*a.ctx, block.data(), frames);
        for (uint32_t f = 0; f < frames; ++f) mix_frame(*b.ctx, &per_frame[size_t{f} * 2]);
        ASSERT_EQ(std::memcmp(block.data(), per_frame.data(), block.size() * sizeof(float)), 0)
            << "trial " << trial;
        for (int c = 0; c < 8; ++c) {
            ASSERT_EQ(a.channel(c).position, b.channel(c).position) << "trial " << trial;
            ASSERT_EQ(a.channel(c).sample_ended, b.channel(c).sample_ended) << "trial " << trial;
        }
    }
}

// A small song with notes, slides, vibrato, envelopes and loops, rendered in
// uneven buffer sizes and frame by frame: by the per-frame rule for the
// intro's rendering, by one-frame calls for the other settings (their ramps
// and fades carry across calls).
TEST(Mixer, GeneratedFramesEqualTheFrameByFrameRule) {
    RenderSettings ramped_linear = LISTENING_RENDER_SETTINGS;
    ramped_linear.interpolation = INTERPOLATION_LINEAR;
    ramped_linear.sample_rate = 44100;
    RenderSettings steady_cubic = ramped_linear;
    steady_cubic.interpolation = INTERPOLATION_CUBIC;
    steady_cubic.ramping = 0;
    steady_cubic.sample_rate = 22050;
    for (const RenderSettings& settings :
         {DEFAULT_RENDER_SETTINGS, LISTENING_RENDER_SETTINGS, ramped_linear, steady_cubic}) {
        ModuleShape shape;
        shape.channels = 4;
        shape.instruments = 2;
        shape.samples = 2;
        shape.sample_frames = {5000, 800};
        shape.pattern_rows = {16, 16};
        shape.orders = {0, 1, 0};
        shape.bpm = 131;
        shape.speed = 3;
        auto build = [&](TestModule& m) {
            for (uint32_t i = 0; i < 5800; ++i)
                m.ctx->sample_data[i] = static_cast<int16_t>(i * 7919);
            m.sample(1).loop_length = 300;
            m.sample(1).flags_volume |= SAMPLE_FLAG_PINGPONG;
            EnvelopeRecord& e = m.instrument(1).volume_envelope;
            e.points[0] = {0, 64};
            e.points[1] = {20, 10};
            e.point_count = 2;
            e.sustain = SUSTAIN_NONE;
            m.instrument(1).fadeout = 500;
            for (int p = 0; p < 2; ++p)
                for (int r = 0; r < 16; r += 2) {
                    m.slot(p, r, 0) = {static_cast<uint8_t>(30 + r + p), 1, 0, EFFECT_VIBRATO,
                                       0x46};
                    m.slot(p, r, 1) = {static_cast<uint8_t>(40 + r), 2, 0, EFFECT_PORTA_UP, 0x03};
                    m.slot(p, r + 1, 1) = {NOTE_KEY_OFF, 0, 0, EFFECT_VOLUME_SLIDE, 0x02};
                    m.slot(p, r, 2) = {static_cast<uint8_t>(50 - r), 1, 0xC3, EFFECT_ARPEGGIO,
                                       0x47};
                    m.slot(p, r, 3) = {static_cast<uint8_t>(20 + r), 2, 0, EFFECT_TREMOLO, 0x88};
                }
            m.finish();
            ASSERT_EQ(set_render_settings(m.ctx, settings), nullptr);
        };
        TestModule a(shape), b(shape);
        build(a);
        build(b);
        const uint32_t total = 48000 * 3;
        std::vector<float> chunked;
        for (uint32_t done = 0, n = 1; done < total; done += n, n = n * 3 % 2000 + 1) {
            const std::vector<float> part = render(*a.ctx, std::min(n, total - done));
            chunked.insert(chunked.end(), part.begin(), part.end());
        }
        std::vector<float> reference(size_t{total} * 2);
        if (b.ctx->mix.exact)
            reference = render_per_frame(*b.ctx, total);
        else
            for (uint32_t f = 0; f < total; ++f)
                generate_frames(b.ctx, &reference[2 * size_t{f}], 1);
        ASSERT_EQ(chunked.size(), reference.size());
        EXPECT_EQ(std::memcmp(chunked.data(), reference.data(), chunked.size() * sizeof(float)), 0)
            << "interpolation " << int{settings.interpolation};
        float peak = 0;
        for (float v : reference) peak = std::max(peak, std::abs(v));
        EXPECT_GT(peak, 0.01f) << "the song is audible";
    }
}

// Every interpolation: a constant sample renders a constant at any step, and
// a sample played at its own rate renders its own frames.
class Interpolation : public testing::TestWithParam<uint8_t> {
  protected:
    // The rig's sample at `step` (32.32 frames per output frame) from frame 40 on.
    std::vector<float> left(MixRig& rig, uint64_t step, uint32_t frames) {
        RenderSettings settings = DEFAULT_RENDER_SETTINGS;
        settings.interpolation = GetParam();
        settings.sample_rate = 44100; // never the intro's own mixer
        EXPECT_EQ(set_render_settings(rig.m.ctx, settings), nullptr);
        ChannelState& ch = rig.m.channel();
        ch.position = 40 * POSITION_ONE;
        ch.step = static_cast<uint32_t>(step >> 20);
        ch.mix.step_fine = static_cast<uint32_t>(step) & 0xFFFFF;
        std::vector<float> out(size_t{frames} * 2, 0.0f);
        mix_block_interpolated(*rig.m.ctx, out.data(), frames);
        std::vector<float> l;
        for (uint32_t f = 0; f < frames; ++f) l.push_back(out[2 * f]);
        return l;
    }
};

TEST_P(Interpolation, ConstantStaysConstantAndTheSamplesOwnRateReadsItsFrames) {
    for (const uint64_t step : {0x5E35A3B1ull, 0x100000000ull, 0x24CCCCCCDull, 0x500000000ull}) {
        MixRig rig(300, 300); // a looped constant: the loop seam must not show
        for (int i = 0; i < 300; ++i) rig.m.sample_frames()[i] = 1000;
        // The sinc rows sum to 1 before they are rounded to floats: -80 dB.
        for (float v : left(rig, step, 2000))
            ASSERT_NEAR(v, 1000 * UNIT, 1e-4f * 1000 * UNIT) << "step " << step;
        // Once round the loop, the taps before its start read its end, never
        // the lead-in before it.
        MixRig lead_in(300, 200);
        for (int i = 0; i < 300; ++i) lead_in.m.sample_frames()[i] = i < 100 ? -1000 : 1000;
        const std::vector<float> v = left(lead_in, step, 2000);
        const auto past_lead_in = static_cast<size_t>((uint64_t{160 - 40} << 32) / step);
        for (size_t f = past_lead_in; f < v.size(); ++f)
            ASSERT_NEAR(v[f], 1000 * UNIT, 1e-4f * 1000 * UNIT)
                << "step " << step << " frame " << f;
    }
    MixRig rig(300); // frame i holds i + 1
    const std::vector<float> read = left(rig, 0x100000000ull, 100);
    for (int f = 0; f < 100; ++f) ASSERT_EQ(read[f], (41 + f) * UNIT) << "frame " << f;
    // Back and forth through a ping-pong loop (frames 100..299), across its
    // edges and its mirrored half.
    MixRig pingpong(300, 200, true);
    const std::vector<float> both = left(pingpong, 0x100000000ull, 1000);
    for (int f = 0; f < 1000; ++f) {
        const int j = 40 + f, at = (j - 100) % 400;
        const int value = j < 300 ? j + 1 : (at < 200 ? 101 + at : 500 - at);
        ASSERT_EQ(both[f], value * UNIT) << "frame " << f;
    }
    // At zero gains the voice moves on unheard, and goes on from there.
    MixRig quiet(300);
    quiet.m.channel().gain_left = quiet.m.channel().gain_right = 0.0f;
    for (float v : left(quiet, 0x100000000ull, 50)) ASSERT_EQ(v, 0.0f);
    quiet.m.channel().gain_left = 1.0f;
    std::vector<float> heard(2 * 10, 0.0f);
    mix_block_interpolated(*quiet.m.ctx, heard.data(), 10);
    for (int f = 0; f < 10; ++f) ASSERT_EQ(heard[2 * f], (91 + f) * UNIT) << "frame " << f;
}

INSTANTIATE_TEST_SUITE_P(EveryKernel, Interpolation,
                         testing::Values(INTERPOLATION_NEAREST, INTERPOLATION_LINEAR,
                                         INTERPOLATION_CUBIC, INTERPOLATION_SINC));

// With ramping, no event makes a step between output frames larger than a
// full-scale change spread over the ramp; without it, the same events jump.
TEST(Ramping, BoundsTheStepOfEveryEvent) {
    struct Case {
        const char* name;
        PatternSlot second_row; // on row 1, after a full-scale note on row 0
        bool looped = true;
    };
    const Case cases[] = {
        {"note cut", {NOTE_NONE, 0, 0, EFFECT_NOTE_CUT, 0x03}},
        {"volume to 0", {NOTE_NONE, 0, 0, EFFECT_SET_VOLUME, 0}},
        {"key off", {NOTE_KEY_OFF, 0, 0, 0, 0}},
        {"new note on the other sample", {50, 2, 0, 0, 0}},
        {"sample end without loop", {}, false},
    };
    for (const Case& c : cases) {
        // Without ramping (the intro's rendering), then ramped in every kernel.
        float steps[2] = {};
        for (int run = 0; run < 5; ++run) {
            ModuleShape shape;
            shape.instruments = 2;
            shape.samples = 2;
            shape.sample_frames = {4000, 4000};
            TestModule m(shape);
            // Full scale, of opposite signs: every change is a full-scale one.
            for (int i = 0; i < 8000; ++i) m.sample_frames()[i] = i < 4000 ? 32767 : -32768;
            if (c.looped) m.sample(0).loop_length = 1000;
            m.slot(0, 0) = {49, 1, 0, 0, 0};
            m.slot(0, 1) = c.second_row;
            m.finish();
            RenderSettings settings = DEFAULT_RENDER_SETTINGS;
            settings.ramping = run > 0;
            settings.interpolation = static_cast<uint8_t>(run > 0 ? run - 1 : 0);
            ASSERT_EQ(set_render_settings(m.ctx, settings), nullptr);
            const std::vector<float> out = render(*m.ctx, 48000);
            float& step = steps[run > 0];
            for (size_t i = 2; i < out.size(); ++i)
                step = std::max(step, std::abs(out[i] - out[i - 2]));
        }
        // Full scale through one channel is 0.25 x sqrt(1/2) per side.
        const float full = 0.25f * sqrtf(0.5f);
        EXPECT_GT(steps[0], 0.9f * full) << c.name << ": a jump without ramping";
        EXPECT_LE(steps[1], 2.0f * full / 48 * 1.01f) << c.name << ": ramped over 48 frames";
    }
}

} // namespace
} // namespace replayer::test
