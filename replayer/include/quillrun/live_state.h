// SPDX-License-Identifier: GPL-2.0-or-later
// Quillrun replayer: what plays now, for players and visualisers: the song's
// speed, tempo and place, each channel's note, instrument, levels and peak,
// and the pattern cells with their text as trackers show it. Included by
// replayer.h.
//
// Nothing here allocates, locks or does I/O. Threads:
// - set_peak_meters changes what render does: the rendering thread's, between
//   two render calls, like set_render_settings.
// - song_state and channel_info read what render writes: call them on the
//   rendering thread between two render calls (in an audio callback, right
//   after rendering) and hand the copies on by your own means. Called from
//   another thread while a render runs they would read records in the middle
//   of being written.
// - pattern_rows, pattern_cell and cell_text read only the pattern slots,
//   which nothing writes after loading: any thread, at any time, also while
//   another renders, as long as the context is not freed.
#pragma once

#include <cstddef>

#include "quillrun/context_api.h"

namespace replayer {

struct PatternSlot;

// The song's place and clock after the last render call.
struct SongState {
    uint16_t order;        // order position of the row fetched last
    uint8_t pattern;       // the pattern the order table names there
    uint8_t row;           // row within that pattern
    uint8_t tick;          // ticks of the row run so far
    uint8_t speed;         // ticks per row
    uint8_t tempo;         // beats per minute
    uint8_t global_volume; // 0..64 (IT: 0..128)
    uint32_t passes_ended; // passes completed (see set_repeat_count)
    bool ended;            // the last pass is over (song_ended)
    uint8_t subsong;       // selected subsong, 0 the main song
};

QUILLRUN_API SongState song_state(const ReplayContext& context);

// Peak meters: off when a module loads. On, every render call keeps each
// channel's peak levels (ChannelInfo), which costs the mixer a little time
// (up to half again at the intro's settings, a few percent more with
// interpolation). Off,
// the peaks read 0. Kept through restarts, seeks and subsong changes.
QUILLRUN_API void set_peak_meters(ReplayContext* context, bool on);

// One channel after the last render call. The note, instrument, volume and
// panning are the song's (before mute, solo and the channel volume); the
// peaks are what was heard, after all of them. Notes an IT channel left
// playing in background voices count as the channel's: `playing` and the
// peaks include them.
struct ChannelInfo {
    bool playing;       // a voice sounds (it may be at volume 0)
    uint8_t note;       // last note triggered: 1..120 (1 = C-0), 0 none yet
    uint8_t instrument; // 1-based, 0 none
    uint8_t volume;     // 0..64, with tremolo and tremor
    uint8_t panning;    // 0..255, 128 centre
    float peak_left;    // 0..1 of full scale: the largest value the channel added to
    float peak_right;   //   the left (right) output during the last render call
                        //   (with peak meters on; else 0)
};

// False, and *info untouched, for a channel the module does not have.
QUILLRUN_API bool channel_info(const ReplayContext& context, uint8_t channel, ChannelInfo* info);

// Rows of pattern `pattern`: 1..256, or 0 when the module has no such pattern.
QUILLRUN_API uint16_t pattern_rows(const ReplayContext& context, uint16_t pattern);

// The cell of a pattern at a row and channel, as loaded (note bytes NOTE_*,
// effect codes EffectCode, the volume column in XM's encoding). False, and
// *cell untouched, outside the module's patterns, rows or channels.
QUILLRUN_API bool pattern_cell(const ReplayContext& context, uint16_t pattern, uint16_t row,
                               uint8_t channel, PatternSlot* cell);

inline constexpr size_t CELL_TEXT_SIZE = 15; // "C-4 01 v64 A0F" and its zero

// The cell as the module's tracker shows it, 14 characters: note ("C-4",
// "===" key off, "^^^" retrigger, "..." none), instrument in hex ("01", ".."),
// volume column (v00..v64 volume; d/c slide down/up, b/a fine down/up,
// u/h vibrato speed/depth, p panning, l/r pan slide left/right, g tone
// portamento; "..." none) and effect with parameter (XM and MOD notation, or
// S3M's for S3M modules; "..." none). Writes at most capacity - 1 characters
// and a zero; returns the full length (14).
QUILLRUN_API size_t cell_text(const ReplayContext& context, const PatternSlot& cell, char* out,
                              size_t capacity);

} // namespace replayer
