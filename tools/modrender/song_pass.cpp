// SPDX-License-Identifier: GPL-2.0-or-later
#include "song_pass.h"

#include <cstring>

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
