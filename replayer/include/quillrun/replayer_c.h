/* SPDX-License-Identifier: GPL-2.0-or-later */
/* Quillrun replayer, C interface: loads XM, MOD, S3M, IT and compact tracker
 * modules and renders them as stereo frames: by default as the intro plays
 * them (48000 Hz floats, no interpolation), or at the settings a caller
 * chooses (rate, interpolation, ramping, separation, gain, 16-bit output).
 *
 * Contract
 * - A module is an opaque handle: load it from bytes in memory, render it,
 *   ask where it stands, free it. No C++ type crosses this interface; it is
 *   the one other languages bind. replayer.h is the full C++ interface.
 * - Memory: quillrun_load copies what it needs (the replay context and the
 *   module's bytes, for the names) and allocates nothing afterwards; the
 *   caller's bytes may go as soon as it returns. The caller frees the handle
 *   with quillrun_free.
 * - Threads: one handle is used by one thread at a time (the pattern calls
 *   excepted, see below); quillrun_render
 *   allocates nothing, takes no lock and does no I/O, so it may run on a
 *   real-time audio thread. Separate handles are independent.
 * - Output is bit-identical on every build and architecture, and equal to
 *   the C++ interface's for the same module.
 * - Bad input never crashes: a malformed module is refused with a reason or
 *   loads as (partial) silence.
 * - ABI: libquillrun-replayer.so.5; see replayer.h for when the number
 *   changes. */
#ifndef QUILLRUN_REPLAYER_C_H
#define QUILLRUN_REPLAYER_C_H

#include <stddef.h>
#include <stdint.h>

#ifndef QUILLRUN_API
#define QUILLRUN_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define QUILLRUN_SAMPLE_RATE 48000 /* frames per second, the default */
#define QUILLRUN_CHANNELS 2        /* interleaved, left first */

#define QUILLRUN_INTERPOLATION_NEAREST 0
#define QUILLRUN_INTERPOLATION_LINEAR 1
#define QUILLRUN_INTERPOLATION_CUBIC 2
#define QUILLRUN_INTERPOLATION_SINC 3
#define QUILLRUN_FORMAT_F32 0 /* interleaved floats */
#define QUILLRUN_FORMAT_S16 1 /* interleaved int16_t */

/* How a module renders; every field, its range and its default:
 *   sample_rate        8000..192000 frames per second; 48000
 *   interpolation      QUILLRUN_INTERPOLATION_*; nearest (sinc: 16 taps,
 *                      stretched to lower its cutoff for voices stepping
 *                      faster than the output rate)
 *   ramping            0 or 1: gains, note starts and ends move over 1 ms; 0
 *   stereo_separation  0..200 percent; 100
 *   gain_db            -60..+24; 0
 *   sample_format      QUILLRUN_FORMAT_*, for quillrun_render_output: floats,
 *                      or 16-bit integers (v x 32768 rounded to nearest, halves
 *                      to even, clipped to -32768..32767); floats
 * quillrun/render_settings.h says more of each. */
typedef struct quillrun_settings {
    uint32_t sample_rate;
    uint8_t interpolation;
    uint8_t ramping;
    uint16_t stereo_separation;
    float gain_db;
    uint8_t sample_format;
    uint8_t reserved[3]; /* 0 */
} quillrun_settings;

typedef struct quillrun_module quillrun_module;

/* The row playback fetched last. */
typedef struct quillrun_position {
    uint16_t order;  /* order position */
    uint8_t pattern; /* the pattern the order table names there */
    uint8_t row;     /* row within that pattern */
} quillrun_position;

/* Loads a module from `length` bytes at `data`. Returns the handle, or NULL
 * and, if `error` is not NULL, a static one-line reason in *error. */
QUILLRUN_API quillrun_module* quillrun_load(const void* data, size_t length, const char** error);

/* Frees the handle and everything it holds; NULL is ignored. */
QUILLRUN_API void quillrun_free(quillrun_module* module);

/* Renders `frame_count` frames (2 floats each, left then right) into
 * `frames`, advancing playback. Returns how many frames the song filled: all
 * of them, or fewer when its last pass ended on the way (the rest, and every
 * later call, silence). The repeat count says how many passes follow the
 * first: 0 by default (one pass), -1 for ever; past the end of the order list
 * a song goes on at its restart position. */
QUILLRUN_API uint32_t quillrun_render(quillrun_module* module, float* frames, uint32_t frame_count);

/* As quillrun_render, in the settings' sample format: 2 floats or 2 int16_t
 * per frame. */
QUILLRUN_API uint32_t quillrun_render_output(quillrun_module* module, void* frames,
                                             uint32_t frame_count);

/* Sets the repeat count (passes after the first, or -1 for ever; kept through
 * seeks and subsong changes): 1, or 0 and nothing changed below -1. */
QUILLRUN_API int quillrun_set_repeat_count(quillrun_module* module, int32_t count);

