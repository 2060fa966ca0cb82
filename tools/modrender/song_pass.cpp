#include "song_pass.h"

#include <cstring>
#include <vector>

namespace {
constexpr uint32_t MEASURE_CHUNK_FRAMES = 4096;
} // namespace

uint32_t render_chunk(SongRenderer& r, float* out, uint32_t max_frames) {
    replayer::generate_frames(r.ctx, out, max_frames);
    r.frames_rendered += max_frames;
    return max_frames;
}

uint32_t render_pass_chunk(SongRenderer& r, float* out, uint32_t max_frames) {
    if (r.pass_ended || max_frames == 0) return 0;
    const uint32_t tickless = replayer::playback_position(*r.ctx).frames_to_tick;
    if (tickless > 0) // no row can be fetched in these frames
        return render_chunk(r, out, tickless < max_frames ? tickless : max_frames);

    // This frame runs a tick and may fetch a row: render it alone and look.
    float frame[replayer::OUTPUT_CHANNELS];
    replayer::generate_frames(r.ctx, frame, 1);
    // A revisited row ends the pass here, without this frame.
    if (replayer::pass_ended(*r.ctx)) {
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
