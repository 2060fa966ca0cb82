// SPDX-License-Identifier: GPL-2.0-or-later
// The XM prescan's limits and counts, and the size of the context it implies.
#include <gtest/gtest.h>

#include <functional>

#include "module_builders.h"
#include "module_check.h"

using namespace test_modules;
using replayer::ModuleScan;

namespace {

struct PrescanCase {
    const char* name;
    std::function<xmwriter::Module()> build;
    bool accepted;
    uint32_t total_rows = 0; // checked when accepted
    uint16_t patterns = 0;
    uint32_t frames = 0;
    uint16_t samples = 0;
    const char* reason = nullptr; // checked when refused and given
};

xmwriter::Module one_pattern(uint16_t rows, bool with_data) {
    xmwriter::Module m = small_module();
    m.patterns[0].rows = rows;
    m.patterns[0].cells.assign(with_data ? size_t{rows} : 0, {});
    if (with_data) m.patterns[0].cells[0] = {49, 1, 0, 0, 0};
    return m;
}

// One 16-bit sample whose header claims `bytes` bytes (no data follows).
xmwriter::Module long_16bit_sample(uint32_t bytes, xmwriter::LoopType loop) {
    xmwriter::Module m = small_module();
    xmwriter::Sample& s = m.instruments[0].samples[0];
    s.sixteen_bit = true;
    s.loop = loop;
    s.length_override = bytes;
    s.loop_start_override = 0;
    s.loop_length_override = bytes;
    s.data_override = std::vector<uint8_t>{};
    return m;
}

xmwriter::Module long_8bit_sample(uint32_t bytes) {
    xmwriter::Module m = small_module();
    m.instruments[0].samples[0].length_override = bytes;
    m.instruments[0].samples[0].data_override = std::vector<uint8_t>{};
    return m;
}

// A first instrument with one special sample before small_module's: the
// counts show whether the prescan found the second instrument where it is.
xmwriter::Module before_small_module(const xmwriter::Sample& sample) {
    xmwriter::Module m = small_module();
    m.instruments.insert(m.instruments.begin(), instrument_with({sample}));
    return m;
}

xmwriter::Sample ramp_sample(int frames) {
    std::vector<int16_t> ramp;
    for (int i = 0; i < frames; ++i) ramp.push_back(static_cast<int16_t>(i - frames / 2));
    return sample_8bit(ramp);
}

xmwriter::Module samples_in_one_instrument(uint16_t count) {
    xmwriter::Module m = small_module();
    m.instruments[0].samples.assign(count, sample_8bit({1, 2}));
    return m;
}

const PrescanCase PRESCAN_CASES[] = {
    {"packed size 0 counts 64 rows whatever the header says",
     [] { return one_pattern(300, false); }, true, 64, 1, 16, 1},
    {"257 rows with data are refused", [] { return one_pattern(257, true); }, false},
    {"256 rows with data are accepted", [] { return one_pattern(256, true); }, true, 256, 1, 16, 1},
    {"a row count of 0 with data counts 64 rows", [] { return one_pattern(0, true); }, true, 64, 1,
     16, 1},
    {"256 patterns and 255 channels are accepted",
     [] { return module_with_empty_patterns(256, 255); }, true, 256 * 64, 256, 0, 0},
    {"257 patterns are refused", [] { return module_with_empty_patterns(257, 4); }, false},
    {"256 channels are refused", [] { return module_with_empty_patterns(1, 256); }, false},
    {"an order past the patterns adds one 64-row pattern",
     [] {
         xmwriter::Module m = small_module();
         m.orders = {0, 1, 7, 1};
         return m;
     },
     true, 4 + 64, 2, 16, 1},
    {"orders past the song length do not count",
     [] {
         xmwriter::Module m = small_module();
         m.orders = {0, 9};
         m.song_length_override = 1;
         return m;
     },
     true, 4, 1, 16, 1},
    {"a 16-bit ping-pong sample of 524288 frames is refused",
     [] { return long_16bit_sample(1048576, xmwriter::LOOP_PINGPONG); }, false},
    {"the same sample with a forward loop is accepted",
     [] { return long_16bit_sample(1048576, xmwriter::LOOP_FORWARD); }, true, 4, 1, 524288, 1},
    {"a 16-bit ping-pong sample of 524287 frames is accepted",
     [] { return long_16bit_sample(1048574, xmwriter::LOOP_PINGPONG); }, true, 4, 1, 524287, 1},
    {"an 8-bit sample of 2^20 frames is refused", [] { return long_8bit_sample(0x100000); }, false},
    {"an 8-bit sample of 2^20 - 1 frames is accepted", [] { return long_8bit_sample(0xFFFFF); },
     true, 4, 1, 0xFFFFF, 1},
    {"255 samples in one instrument are accepted", [] { return samples_in_one_instrument(255); },
     true, 4, 1, 510, 255},
    {"256 samples in one instrument are refused", [] { return samples_in_one_instrument(256); },
     false},
    {"song length 0 is refused",
     [] {
         xmwriter::Module m = small_module();
         m.orders.clear();
         return m;
     },
     false},
    {"an ADPCM sample counts frames; its data takes half a byte each after a 16-byte table",
     [] {
         xmwriter::Sample s = ramp_sample(101);
         s.adpcm = true;
         return before_small_module(s);
     },
     true, 4, 1, 101 + 16, 2},
    {"a stereo sample counts the frames of one channel",
     [] {
         xmwriter::Sample s = ramp_sample(30);
         s.right_frames = s.frames;
         s.sixteen_bit = true;
         return before_small_module(s);
     },
     true, 4, 1, 30 + 16, 2},
    {"an ADPCM sample marked 16-bit is refused",
     [] {
         xmwriter::Sample s = ramp_sample(20);
         s.adpcm = s.sixteen_bit = true;
         return before_small_module(s);
     },
     false, 0, 0, 0, 0, "4-bit ADPCM sample marked 16-bit or stereo"},
    {"an Ogg Vorbis compressed sample is refused",
     [] {
         xmwriter::Sample s = ramp_sample(0);
         s.data_override = std::vector<uint8_t>{8, 0, 0, 0, 'O', 'g', 'g', 'S', 0, 2, 0, 0};
         s.length_override = 12;
         return before_small_module(s);
     },
     false, 0, 0, 0, 0, "Ogg Vorbis compressed samples (an OXM file) cannot be played"},
    {"XM 1.03 is refused by its version",
     [] {
         xmwriter::Module m = small_module();
         m.version = 0x0103;
         return m;
     },
     false, 0, 0, 0, 0, "XM version 1.03: only version 1.04 is read"},
    {"more than 255 instruments are refused",
     [] {
         xmwriter::Module m = small_module();
         m.instrument_count_override = 256;
         return m;
     },
     false},
};

} // namespace