/* 1 once the last pass the repeat count allows is over, else 0. */
QUILLRUN_API int quillrun_song_ended(const quillrun_module* module);

/* The intro's rendering (the default) and the one for listening: 48000 Hz,
 * sinc interpolation, ramping. */
QUILLRUN_API quillrun_settings quillrun_default_settings(void);
QUILLRUN_API quillrun_settings quillrun_listening_settings(void);

/* Renders from the next frame on with *settings; returns NULL, or a static
 * one-line reason (a field out of range) and changes nothing. Between two
 * render calls, on the rendering thread; allocates nothing. A new sample rate
 * also re-measures the pass (quillrun_pass_frames) by running the sequencer
 * through the song without mixing, which takes a few milliseconds: choose the
 * rate before playback rather than inside an audio callback. */
QUILLRUN_API const char* quillrun_set_settings(quillrun_module* module,
                                               const quillrun_settings* settings);
QUILLRUN_API quillrun_settings quillrun_get_settings(const quillrun_module* module);

QUILLRUN_API quillrun_position quillrun_get_position(const quillrun_module* module);

/* 1 once playback has fetched a row it played before (the repeats of a
 * pattern loop do not count): the song's first pass is over. Else 0. */
QUILLRUN_API int quillrun_pass_ended(const quillrun_module* module);

/* The first pass through the song, measured at load without mixing: its
 * length in frames at the current sample rate (at most an hour's; a song that
 * never repeats a row is cut there) and in seconds, and the row whose second visit ends it.
 * quillrun_pass_end returns 0 (and leaves *order and *row alone) for a song
 * that never repeats a row within that hour. */
QUILLRUN_API uint64_t quillrun_pass_frames(const quillrun_module* module);
QUILLRUN_API double quillrun_duration(const quillrun_module* module);
QUILLRUN_API int quillrun_pass_end(const quillrun_module* module, uint16_t* order, uint8_t* row);

/* Exact seeking: afterwards the module renders, bit for bit, what it would
 * have rendered from that point when played from the start, at every setting
 * (replayer/song_time.h). Each runs the song from its start without mixing:
 * about a hundredth of the time rendering it takes at listening settings.
 * quillrun_seek_seconds rounds to the nearest frame at the current rate and
 * returns 0, changing nothing, for a time below 0 or over a day;
 * quillrun_seek_row seeks to where the first pass first plays that row and
 * returns 0 (the song at its start) when it never does. */
QUILLRUN_API void quillrun_seek_frame(quillrun_module* module, uint64_t frame);
QUILLRUN_API int quillrun_seek_seconds(quillrun_module* module, double seconds);
QUILLRUN_API int quillrun_seek_row(quillrun_module* module, uint16_t order, uint8_t row);

/* When the first pass first plays row `row` of order position `order`: 1 and
 * the frame (at the current rate) and seconds from the song's start in
 * *frame and *seconds (either may be NULL), or 0 when it never does.
 * Playback is left where it was. */
QUILLRUN_API int quillrun_time_at(quillrun_module* module, uint16_t order, uint8_t row,
                                  uint64_t* frame, double* seconds);

/* The module's channels, and the caller's control of each (channel 0 first):
 * mute, solo (while any channel is soloed only the soloed ones that are not
 * muted sound) and a volume from 0 to 1 (the default, as the song plays it)
 * in steps of 1/255. Each applies from the next frame on and stays through
 * seeks, jumps and setting changes; each returns 1, or 0 and changes nothing
 * for a channel the module does not have or a volume outside 0..1. On the
 * rendering thread, between two render calls; nothing is allocated. */
QUILLRUN_API uint32_t quillrun_channel_count(const quillrun_module* module);
QUILLRUN_API int quillrun_set_channel_mute(quillrun_module* module, uint32_t channel, int muted);
QUILLRUN_API int quillrun_set_channel_solo(quillrun_module* module, uint32_t channel, int solo);
QUILLRUN_API int quillrun_set_channel_volume(quillrun_module* module, uint32_t channel,
                                             float volume);

/* Subsongs: the songs an order list holds beside the main one (number 0),
 * each starting at the lowest order position no earlier one reaches. Counting
 * them, or asking for one's start and first pass, runs the sequencer through
 * each without mixing and leaves playback where it was. Selecting one puts
 * playback at its start; its first pass is then what quillrun_pass_frames,
 * quillrun_duration, the seeks and the repeat count count from. The info and
 * select calls return 0 (nothing changed) for an index past the count. */
QUILLRUN_API uint32_t quillrun_subsong_count(quillrun_module* module);
QUILLRUN_API int quillrun_subsong_info(quillrun_module* module, uint32_t index,
                                       uint16_t* start_order, uint64_t* frames, double* seconds);
QUILLRUN_API int quillrun_select_subsong(quillrun_module* module, uint32_t index);

