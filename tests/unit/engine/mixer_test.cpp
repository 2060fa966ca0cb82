// SPDX-License-Identifier: GPL-2.0-or-later
// The mixer: sample stepping, loops, frame counts, and the block mixer's
// bit-for-bit agreement with the per-frame rule.
#include <gtest/gtest.h>

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
// uneven buffer sizes and frame by frame.
TEST(Mixer, GeneratedFramesEqualTheFrameByFrameRule) {
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
        for (uint32_t i = 0; i < 5800; ++i) m.ctx->sample_data[i] = static_cast<int16_t>(i * 7919);
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
                m.slot(p, r, 0) = {static_cast<uint8_t>(30 + r + p), 1, 0, EFFECT_VIBRATO, 0x46};
                m.slot(p, r, 1) = {static_cast<uint8_t>(40 + r), 2, 0, EFFECT_PORTA_UP, 0x03};
                m.slot(p, r + 1, 1) = {NOTE_KEY_OFF, 0, 0, EFFECT_VOLUME_SLIDE, 0x02};
                m.slot(p, r, 2) = {static_cast<uint8_t>(50 - r), 1, 0xC3, EFFECT_ARPEGGIO, 0x47};
                m.slot(p, r, 3) = {static_cast<uint8_t>(20 + r), 2, 0, EFFECT_TREMOLO, 0x88};
            }
        m.finish();
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
    const std::vector<float> reference = render_per_frame(*b.ctx, total);
    ASSERT_EQ(chunked.size(), reference.size());
    EXPECT_EQ(std::memcmp(chunked.data(), reference.data(), chunked.size() * sizeof(float)), 0);
    float peak = 0;
    for (float v : reference) peak = std::max(peak, std::abs(v));
    EXPECT_GT(peak, 0.01f) << "the song is audible";
}

} // namespace
} // namespace replayer::test
