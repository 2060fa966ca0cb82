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
        if (extension == ".xm" || extension == ".s3m" || extension == ".mod" || extension == ".it")
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
        // The frame-by-frame reference knows no song end: songs shorter than
        // the comparison play on here too.
        set_repeat_count(blocks.result.context, REPEAT_FOREVER);

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

// A seek to a time leaves the song where rendering from the start leaves it:
// what renders next is the same, bit for bit, at the intro's settings and at
// listening ones (sinc and linear, ramped, two rates); a seek to a row lands
// on the frame whose tick first fetches it.
TEST(Corpus, SeeksLandWhereRenderingFromTheStartIs) {
    const auto files = corpus_modules();
    ASSERT_GE(files.size(), 61u) << "QUILLRUN_CORPUS must name the corpus directory";
    RenderSettings linear = LISTENING_RENDER_SETTINGS;
    linear.sample_rate = 44100;
    linear.interpolation = INTERPOLATION_LINEAR;
    const RenderSettings settings[] = {DEFAULT_RENDER_SETTINGS, LISTENING_RENDER_SETTINGS, linear};
    constexpr double TIMES[] = {0.25, 3.7, 12.9, 27.0}; // seconds; some past a short song's end
    constexpr double ROW_AT = 9.0;                      // a row playing then is sought
    constexpr double WINDOW = 0.5;                      // seconds compared after each seek
    for (const auto& path : files) {
        std::ifstream in(path, std::ios::binary);
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
        for (const RenderSettings& s : settings) {
            SCOPED_TRACE(path.filename().string() + " at " + std::to_string(s.sample_rate) +
                         " Hz, kernel " + std::to_string(s.interpolation));
            Loaded played(bytes), sought(bytes);
            ReplayContext* a = played.result.context;
            ReplayContext* b = sought.result.context;
            ASSERT_EQ(set_render_settings(a, s), nullptr);
            ASSERT_EQ(set_render_settings(b, s), nullptr);
            auto frame_at = [&](double t) {
                return static_cast<uint64_t>(std::llround(t * s.sample_rate));
            };
            const auto window = static_cast<uint32_t>(frame_at(WINDOW));
            const std::vector<float> full =
                render_in_buffers(*a, static_cast<uint32_t>(frame_at(TIMES[3]) + window));
            auto expect_from = [&](uint64_t frame, const char* what) {
                std::vector<float> got(size_t{window} * OUTPUT_CHANNELS);
                generate_frames(b, got.data(), window);
                EXPECT_EQ(std::memcmp(got.data(), &full[frame * OUTPUT_CHANNELS],
                                      got.size() * sizeof(float)),
                          0)
                    << what << " at frame " << frame;
            };
            for (double t : TIMES) {
                ASSERT_TRUE(seek_to_seconds(b, t));
                expect_from(frame_at(t), "seek by seconds");
            }
            seek_to_frame(b, frame_at(ROW_AT));
            const PlaybackPosition playing = playback_position(*b);
            const RowTime row = time_at(b, playing.order, playing.row);
            ASSERT_TRUE(row.found);
            EXPECT_LE(row.frame, frame_at(ROW_AT));
            ASSERT_TRUE(seek_to_row(b, playing.order, playing.row));
            expect_from(row.frame, "seek to a row");
        }
    }
}

} // namespace
} // namespace replayer::test
