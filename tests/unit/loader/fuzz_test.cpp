// Truncated and corrupted modules: each is refused or loads into a context
// that keeps every promise playback relies on, and nothing reads or writes
// outside its buffer (this suite also runs under AddressSanitizer).
#include <gtest/gtest.h>

#include <random>

#include "assets.h"
#include "test_modules.h"

using namespace loader_test;

namespace {

constexpr uint32_t RENDER_FRAMES = 1024;

// A module with both sample widths, both loop kinds, envelopes and effects.
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
    return xmwriter::write_xm(m);
}

// Loads the bytes; a context that loads must be sound and must render.
void load_and_check(const std::vector<uint8_t>& bytes, const std::string& what) {
    Loaded loaded(bytes);
    if (!loaded.result.context) {
        ASSERT_NE(loaded.result.error, nullptr) << what;
        return;
    }
    const std::string problem = check_context(loaded.ctx());
    ASSERT_EQ(problem, "") << what;
    std::vector<float> out(RENDER_FRAMES * replayer::OUTPUT_CHANNELS);
    replayer::generate_frames(loaded.result.context, out.data(), RENDER_FRAMES);
}

std::vector<std::vector<uint8_t>> seeds() {
    return {std::vector<uint8_t>(module_data, module_data + module_data_size), varied_module()};
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

// Random byte changes, most of them in the headers and patterns, where they
// change the module's structure rather than its sound.
TEST(LoaderFuzz, CorruptedBytesAreRefusedOrSound) {
    constexpr int ROUNDS = 3000;
    constexpr size_t STRUCTURE_BYTES = 2048;
    std::mt19937 random(20261207);
    for (const auto& seed : seeds()) {
        for (int round = 0; round < ROUNDS; ++round) {
            std::vector<uint8_t> bytes = seed;
            const int changes = 1 + static_cast<int>(random() % 8);
            for (int i = 0; i < changes; ++i) {
                const size_t span =
                    (random() % 4 != 0) ? std::min(STRUCTURE_BYTES, bytes.size()) : bytes.size();
                const size_t at = random() % span;
                bytes[at] = static_cast<uint8_t>(random() % 3 == 0 ? 0xFF : random());
            }
            load_and_check(bytes, "round " + std::to_string(round));
            if (testing::Test::HasFatalFailure()) return;
        }
    }
}
