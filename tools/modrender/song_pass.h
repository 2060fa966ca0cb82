// SPDX-License-Identifier: GPL-2.0-or-later
// Renders a loaded module for a fixed time, or for exactly one pass through
// the song: up to the fetch that returns playback to a row it already played.
#pragma once

#include <cstdint>

#include "quillrun/replayer.h"

struct SongRenderer {
    replayer::ReplayContext* ctx;
    uint64_t frames_rendered = 0; // frames handed out so far
    bool pass_ended = false;      // the next frame would start a second pass
};

// Renders up to `max_frames` frames into `out`, stopping early
// where the song's first pass ends. Returns the frames written; 0 once ended.
uint32_t render_pass_chunk(SongRenderer& r, float* out, uint32_t max_frames);

// Renders up to `max_frames` frames whatever the song does.
uint32_t render_chunk(SongRenderer& r, float* out, uint32_t max_frames);
