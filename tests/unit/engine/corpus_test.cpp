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

} // namespace
} // namespace replayer::test