TEST(XmPrescan, LimitsAndCounts) {
    for (const PrescanCase& c : PRESCAN_CASES) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> bytes = xmwriter::write_xm(c.build());
        const replayer::ScanResult r = replayer::module_prescan(bytes.data(), bytes.size());
        ASSERT_EQ(r.error == nullptr, c.accepted) << (r.error ? r.error : "accepted");
        if (!c.accepted) {
            if (c.reason) {
                EXPECT_STREQ(r.error, c.reason);
            }
            continue;
        }
        EXPECT_EQ(r.scan.format, replayer::FORMAT_XM);
        EXPECT_EQ(r.scan.total_rows, c.total_rows);
        EXPECT_EQ(r.scan.pattern_count, c.patterns);
        EXPECT_EQ(r.scan.total_sample_frames, c.frames);
        EXPECT_EQ(r.scan.sample_count, c.samples);
    }
}

// A song length above 256 is cut to 256 in the counts and in the context.
TEST(XmPrescan, SongLengthIsCutTo256) {
    xmwriter::Module m = small_module();
    m.song_length_override = 300;
    const std::vector<uint8_t> bytes = xmwriter::write_xm(m);
    const replayer::ScanResult r = replayer::module_prescan(bytes.data(), bytes.size());
    ASSERT_EQ(r.error, nullptr);
    EXPECT_EQ(r.scan.song_length, 256);
    Loaded loaded(bytes);
    ASSERT_NE(loaded.result.context, nullptr);
    EXPECT_EQ(loaded.ctx().song_length, 256);
}

// The size is the sum of the regions; the cap is inclusive.
TEST(ContextSize, CapIsExactly128MiB) {
    struct Case {
        uint32_t rows, frames;
        uint16_t patterns, samples, song_length;
        uint8_t channels, instruments, voices;
        uint32_t expected; // 0: refused
    };
    const Case cases[] = {
        // 1240 header + 5 per slot + 4 per pattern + 696 per instrument + 20 per
        // sample + 2 per frame + 304 per channel or voice + 256 per order.
        {584, 1820, 10, 8, 17, 6, 15, 0, 39216},
        {2, 67107959, 0, 0, 1, 1, 0, 0, 0x8000000},
        {1, 67107962, 0, 0, 1, 1, 0, 0, 0},                  // one byte more
        {584, 1820, 10, 8, 17, 6, 15, 64, 39216 + 64 * 304}, // background voices
        {0xFFFFFF, 0, 256, 0, 1, 255, 0, 0, 0},              // 21 GB of slots
        {0, 0xFFFFFFFF, 0, 0, 1, 0, 0, 0, 0},                // 8 GB of frames
    };
    for (const Case& c : cases) {
        ModuleScan scan{};
        scan.format = replayer::FORMAT_XM;
        scan.total_rows = c.rows;
        scan.total_sample_frames = c.frames;
        scan.pattern_count = c.patterns;
        scan.sample_count = c.samples;
        scan.song_length = c.song_length;
        scan.channel_count = c.channels;
        scan.instrument_count = c.instruments;
        scan.voice_count = c.voices;
        const replayer::SizeResult size = replayer::context_size(scan);
        SCOPED_TRACE(c.expected);
        if (c.expected) {
            EXPECT_EQ(size.error, nullptr);
            EXPECT_EQ(size.bytes, c.expected);
        } else {
            EXPECT_NE(size.error, nullptr);
        }
    }
}
