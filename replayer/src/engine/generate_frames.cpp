// The frame generator: between two ticks every channel's step and gains stay
// constant, so the frames up to the next tick are mixed as one block, channel
// after channel. Each frame's sum is still formed in channel order, so the
// output equals running the sequencer and mixer frame by frame.
#include <algorithm>
#include <cstring>

#include "engine.h"

namespace replayer {

namespace {
constexpr uint32_t FRAME_COUNT_MASK = 0xFFFF; // frames are counted in 16 bits
constexpr uint32_t FRAME_SHIFT = 13;          // log2(TICK_UNITS_PER_FRAME)
static_assert(TICK_UNITS_PER_FRAME == 1u << FRAME_SHIFT);
} // namespace

void generate_frames(ReplayContext* context, float* output, uint32_t frame_count) {
    const uint32_t frames = frame_count & FRAME_COUNT_MASK;
    std::memset(output, 0, size_t{frames} * OUTPUT_CHANNELS * sizeof(float));
    if (!context) return;
    ReplayContext& ctx = *context;
    uint32_t done = 0;
    while (done < frames) {
        // The first frame of a block may run a tick; the rest of the block
        // are the frames before the next tick is due.
        uint32_t block = 0;
        if (ctx.playback.tick_remainder < TICK_UNITS_PER_FRAME) {
            advance_frame(ctx);
            block = 1;
        }
        const uint32_t quiet =
            std::min(ctx.playback.tick_remainder >> FRAME_SHIFT, frames - done - block);
        ctx.playback.tick_remainder -= quiet * TICK_UNITS_PER_FRAME;
        block += quiet;
        mix_block(ctx, output + size_t{done} * OUTPUT_CHANNELS, block);
        done += block;
    }
}

} // namespace replayer
