// SPDX-License-Identifier: GPL-2.0-or-later
// Rules in which the trackers behind the formats differ, on small built
// modules: the clock that turns an Amiga period into a pitch (checked against
// the reference player openmpt123), whether a pattern-loop start also sets the
// next pattern's start row, and an envelope of one point. Each holds for the
// compact image of the module too.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "compact_writer.h"
#include "module_builders.h"
#include "module_check.h"
#include "xm_writer.h"

using namespace replayer;
using namespace test_modules;
namespace fs = std::filesystem;

namespace {

constexpr int CYCLE_FRAMES = 64; // one sine period in the sample, looped
constexpr int SINE_AMPLITUDE = 100;
constexpr uint8_t XM_C4 = 49;    // internal note of C-4
constexpr uint8_t S3M_C4 = 0x40; // octave 4, C
constexpr uint16_t MOD_C4 = 428; // the MOD period of the same note
constexpr uint8_t XM_KEY_OFF = 97;
constexpr int ROWS = 64;
constexpr double SETTLE_SECONDS = 0.2;
constexpr double MEASURED_SECONDS = 3.0;
constexpr double CENTS_PER_OCTAVE = 1200.0;
constexpr double PITCH_TOLERANCE_CENTS = 2.0;

std::vector<int16_t> sine_cycle() {
    std::vector<int16_t> v(CYCLE_FRAMES);
    for (int i = 0; i < CYCLE_FRAMES; ++i)
        v[i] = static_cast<int16_t>(
            std::lround(SINE_AMPLITUDE * std::sin(2 * M_PI * i / CYCLE_FRAMES)));
    return v;
}

// One instrument holding a looped sine cycle; C-4 on row 0 of channel 0. Two
// patterns when `loop` is set: E60 on row 32 and E61 on row 63 of the first.
xmwriter::Module xm_module(bool linear, bool loop) {
    xmwriter::Module m;
    m.channels = 2;
    m.linear_frequencies = linear;
    xmwriter::Pattern p;
    p.cells.resize(ROWS * m.channels);
    p.cells[0] = {XM_C4, 1, 0, 0, 0};
    m.patterns = {p};
    m.orders = {0};
    if (loop) {
        m.patterns.push_back(p);
        m.orders = {0, 1};
        m.patterns[0].cells[32 * m.channels + 1] = {0, 0, 0, 0xE, 0x60};
        m.patterns[0].cells[63 * m.channels + 1] = {0, 0, 0, 0xE, 0x61};
    }
    xmwriter::Sample s;
    s.frames = sine_cycle();
    s.loop = xmwriter::LOOP_FORWARD;
    s.loop_length = CYCLE_FRAMES;
    xmwriter::Instrument ins;
    ins.samples = {s};
    m.instruments = {ins};
    return m;
}

Bytes xm_bytes(bool linear, bool loop) {
    return xmwriter::write_xm(xm_module(linear, loop));
}

Bytes s3m_bytes(bool loop) {
    S3mBuilder s;
    S3mSample sample;
    sample.length = sample.loop_end = CYCLE_FRAMES;
    sample.flags = 1;                                                                    // looped
    for (int16_t v : sine_cycle()) sample.data.push_back(static_cast<uint8_t>(v + 128)); // unsigned
    s.samples = {sample};
    s.patterns = {{{0, 0, S3M_C4, 1}}};
    if (loop) {
        constexpr int COMMAND_S = 19;
        s.patterns[0].push_back({32, 1, -1, 0, -1, COMMAND_S, 0xB0});
        s.patterns[0].push_back({63, 1, -1, 0, -1, COMMAND_S, 0xB1});
        s.patterns.push_back({});
        s.orders = {0, 1};
    }
    return s.build();
}

Bytes mod_bytes(bool loop) {
    ModBuilder mod;
    mod.samples[0].length_words = mod.samples[0].loop_length_words = CYCLE_FRAMES / 2;
    mod.cell(0, 0, 0, {MOD_C4, 1, 0, 0});
    if (loop) {
        mod.patterns = mod.song_length = 2;
        mod.orders[1] = 1;
        mod.cell(0, 32, 1, {0, 0, 0xE, 0x60});
        mod.cell(0, 63, 1, {0, 0, 0xE, 0x61});
    }
    Bytes bytes = mod.build();
    // The only sample's data ends the file.
    const std::vector<int16_t> cycle = sine_cycle();
    for (int i = 0; i < CYCLE_FRAMES; ++i)
        bytes[bytes.size() - CYCLE_FRAMES + i] = static_cast<uint8_t>(cycle[i]);
    return bytes;
}

// The module and its compact image, each loaded.
std::vector<Context> module_and_image(const Bytes& bytes) {
    std::vector<Context> loaded;
    loaded.push_back(load(bytes));
    if (!loaded[0]) return {};
    loaded.push_back(load(compact_writer::write_compact(*loaded[0])));
    if (!loaded[1]) return {};
    return loaded;
}

bool have_openmpt123() {
    return std::system("command -v openmpt123 >/dev/null 2>&1") == 0;
}

// The reference player's rendering of `bytes` (stereo floats at the output
// rate, nearest-neighbour, no ramping), or nothing if it fails.
std::vector<float> reference_render(const Bytes& bytes, const std::string& extension,
                                    double seconds) {
    std::string pattern = (fs::temp_directory_path() / "tracker-rules-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return {};
    const fs::path dir = pattern;
    const fs::path in = dir / ("module." + extension), out = dir / "out.raw";
    std::ofstream(in, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    const std::string command = "openmpt123 --quiet --batch --end-time " + std::to_string(seconds) +
                                " --filter 1 --ramping 0 --samplerate " +
                                std::to_string(OUTPUT_SAMPLE_RATE) + " --float --force -o '" +
                                out.string() + "' '" + in.string() + "' >/dev/null 2>&1";
    std::vector<float> samples;
    if (std::system(command.c_str()) == 0) {
        std::ifstream f(out, std::ios::binary);
        const std::vector<char> raw{std::istreambuf_iterator<char>(f), {}};
        samples.resize(raw.size() / sizeof(float));
        std::memcpy(samples.data(), raw.data(), samples.size() * sizeof(float));
    }
    fs::remove_all(dir);
    return samples;
}

// The frequency of a steady tone: whole periods between the first and the last
// rising zero crossing of the mono mix, the crossings interpolated.
double frequency(const std::vector<float>& stereo) {
    double first = -1, last = -1;
    int periods = -1;
    const size_t start = static_cast<size_t>(SETTLE_SECONDS * OUTPUT_SAMPLE_RATE);
    for (size_t i = start; i + 1 < stereo.size() / 2; ++i) {
        const double a = stereo[2 * i] + stereo[2 * i + 1];
        const double b = stereo[2 * i + 2] + stereo[2 * i + 3];
        if (!(a < 0 && b >= 0)) continue;
        last = static_cast<double>(i) + a / (a - b);
        if (first < 0) first = last;
        ++periods;
    }
    return periods > 0 ? periods * OUTPUT_SAMPLE_RATE / (last - first) : 0.0;
}

double rms(const std::vector<float>& stereo, double from_s, double to_s) {
    const size_t a = 2 * static_cast<size_t>(from_s * OUTPUT_SAMPLE_RATE);
    const size_t b = std::min(stereo.size(), 2 * static_cast<size_t>(to_s * OUTPUT_SAMPLE_RATE));
    double sum = 0;
    for (size_t i = a; i < b; ++i) sum += double{stereo[i]} * stereo[i];
    return b > a ? std::sqrt(sum / static_cast<double>(b - a)) : 0.0;
}

} // namespace

// S3M and XM trackers play C-4 at 8363 Hz on either table; MOD players derive
// it from the PAL Amiga's clock, about 16 cents lower.
TEST(TrackerRules, SustainedNotePitchMatchesTheReferencePlayer) {
    if (!have_openmpt123()) GTEST_SKIP() << "openmpt123 not installed";
    struct Case {
        const char* name;
        Bytes bytes;
        const char* extension;
    };
    const Case cases[] = {
        {"S3M", s3m_bytes(false), "s3m"},
        {"XM, Amiga table", xm_bytes(false, false), "xm"},
        {"XM, linear table", xm_bytes(true, false), "xm"},
        {"MOD", mod_bytes(false), "mod"},
    };
    const auto frames = static_cast<uint32_t>(MEASURED_SECONDS * OUTPUT_SAMPLE_RATE);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<Context> loaded = module_and_image(c.bytes);
        ASSERT_EQ(loaded.size(), 2u);
        const double ours = frequency(render(*loaded[0], frames));
        EXPECT_EQ(frequency(render(*loaded[1], frames)), ours) << "compact image";
        const double reference =
            frequency(reference_render(c.bytes, c.extension, MEASURED_SECONDS));
        ASSERT_GT(reference, 0.0);
        EXPECT_NEAR(CENTS_PER_OCTAVE * std::log2(ours / reference), 0.0, PITCH_TOLERANCE_CENTS)
            << ours << " Hz against " << reference << " Hz";
    }
}

// E60 on row 32, E61 on row 63: after the loop the XM tracker starts the next
// pattern at the loop's start row; MOD and S3M players (both references
// alike) at row 0.
TEST(TrackerRules, LoopStartSetsTheNextPatternsRowInXmOnly) {
    struct Case {
        const char* name;
        Bytes bytes;
        int next_pattern_row;
    };
    const Case cases[] = {
        {"XM", xm_bytes(true, true), 32},
        {"MOD", mod_bytes(true), 0},
        {"S3M", s3m_bytes(true), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const Context& ctx : module_and_image(c.bytes)) {
            float frame[OUTPUT_CHANNELS];
            uint32_t frames = 0;
            constexpr uint32_t LIMIT = 2 * ROWS * 6 * 960; // two passes of the first pattern
            while (ctx->playback.order_position == 0 && frames++ < LIMIT)
                generate_frames(ctx.get(), frame, 1);
            ASSERT_EQ(ctx->playback.order_position, 1);
            EXPECT_EQ(int{ctx->playback.next_row}, c.next_pattern_row);
        }
    }
}

// A volume envelope of one point at 40: the note plays at that level, and a
// key-off (row 8, at 0.96 s) lets it sound on without fadeout, as in the
// reference player; switched off instead, the key-off would cut it.
TEST(TrackerRules, OnePointEnvelopeHoldsItsValueThroughAKeyOff) {
    xmwriter::Module m = xm_module(true, false);
    m.instruments[0].volume_envelope.points = {{0, 40}};
    m.instruments[0].volume_envelope.type = 1; // on
    m.patterns[0].cells[8 * m.channels].note = XM_KEY_OFF;
    const Bytes bytes = xmwriter::write_xm(m);
    const auto frames = static_cast<uint32_t>(MEASURED_SECONDS * OUTPUT_SAMPLE_RATE);
    std::vector<std::vector<float>> renders;
    for (const Context& ctx : module_and_image(bytes)) renders.push_back(render(*ctx, frames));
    ASSERT_EQ(renders.size(), 2u);
    EXPECT_EQ(renders[0], renders[1]) << "compact image";
    if (have_openmpt123()) renders.push_back(reference_render(bytes, "xm", MEASURED_SECONDS));
    for (const std::vector<float>& r : renders) {
        const double before = rms(r, 0.5, 0.9), after = rms(r, 1.5, 2.5);
        EXPECT_GT(before, 0.0);
        EXPECT_NEAR(after / before, 1.0, 0.02);
    }
    // The level is the point's value, not full volume.
    Bytes full = xmwriter::write_xm(xm_module(true, false));
    Context plain = load(full);
    ASSERT_TRUE(plain);
    EXPECT_NEAR(rms(render(*plain, frames), 0.5, 0.9) / rms(renders[0], 0.5, 0.9), 64.0 / 40.0,
                0.02);
}
