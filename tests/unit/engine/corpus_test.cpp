// SPDX-License-Identifier: GPL-2.0-or-later
// Real modules from the public corpus: every module loads and renders a minute
// without error, and the block mixer's output equals the frame-by-frame rule
// bit for bit. The corpus directory comes in QUILLRUN_CORPUS.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "quillrun/replayer_c.h"
#include "test_module.h"

namespace replayer::test {
namespace {

constexpr uint32_t RATE = OUTPUT_SAMPLE_RATE;

std::vector<std::filesystem::path> corpus_modules() {
    const char* dir = std::getenv("QUILLRUN_CORPUS");
    std::vector<std::filesystem::path> files;
    if (!dir) return files;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const std::string extension = entry.path().extension().string();
        if (extension == ".xm" || extension == ".s3m" || extension == ".mod")
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

struct Loaded {
    explicit Loaded(const std::vector<uint8_t>& bytes)
        : result(load_module_checked(bytes.data(), bytes.size())) {}
    ~Loaded() { free_module(result.context); }
    LoadResult result;
};

// Renders like an audio device: buffers of changing sizes, up to `frames`.
std::vector<float> render_in_buffers(ReplayContext& ctx, uint32_t frames) {
    static constexpr uint32_t SIZES[] = {1, 1024, 7, 480, 4096, 333, 960, 65535};
    std::vector<float> out(size_t{frames} * 2);
    for (uint32_t done = 0, i = 0; done < frames; ++i) {
        const uint32_t n = std::min(SIZES[i % std::size(SIZES)], frames - done);
        generate_frames(&ctx, &out[size_t{done} * 2], n);
        done += n;
    }
    return out;
}

TEST(Corpus, EveryModuleRendersAMinuteAndBlocksMatchTheFrameRule) {
    const auto files = corpus_modules();
    ASSERT_GE(files.size(), 61u) << "QUILLRUN_CORPUS must name the corpus directory";
    for (const auto& path : files) {
        SCOPED_TRACE(path.filename().string());
        std::ifstream in(path, std::ios::binary);
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
        Loaded blocks(bytes), frames(bytes);
        ASSERT_NE(blocks.result.context, nullptr) << blocks.result.error;

        const std::vector<float> out = render_in_buffers(*blocks.result.context, 60 * RATE);
        double energy = 0;
        for (float v : out) {
            ASSERT_TRUE(std::isfinite(v));
            energy += double{v} * v;
        }
        EXPECT_GT(energy, 0.0) << "a minute of silence";

        const uint32_t compared = 20 * RATE;
        const std::vector<float> reference = render_per_frame(*frames.result.context, compared);
        EXPECT_EQ(std::memcmp(out.data(), reference.data(), reference.size() * sizeof(float)), 0);
    }
}

// The C interface renders the C++ interface's bytes, and the pass measured
// without mixing is the pass a player renders.
TEST(Corpus, CInterfaceAndMeasuredPassAgreeWithTheCppRender) {
    const auto files = corpus_modules();
    ASSERT_GE(files.size(), 61u) << "QUILLRUN_CORPUS must name the corpus directory";
    const uint64_t limit = uint64_t{PASS_LIMIT_SECONDS} * RATE;
    for (const auto& path : files) {
        SCOPED_TRACE(path.filename().string());
        std::ifstream in(path, std::ios::binary);
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
        Loaded cpp(bytes);
        quillrun_module* c = quillrun_load(bytes.data(), bytes.size(), nullptr);
        ASSERT_NE(c, nullptr);

        const uint32_t compared = 10 * RATE;
        const std::vector<float> want = render_in_buffers(*cpp.result.context, compared);
        std::vector<float> got(want.size());
        quillrun_render(c, got.data(), compared);
        EXPECT_EQ(std::memcmp(got.data(), want.data(), want.size() * sizeof(float)), 0);

        // A player's pass: frames up to the one whose tick fetches a row played
        // before, rendered in runs that end where a tick is due.
        ReplayContext* ctx = cpp.result.context;
        restart_song(ctx);
        std::vector<float> run;
        uint64_t rendered = 0;
        while (rendered < limit) {
            const uint32_t quiet = playback_position(*ctx).frames_to_tick;
            const uint32_t frames = quiet > 0 ? quiet : 1;
            run.resize(size_t{frames} * OUTPUT_CHANNELS);
            generate_frames(ctx, run.data(), frames);
            if (quiet == 0 && pass_ended(*ctx)) break;
            rendered += frames;
        }
        EXPECT_EQ(measure_pass(ctx, limit).frames, rendered);
        EXPECT_EQ(quillrun_pass_frames(c), rendered);
        quillrun_free(c);
    }
}

} // namespace
} // namespace replayer::test
