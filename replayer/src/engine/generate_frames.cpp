// SPDX-License-Identifier: GPL-2.0-or-later
// The frame generator: between two ticks every channel's step and gains stay
// constant, so the frames up to the next tick are mixed as one block, channel
// after channel. Each frame's sum is still formed in channel order, so the
// output equals running the sequencer and mixer frame by frame.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine.h"

namespace replayer {

namespace {

constexpr uint32_t MAX_RUN_FRAMES = 0xFFFF; // the generator counts a run's frames in 16 bits
constexpr uint32_t CONVERT_FRAMES =
    256; // 16-bit output is rendered through floats this many at a time
constexpr float S16_SCALE = 32768.0f;
constexpr float S16_HIGHEST = 32767.0f;
constexpr float S16_LOWEST = -32768.0f;

int16_t to_s16(float value) {
    const float scaled = value * S16_SCALE;
    if (scaled >= S16_HIGHEST) return INT16_MAX;
    if (scaled <= S16_LOWEST) return INT16_MIN;
    return static_cast<int16_t>(nearbyintf(scaled)); // halves to even
}

// Without Mix (a seek) the same frames pass, with nothing read or written.
// Returns the frames played: fewer when the song ends on the way.
template <bool Mix> uint32_t generate_run(ReplayContext& ctx, float* output, uint32_t frames) {
    uint32_t done = 0;
    while (done < frames && !ctx.playback.song_ended) {
        // The first frame of a block may run a tick; the rest of the block
        // are the frames before the next tick is due.
        uint32_t block = 0;
        if (ctx.playback.tick_remainder < TICK_UNITS_PER_FRAME) {
            advance_frame(ctx);
            if (pass_ended(ctx) && !start_next_pass(ctx)) break;
            block = 1;
        }
        const uint32_t quiet = std::min(frames_before_tick(ctx.playback), frames - done - block);
        ctx.playback.tick_remainder -= quiet * TICK_UNITS_PER_FRAME;
        block += quiet;
        if constexpr (Mix) {
            float* out = output + size_t{done} * OUTPUT_CHANNELS;
            if (ctx.mix.exact)
                mix_block(ctx, out, block);
            else
                mix_block_interpolated(ctx, out, block);
        } else if (ctx.mix.exact) {
            skip_block(ctx, block);
        } else {
            skip_block_interpolated(ctx, block);
        }
        done += block;
    }
    return done;
}

// A request of 65536 frames or more is rendered in runs of at most 65535, one
// after another: the same frames as the same count asked for in smaller calls.
uint32_t generate(ReplayContext& ctx, float* output, uint32_t frame_count) {
    std::memset(output, 0, size_t{frame_count} * OUTPUT_CHANNELS * sizeof(float));
    uint32_t done = 0;
    while (done < frame_count) {
        const uint32_t run = std::min(frame_count - done, MAX_RUN_FRAMES);
        const uint32_t played =
            generate_run<true>(ctx, output + size_t{done} * OUTPUT_CHANNELS, run);
        done += played;
        if (played < run) break;
    }
    return done;
}

} // namespace

uint32_t generate_frames(ReplayContext* context, float* output, uint32_t frame_count) {
    if (!context) {
        std::memset(output, 0, size_t{frame_count} * OUTPUT_CHANNELS * sizeof(float));
        return 0;
    }
    clear_peaks(*context);
    return generate(*context, output, frame_count);
}

// 16-bit output is rendered as floats, a short stretch at a time, and converted.
uint32_t render(ReplayContext* context, void* output, uint32_t frame_count) {
    if (!context || context->settings.sample_format != SAMPLE_FORMAT_S16)
        return generate_frames(context, static_cast<float*>(output), frame_count);
    clear_peaks(*context);
    auto* out = static_cast<int16_t*>(output);
    float buffer[CONVERT_FRAMES * OUTPUT_CHANNELS];
    uint32_t played = 0;
    for (uint32_t done = 0; done < frame_count;) {
        const uint32_t n = std::min(frame_count - done, CONVERT_FRAMES);
        played += generate(*context, buffer, n);
        convert_to_s16(buffer, out + size_t{done} * OUTPUT_CHANNELS, size_t{n} * OUTPUT_CHANNELS);
        done += n;
    }
    return played;
}

uint64_t skip_frames(ReplayContext& ctx, uint64_t frame_count) {
    uint64_t done = 0;
    while (done < frame_count) {
        const auto run =
            static_cast<uint32_t>(std::min<uint64_t>(frame_count - done, MAX_RUN_FRAMES));
        const uint32_t played = generate_run<false>(ctx, nullptr, run);
        done += played;
        if (played < run) break;
    }
    return done;
}

void clear_peaks(ReplayContext& ctx) {
    for (int c = 0; c < voice_records(ctx); ++c)
        ctx.channels[c].peak_left = ctx.channels[c].peak_right = 0;
}

void convert_to_s16(const float* input, int16_t* output, size_t count) {
    for (size_t i = 0; i < count; ++i) output[i] = to_s16(input[i]);
}

} // namespace replayer
