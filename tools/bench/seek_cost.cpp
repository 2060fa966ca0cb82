// SPDX-License-Identifier: GPL-2.0-or-later
// What a seek costs beside rendering: for each module, the CPU time to render
// SECONDS of it (looping past its end) and to seek to the same point, at the
// intro's settings and at the listening ones, and the seek's share.
//
//   seek_cost SECONDS FILE...
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <vector>

#include "quillrun/replayer.h"

namespace {

constexpr uint32_t BLOCK_FRAMES = 1024;

double cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

struct Cost {
    double render, seek; // CPU seconds
};

Cost measure(replayer::ReplayContext* ctx, const replayer::RenderSettings& settings,
             double seconds) {
    replayer::set_render_settings(ctx, settings);
    replayer::restart_song(ctx);
    const auto frames = static_cast<uint64_t>(seconds * settings.sample_rate);
    std::vector<float> block(BLOCK_FRAMES * replayer::OUTPUT_CHANNELS);
    double start = cpu_seconds();
    for (uint64_t done = 0; done < frames; done += BLOCK_FRAMES)
        replayer::generate_frames(ctx, block.data(), BLOCK_FRAMES);
    Cost cost{cpu_seconds() - start, 0};
    start = cpu_seconds();
    replayer::seek_to_frame(ctx, frames);
    cost.seek = cpu_seconds() - start;
    return cost;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: seek_cost SECONDS FILE...\n");
        return 2;
    }
    const double seconds = std::atof(argv[1]);
    Cost total[2] = {};
    std::printf("%-40s %12s %12s %12s %12s\n", "module", "render s", "seek s", "listen s",
                "seek s");
    for (int i = 2; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
        const replayer::LoadResult loaded =
            replayer::load_module_checked(bytes.data(), bytes.size());
        if (!loaded.context) {
            std::fprintf(stderr, "seek_cost: %s: %s\n", argv[i], loaded.error);
            return 1;
        }
        const Cost exact = measure(loaded.context, replayer::DEFAULT_RENDER_SETTINGS, seconds);
        const Cost listen = measure(loaded.context, replayer::LISTENING_RENDER_SETTINGS, seconds);
        replayer::free_module(loaded.context);
        std::printf("%-40.40s %12.3f %12.4f %12.3f %12.4f\n", argv[i], exact.render, exact.seek,
                    listen.render, listen.seek);
        total[0].render += exact.render;
        total[0].seek += exact.seek;
        total[1].render += listen.render;
        total[1].seek += listen.seek;
    }
    std::printf("seek / render, intro's settings: %.4f; listening settings: %.4f (goal: 0.02)\n",
                total[0].seek / total[0].render, total[1].seek / total[1].render);
    return 0;
}
