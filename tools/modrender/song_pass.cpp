// SPDX-License-Identifier: GPL-2.0-or-later
#include "song_pass.h"

#include <cstring>
#include <vector>

namespace {

// Time inside a tick is counted in 1/8192 of a frame; a tick runs in the frame
// that starts with less than one frame of the tick left.
constexpr uint32_t TICK_UNITS_PER_FRAME = 8192;
constexpr uint32_t MAX_CALL_FRAMES = 0xFFFF; // generate_frames counts in 16 bits
constexpr uint32_t MEASURE_CHUNK_FRAMES = 4096;

bool same_state(const replayer::PlaybackState& a, const replayer::PlaybackState& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

} // namespace

uint32_t render_chunk(SongRenderer& r, float* out, uint32_t max_frames) {
    const uint32_t n = max_frames < MAX_CALL_FRAMES ? max_frames : MAX_CALL_FRAMES;
    replayer::generate_frames(r.ctx, out, n);
    r.frames_rendered += n;
    return n;
}

uint32_t render_pass_chunk(SongRenderer& r, float* out, uint32_t max_frames) {
    if (r.pass_ended || max_frames == 0) return 0;
    const replayer::PlaybackState before = r.ctx->playback;
    const uint32_t tickless = before.tick_remainder / TICK_UNITS_PER_FRAME;
    if (tickless > 0) // no row can be fetched in these frames
        return render_chunk(r, out, tickless < max_frames ? tickless : max_frames);

    // This frame runs a tick and may fetch a row: render it alone and look.
    float frame[replayer::OUTPUT_CHANNELS];
    replayer::generate_frames(r.ctx, frame, 1);
    // An engine that does not advance (or a revisited row) ends the pass here,
    // without this frame.
    if (r.ctx->playback.row_visits != 0 || same_state(before, r.ctx->playback)) {
        r.pass_ended = true;
        return 0;
    }
    std::memcpy(out, frame, sizeof frame);
    r.frames_rendered += 1;
    return 1;
}

uint64_t measure_pass_frames(replayer::ReplayContext* ctx, uint64_t limit) {
    SongRenderer r{ctx};
    std::vector<float> buffer(MEASURE_CHUNK_FRAMES * replayer::OUTPUT_CHANNELS);
    while (r.frames_rendered < limit) {
        const uint64_t left = limit - r.frames_rendered;
        const uint32_t want =
            left < MEASURE_CHUNK_FRAMES ? static_cast<uint32_t>(left) : MEASURE_CHUNK_FRAMES;
        if (render_pass_chunk(r, buffer.data(), want) == 0) break;
    }
    return r.frames_rendered;
}
