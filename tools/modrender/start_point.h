// SPDX-License-Identifier: GPL-2.0-or-later
// `--start`: where rendering or playing begins, as a time or as ORDER:ROW,
// reached by an exact seek (everything before it played, unheard).
#pragma once

#include <cstdint>

#include "quillrun/replayer.h"

struct StartPoint {
    enum Kind : uint8_t { SONG_START, SECONDS, ROW } kind = SONG_START;
    double seconds = 0; // SECONDS: from the song's start
    uint16_t order = 0; // ROW: order position
    uint8_t row = 0;    //      and row, where the first pass first plays it
};

// Reads SECONDS or ORDER:ROW; false when `text` is neither.
bool parse_start_point(const char* text, StartPoint& start);

// Seeks there; returns the frame reached, counted from the song's start, or
// UINT64_MAX when the song's first pass never plays the row.
uint64_t seek_to_start(replayer::ReplayContext* ctx, const StartPoint& start);
