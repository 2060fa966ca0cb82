// SPDX-License-Identifier: GPL-2.0-or-later
// Quillrun replayer: time in a song. How long its first pass lasts, when a row
// first plays, seeking, and jumps. Included by replayer.h.
//
// Every call here runs the sequencer alone (no mixing) and allocates nothing,
// takes no lock and does no I/O. Each belongs to the thread that renders the
// context, between two render calls, like set_render_settings: they change
// playback. measure_pass, time_at and a seek far into a song run through up to
// a pass of it (milliseconds for a song of minutes): call them outside a
// real-time audio callback where that matters.
//
// Exact seeking: a seek to frame f leaves the context as rendering f frames
// from the song's start would leave it, every voice's position, loop, ramp
// and fade included, so what renders next is, bit for bit, what would have
// rendered from frame f on, at every setting.
#pragma once

#include "quillrun/context_api.h"

namespace replayer {

// The longest first pass measured: a song that never plays a row twice (an
// endless pattern loop) is cut here.
inline constexpr uint32_t PASS_LIMIT_SECONDS = 3600;
// The furthest a seek by seconds goes.
inline constexpr double SEEK_LIMIT_SECONDS = 86400.0;

// Where the song's first pass ends, and how long it lasts.
struct PassInfo {
    uint64_t frames;    // output frames in the pass (at most the limit asked for)
    bool ended;         // false: the limit came first (the song never repeated a row)
    uint16_t end_order; // the row played again that ends the pass: its order position
    uint8_t end_row;    //   and its row
};

// Runs the sequencer from the song's start until the first pass ends (see
// pass_ended) or `limit_frames` have passed: the same count of frames as
// rendering that pass. Leaves the song at its start, as after loading.
QUILLRUN_API PassInfo measure_pass(ReplayContext* context, uint64_t limit_frames);

// When a row first plays in the song's first pass.
struct RowTime {
    bool found;     // false: the first pass never plays that row
    uint64_t frame; // the output frame, counted from the song's start, whose tick fetches it
    double seconds; // frame / sample rate
};

// The first time the first pass plays row `row` of order position `order`, at
// the current sample rate. Leaves the song at its start, as after loading.
QUILLRUN_API RowTime time_at(ReplayContext* context, uint16_t order, uint8_t row);

// Seeks to output frame `frame` of the song played from its start (past the
// end of a pass the song goes on as rendering would). Exact: see above.
QUILLRUN_API void seek_to_frame(ReplayContext* context, uint64_t frame);

// Seeks to `seconds` from the song's start, rounded to the nearest frame at
// the current sample rate. False, and nothing changed, for a time below 0,
// past SEEK_LIMIT_SECONDS or not a number.
QUILLRUN_API bool seek_to_seconds(ReplayContext* context, double seconds);

// Seeks to where the first pass first plays row `row` of order position
// `order` (time_at), so that the next frame starts it with everything before
// it played. False, and the song left at its start, when the first pass never
// plays that row.
QUILLRUN_API bool seek_to_row(ReplayContext* context, uint16_t order, uint8_t row);

// Puts playback back at the song's start, exactly as after loading.
QUILLRUN_API void restart_song(ReplayContext* context);

// Jumps to row `row` of order position `order` (a row past the pattern's end
// means row 0), as a position jump does: the next frame starts that row.
// Unlike seek_to_row it plays nothing before: playing voices stop, and what the
// jump keeps, as a position jump keeps it, is the speed, BPM and global
// volume, and each channel's volume, panning, instrument, pitch and effect
// memories. Row visits start afresh, so a pass (pass_ended, measure_pass)
// counts from here. False, and nothing changed, when `order` is not below the
// song length.
QUILLRUN_API bool set_position(ReplayContext* context, uint16_t order, uint8_t row);

} // namespace replayer
