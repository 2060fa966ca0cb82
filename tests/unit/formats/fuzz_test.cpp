// SPDX-License-Identifier: GPL-2.0-or-later
// Every truncation of a module of every format is refused or loads into a
// context that keeps every promise playback relies on, and nothing reads or
// writes outside its buffer (this suite also runs under AddressSanitizer).
// Random corruption is the fuzz targets' work (tests/fuzz); they reach a given
// cut point only by chance, so the cuts are tried here one by one.
#include <gtest/gtest.h>

#include "assets.h"
#include "compact_writer.h"
#include "it_writer.h"
#include "module_builders.h"
#include "module_check.h"

using namespace test_modules;

namespace {

constexpr uint32_t RENDER_FRAMES = 1024;

// A module with both sample widths, both loop kinds, stereo and 4-bit ADPCM
// samples, envelopes and effects.
std::vector<uint8_t> varied_module() {
    xmwriter::Module m = small_module();
    m.channels = 3;
    m.orders = {0, 1, 0};
    m.patterns.clear();
    for (int p = 0; p < 2; ++p) {
        xmwriter::Pattern pattern;
        pattern.rows = static_cast<uint16_t>(p ? 16 : 8);
        pattern.cells.resize(pattern.rows * 3u);
        for (size_t i = 0; i < pattern.cells.size(); i += 2)
            pattern.cells[i] = {static_cast<uint8_t>(40 + i % 30), static_cast<uint8_t>(1 + i % 2),
                                static_cast<uint8_t>(0x10 + i), static_cast<uint8_t>(i % 16),
                                static_cast<uint8_t>(i * 7)};
        m.patterns.push_back(pattern);
    }
    xmwriter::Sample s16;
    s16.sixteen_bit = true;
    for (int i = 0; i < 40; ++i) s16.frames.push_back(static_cast<int16_t>(i * 1000 - 20000));
    s16.loop = xmwriter::LOOP_PINGPONG;
    s16.loop_start = 10;
    s16.loop_length = 30;
    m.instruments[0].samples.push_back(s16);
    m.instruments[0].sample_map[50] = 1;
    m.instruments[0].volume_envelope.points = {{0, 64}, {4, 20}, {9, 40}};
    m.instruments[0].volume_envelope.type = 7;
    m.instruments[0].volume_envelope.sustain = 1;
    m.instruments[0].volume_envelope.loop_end = 2;
    xmwriter::Instrument second = instrument_with({sample_8bit({10, 20, 30, 40})});
    second.samples[0].loop = xmwriter::LOOP_FORWARD;
    second.samples[0].loop_length = 4;
    second.panning_envelope.points = {{0, 0}, {10, 64}};
    second.panning_envelope.type = 1;
    m.instruments.push_back(second);
    xmwriter::Sample adpcm = sample_8bit({0, 20, 40, 60, 40, 20, 0, -20, -40, -60, -40});
    adpcm.adpcm = true;
    adpcm.loop = xmwriter::LOOP_FORWARD;
    adpcm.loop_start = 2;
    adpcm.loop_length = 8;
    xmwriter::Sample stereo;
    stereo.sixteen_bit = true;
    stereo.frames = {1000, 3000, -2000, 500};
    stereo.right_frames = {-800, 0, 2500, 100};
    m.instruments.push_back(instrument_with({adpcm, stereo}));
    m.instruments.back().sample_map[40] = 1;
    return xmwriter::write_xm(m);
}

// An S3M with 8- and 16-bit, signed, looped, stereo and ADPCM samples, a
// panning table, an order naming no pattern, SB loops and the commands with
// info memory.
std::vector<uint8_t> varied_s3m() {
    test_modules::S3mBuilder s3m;
    s3m.sample_format = 1;
    s3m.panning_table = true;
    s3m.default_panning[1] = 0x2F;
    s3m.orders = {0, 254, 1, 7, 0};
    s3m.patterns.resize(2);
    s3m.patterns[0] = {{0, 0, 0x40, 1, 40, 19, 0xB0},
                       {2, 1, 0x52, 2, -1, 4, 0x12},
                       {4, 2, -1, 0, 80, 19, 0xB2},
                       {5, 3, 254, 0, -1, 19, 0xA1},
                       {6, 3, -1, 0, -1, 19, 0},
                       {9, 0, 0x31, 1, -1, 19, 0xB3},
                       {9, 1, 0xFF, 2, -1, 17, 0x05},
                       {12, 2, -1, 0, -1, 24, 0x40},
                       {1, 2, 0x40, 3},
                       {3, 3, 0x45, 4}};
    s3m.patterns[1] = {{0, 1, 0x60, 2, 64, 20, 0x90}, {63, 0, -1, 0, -1, 3, 0x22}};
    // 8-bit, 16-bit, 8-bit stereo, 4-bit ADPCM
    for (int k = 0; k < 4; ++k) {
        test_modules::S3mSample sample;
        sample.length = 120;
        sample.loop_start = 20;
        sample.loop_end = 100;
        sample.flags = static_cast<uint8_t>(1 | (k == 1 ? 4 : 0) | (k == 2 ? 2 : 0));
        sample.packing = k == 3 ? 4 : 0;
        sample.c2_speed = k ? 22050 : 8363;
        sample.data.resize(k == 3 ? 16 + 60 : k ? 240 : 120);
        for (size_t i = 0; i < sample.data.size(); ++i)
            sample.data[i] = static_cast<uint8_t>(i * 13);
        s3m.samples.push_back(sample);
    }
    return s3m.build();
}

// An IT module with instruments, envelopes and compressed 8- and 16-bit samples.
std::vector<uint8_t> varied_it() {
    test_modules::ItBuilder it;
    it.flags = 1 | 4 | 8;
    it.orders = {0, 254, 1, 255};
    it.patterns = {{{0, 0, 60, 1, 40, 8, 0x44}, {2, 0, -1, -1, -1, 26, 0x30}, {3, 2, 255}},
                   {{1, 1, 64, 2, 200, 19, 0xB1}}};
    it.macros = {{9, "F0F000z"}, {9 + 16, "F0F00140"}};
    it.rows = {8, 4};
    test_modules::ItSample a, b;
    a.flags = 1 | 8 | 16;
    a.loop_end = 40;
    b.flags = 1 | 2 | 8;
    b.convert = 1 | 4;
    for (int i = 0; i < 40; ++i) {
        a.frames.push_back(static_cast<int16_t>((i * 37) % 256 - 128));
        b.frames.push_back(static_cast<int16_t>(i * 1500 - 30000));
    }
    it.samples = {a, b};
    test_modules::ItInstrument one, two;
    one.volume = {1 | 2 | 4, 0, 2, 1, 1, {{64, 0}, {20, 4}, {40, 9}}};
    one.filter_cutoff = 0x80 | 30;
    two.sample = 2;
    it.instruments = {one, two};
    return it.build();
}

// A paired 8-channel MOD with looped samples and effects that are cleaned up.
std::vector<uint8_t> varied_mod() {
    test_modules::ModBuilder mod;
    mod.signature = "FLT8";
    mod.channels = 4;
    mod.patterns = 4;
    mod.song_length = 3;
    mod.orders[1] = 2;
    mod.orders[2] = 0;
    mod.samples[0] = {60, 3, 50, 10, 40};
    mod.samples[1] = {40, 12, 64, 0, 100};
    mod.cell(0, 0, 0, {428, 1, 0xC, 0x30});
    mod.cell(1, 1, 1, {214, 2, 0xE, 0x62});
    mod.cell(2, 5, 3, {856, 1, 0x5, 0});
    mod.cell(3, 9, 2, {0, 2, 0xD, 0x63});
    return mod.build();
}

// Loads the bytes; a context that loads must be sound and must render.
void load_and_check(const std::vector<uint8_t>& bytes, const std::string& what) {
    Loaded loaded(bytes);
    if (!loaded.result.context) {
        ASSERT_NE(loaded.result.error, nullptr) << what;
        return;
    }
    const bool compact = loaded.result.format == replayer::FORMAT_COMPACT;
    const std::string problem = compact ? check_layout(loaded.ctx()) : check_context(loaded.ctx());
    ASSERT_EQ(problem, "") << what;
    std::vector<float> out(RENDER_FRAMES * replayer::OUTPUT_CHANNELS);
    replayer::generate_frames(loaded.result.context, out.data(), RENDER_FRAMES);
}

// Every format: the intro's module, built XM, S3M, MOD and IT modules (one of
// them of the 15-sample layout, which no cut short of its last byte leaves a
// module), and the compact image of each built one.
std::vector<std::vector<uint8_t>> seeds() {
    std::vector<std::vector<uint8_t>> all = {
        std::vector<uint8_t>(module_data, module_data + module_data_size),
        varied_module(),
        varied_s3m(),
        varied_mod(),
        fifteen_sample_module().build(),
        varied_it()};
    for (size_t i = 1; i < 6; ++i) {
        Loaded loaded(all[i]);
        EXPECT_NE(loaded.result.context, nullptr) << i;
        if (loaded.result.context) all.push_back(compact_writer::write_compact(loaded.ctx()));
    }
    return all;
}

} // namespace

TEST(LoaderFuzz, EveryTruncationIsRefusedOrSound) {
    for (const auto& seed : seeds()) {
        load_and_check(seed, "whole module");
        for (size_t length = 0; length < seed.size(); ++length)
            load_and_check(std::vector<uint8_t>(seed.begin(), seed.begin() + length),
                           "truncated to " + std::to_string(length));
    }
}