/* What plays now, after the last render call. Read on the rendering thread
 * between two render calls (and handed on by the caller); the pattern calls
 * read only what loading wrote and may run on any thread at any time. */
typedef struct quillrun_song_state {
    uint16_t order;        /* order position of the row fetched last */
    uint8_t pattern;       /* the pattern named there */
    uint8_t row;           /* row within it */
    uint8_t tick;          /* ticks of the row run so far */
    uint8_t speed;         /* ticks per row */
    uint8_t tempo;         /* beats per minute */
    uint8_t global_volume; /* 0..64 */
    uint32_t passes_ended; /* passes completed */
    uint8_t ended;         /* 1: the last pass is over */
    uint8_t subsong;       /* selected subsong */
    uint8_t reserved[2];
} quillrun_song_state;

typedef struct quillrun_channel_info {
    uint8_t playing;    /* 1: a voice sounds */
    uint8_t note;       /* last note triggered, 1..120 (1 = C-0), 0 none */
    uint8_t instrument; /* 1-based, 0 none */
    uint8_t volume;     /* 0..64 */
    uint8_t panning;    /* 0..255, 128 centre */
    uint8_t reserved[3];
    float peak_left;  /* 0..1 of full scale, the largest value the channel */
    float peak_right; /* added to that side in the last render call (0 with
                         peak meters off) */
} quillrun_channel_info;

/* A pattern cell as loaded: note (0 none, 1..120, 121..127 retrigger (122
 * selects the instrument only, 123 fades the note), 128 and up key off), instrument (1-based, 0
 * none), volume column (XM encoding, 0 empty), internal effect code and parameter. */
typedef struct quillrun_cell {
    uint8_t note, instrument, volume, effect, parameter;
} quillrun_cell;

/* Peak meters (off when loaded): on, each render keeps every channel's peak
 * levels for quillrun_get_channel_info, at a little cost in mixing time. */
QUILLRUN_API void quillrun_set_peak_meters(quillrun_module* module, int on);

QUILLRUN_API quillrun_song_state quillrun_get_song_state(const quillrun_module* module);
/* 1, or 0 and *info untouched for a channel the module does not have. */
QUILLRUN_API int quillrun_get_channel_info(const quillrun_module* module, uint32_t channel,
                                           quillrun_channel_info* info);
/* Rows of a pattern, 0 for a pattern the module does not have. */
QUILLRUN_API uint32_t quillrun_pattern_rows(const quillrun_module* module, uint32_t pattern);
/* 1, or 0 and *cell untouched outside the patterns, rows and channels. */
QUILLRUN_API int quillrun_get_cell(const quillrun_module* module, uint32_t pattern, uint32_t row,
                                   uint32_t channel, quillrun_cell* cell);
/* The cell as its tracker shows it, "C-4 01 v64 A0F" (14 characters), cut
 * to size - 1 and terminated; returns 14, or 0 (and "" when size > 0)
 * outside the patterns. */
QUILLRUN_API size_t quillrun_cell_text(const quillrun_module* module, uint32_t pattern,
                                       uint32_t row, uint32_t channel, char* buffer, size_t size);

/* Jumps to row `row` of order position `order`, as a position jump does:
 * the next frame starts that row, playing voices stop, speed, BPM, global
 * volume and each channel's settings and effect memories stay (replayer.h,
 * set_position). Returns 1, or 0 and changes nothing when `order` is past
 * the song. */
QUILLRUN_API int quillrun_set_position(quillrun_module* module, uint16_t order, uint8_t row);

/* The module's texts as its file holds them: the title, the instrument names
 * and the sample names (MOD and S3M instruments are their samples: both lists
 * hold the same names). Compact images hold none. Each name is written to
 * `buffer` cut to `size` - 1 bytes and terminated with a zero (nothing is
 * written when `size` is 0); the return value is the name's full length, as
 * snprintf counts it, or 0 for an index out of range. Bytes are as stored
 * (cut at the first zero, trailing spaces removed, control characters as
 * spaces); trackers wrote ASCII or their own code page. */
QUILLRUN_API size_t quillrun_title(const quillrun_module* module, char* buffer, size_t size);
QUILLRUN_API uint32_t quillrun_instrument_count(const quillrun_module* module);
QUILLRUN_API size_t quillrun_instrument_name(const quillrun_module* module, uint32_t index,
                                             char* buffer, size_t size);
QUILLRUN_API uint32_t quillrun_sample_count(const quillrun_module* module);
QUILLRUN_API size_t quillrun_sample_name(const quillrun_module* module, uint32_t index,
                                         char* buffer, size_t size);
/* IT's song message, its lines ended by '\n' (other formats and IT files
 * without one: 0 and an empty text). */
QUILLRUN_API size_t quillrun_message(const quillrun_module* module, char* buffer, size_t size);

#ifdef __cplusplus
}
#endif

#endif
