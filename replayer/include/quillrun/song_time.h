// SPDX-License-Identifier: GPL-2.0-or-later
// Quillrun replayer: time in a song. How long its first pass lasts, when a row
// first plays, seeking, and jumps. Included by replayer.h.
//
// Passes and repeats: a pass ends at the frame whose tick fetches a row the
// pass played before (pass_ended). The repeat count says how many passes
// follow the first: 0 by default, so render stops after one pass; -1 plays for
// ever. Subsongs are the songs an order list holds beside the main one:
// sections playback never reaches from order 0, and in S3M the songs its end
// marker separates; each starts at the lowest order position no earlier song
// reached. A song the file separates goes round on its own.
// Selecting one makes its start the song's start for every call here.
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

// As measure_pass, through every pass the repeat count allows: the frames
// render fills before the song ends (ended true), or `limit_frames` (ended
// false: the song goes on, for ever under REPEAT_FOREVER). end_order and
// end_row name the row whose fetch ended the last pass. Leaves the song at
// its start.
QUILLRUN_API PassInfo measure_song(ReplayContext* context, uint64_t limit_frames);

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

inline constexpr int32_t REPEAT_FOREVER = -1;

// Sets how many passes follow the first (0..2^31-1, or REPEAT_FOREVER); the
// song ends after them (song_ended). Counts from the song's start: a pass
// already over counts. Kept through restarts, seeks and subsong changes.
// False, and nothing changed, below -1.
QUILLRUN_API bool set_repeat_count(ReplayContext* context, int32_t count);

// One subsong: where it starts and how long its first pass lasts.
struct SubsongInfo {
    uint16_t start_order; // order position of its first row (row 0)
    PassInfo pass;        // its first pass, at the current sample rate
    double seconds;       // pass.frames / sample rate
};

inline constexpr uint32_t MAX_SUBSONGS = 256; // one per order position at most

// Finds the subsongs, main song first, writing up to `capacity` of them to
// `out` (null with capacity 0 counts them), and returns how many there are,
// 1..MAX_SUBSONGS. Each pass is cut at PASS_LIMIT_SECONDS. Leaves the song at
// the selected subsong's start.
QUILLRUN_API uint32_t list_subsongs(ReplayContext* context, SubsongInfo* out, uint32_t capacity);

// Selects subsong `index` (0 the main song) of list_subsongs and puts playback
// at its start, as after loading but from there: its first pass is what
// measure_pass, time_at, the seeks and the repeat count count from. False,
// and nothing changed, for an index the module does not have.
QUILLRUN_API bool select_subsong(ReplayContext* context, uint32_t index);

// Puts playback back at the song's start (the selected subsong's), exactly as
// after loading.
QUILLRUN_API void restart_song(ReplayContext* context);

// Jumps to row `row` of order position `order` (a row past the pattern's end
// means row 0), as a position jump does: the next frame starts that row.
// Unlike seek_to_row it plays nothing before: playing voices stop, and what the
// jump keeps, as a position jump keeps it, is the speed, BPM and global
// volume, and each channel's volume, panning, instrument, pitch and effect
// memories. Row visits and passes start afresh (a song that had ended plays
// again), so a pass (pass_ended, the repeat count) counts from here. False, and nothing changed,
// when `order` is not below the song length.
QUILLRUN_API bool set_position(ReplayContext* context, uint16_t order, uint8_t row);

} // namespace replayer
