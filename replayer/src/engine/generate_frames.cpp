// SPDX-License-Identifier: GPL-2.0-or-later
// The frame generator: between two ticks every channel's step and gains stay
// constant, so the frames up to the next tick are mixed as one block, channel
// after channel. Each frame's sum is still formed in channel order, so the
// output equals running the sequencer and mixer frame by frame.
#include <algorithm>
#include <cstring>

#include "engine.h"

namespace replayer {

namespace {

constexpr uint32_t MAX_RUN_FRAMES = 0xFFFF; // the generator counts a run's frames in 16 bits

void generate_run(ReplayContext& ctx, float* output, uint32_t frames) {
    uint32_t done = 0;
    while (done < frames) {
        // The first frame of a block may run a tick; the rest of the block
        // are the frames before the next tick is due.
        uint32_t block = 0;
        if (ctx.playback.tick_remainder < TICK_UNITS_PER_FRAME) {
            advance_frame(ctx);
            block = 1;
        }
        const uint32_t quiet = std::min(frames_before_tick(ctx.playback), frames - done - block);
        ctx.playback.tick_remainder -= quiet * TICK_UNITS_PER_FRAME;
        block += quiet;
        mix_block(ctx, output + size_t{done} * OUTPUT_CHANNELS, block);
        done += block;
    }
}

} // namespace

// A request of 65536 frames or more is rendered in runs of at most 65535, one
// after another: the same frames as the same count asked for in smaller calls.
void generate_frames(ReplayContext* context, float* output, uint32_t frame_count) {
    std::memset(output, 0, size_t{frame_count} * OUTPUT_CHANNELS * sizeof(float));
    if (!context) return;
    for (uint32_t done = 0; done < frame_count;) {
        const uint32_t run = std::min(frame_count - done, MAX_RUN_FRAMES);
        generate_run(*context, output + size_t{done} * OUTPUT_CHANNELS, run);
        done += run;
    }
}

} // namespace replayer
