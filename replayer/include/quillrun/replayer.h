// SPDX-License-Identifier: GPL-2.0-or-later
// Quillrun replayer: loads XM, MOD, S3M, IT and compact modules into one block of
// memory (the replay context) and renders them as stereo frames: at 48000 Hz
// exactly as the intro plays them by default, or at any rate from 8000 to
// 192000 Hz with interpolation, ramping, separation and gain of the caller's
// choosing (render_settings.h).
//
// Contract
// - Formats: XM 1.04, MOD (31 samples, 1..99 channels, FLT8 paired patterns;
//   15 samples and 4 channels without a signature), S3M, IT, and the compact
//   format (a loaded context written out; its layout is in compact_format.h,
//   which this header includes). IT modules are converted into the context
//   the other formats use: up to 64 channels, notes C-1..B-8, envelopes of 25
//   nodes, a pool of 64 background voices for new-note actions (the quietest
//   gives way when all play), the resonant filter computed in the mixer at
//   every setting (of the MIDI macros only the filter messages act).
//   Limits: 256 patterns of 1..256 rows, 255 channels, 255 instruments, 256
//   orders, samples under 2^20 frames.
// - Loading: `load_module_checked` prescans the bytes, sizes the context, makes
//   exactly one allocation (at most CONTEXT_SIZE_LIMIT bytes), fills it and
//   returns it, or returns a reason and allocates nothing that survives.
//   `load_module` is the intro's form of the same checks: on any failure it ends
//   the process with status 1 and prints nothing.
// - Every read of module bytes is bounded: bytes at or past the end read as 0.
//   A malformed module is rejected or loads as (partial) silence; it never makes
//   the loader or the engine read or write outside their buffers.
// - Memory: the caller owns the returned context and frees it with
//   `free_module` (the intro never does; it lives until the process ends). The
//   module bytes are not referenced after loading returns.
// - Rendering: `generate_frames` (floats) and `render` (the settings' format)
//   advance playback and write interleaved stereo frames (left first). At
//   every setting they allocate nothing, take no lock and do no I/O, so they
//   may run on a real-time audio thread. One context must be rendered by one
//   thread at a time, and its settings changed by that thread between render
//   calls; loading may happen on any thread. The sinc kernels are built once
//   per process (a few milliseconds), by the first set_render_settings that
//   asks for them; no render call builds anything. A song plays one pass by
//   default and render then reports its end (set_repeat_count, song_time.h).
// - Threads beyond that: every call that changes playback (time, channels,
//   settings) belongs to the rendering thread between render calls; the song
//   and channel state are read there too. Only the pattern calls of
//   live_state.h and the name calls may run on another thread while one
//   renders: they read what nothing writes after loading.
// - Output is bit-identical on every build and architecture, at every
//   setting: the engine uses fixed-point and single-precision arithmetic in a
//   fixed order, and builds its kernel tables with its own arithmetic. All playback
//   state, the random-waveform generator included, lives in the context, so
//   separate contexts render independently on separate threads.
// - The context layout below is part of the contract: tools read a loaded
//   module through it (the compact writer, --info). Playback writes only
//   `PlaybackState`, the playing order and row, the `ChannelState` records and
//   the row-visit table; set_render_settings writes `settings` and `mix`; the
//   repeat count, subsong and meter calls write `song`.
// - Library and ABI: libquillrun-replayer.so.5 (and a static library) exports
//   exactly the functions declared here, in module_records.h, song_time.h,
//   channel_control.h and live_state.h (which this header includes) and in
//   replayer_c.h, nothing else.
//   The number in the SONAME goes up whenever a declaration here or there
//   changes its signature or a record here or in module_records.h changes
//   its layout (the context's included); added functions and constants keep
//   it. The C interface
//   (replayer_c.h) hides the context behind a handle and is the one other
//   languages bind.
#pragma once

#include <cstddef>
#include <cstdint>

#include "quillrun/context_api.h"
#include "quillrun/effect_codes.h"
#include "quillrun/module_records.h"
#include "quillrun/render_settings.h"

namespace replayer {

// ------------------------------------------------------------ playback state

struct PlaybackState {
    uint32_t tick_remainder; // 1/8192 frame left in the current tick, wraps
    uint32_t frame_rate;     // output frames per second, 8000..192000
    uint16_t order_position; // index into the order table
    uint8_t tick;            // tick within the row, 0 = row tick
    uint8_t next_row;        // row fetched next; playing row is next_row - 1
    uint8_t delay_repeats;   // repeats of the current row so far
    uint8_t pattern_delay;   // extra repeats requested
    uint8_t global_volume;   // 0..64 (IT: 0..128)
    uint8_t speed;           // ticks per row
    uint8_t bpm;             // beats per minute
    uint8_t break_pending;   // pattern break requested on this row
    uint8_t jump_pending;    // position jump (or loop jump) requested
    uint8_t jump_order;      // order position to jump to
    uint8_t start_row;       // row the next pattern starts at; reset after use
    uint8_t row_visits;      // earlier visits of the row fetched last
    uint32_t random_state;   // generator of the random waveform, 0 at start
    uint32_t passes_ended;   // passes completed since the start (repeat count)
    uint8_t song_ended;      // 1: the last pass the repeat count allows is over
    uint8_t extra_ticks;     // IT S6x: ticks each repeat of the current row lasts past the speed
    uint8_t spare[2];
};

// IT's resonant low-pass filter on one voice, in sample units:
// y = a x + b y1 + c y2, with the coefficients of the last tick.
struct VoiceFilter {
    float a, b, c; // a = 0: the voice is not filtered
    float y1, y2;  // the last two outputs
};

// A voice that a new note or a cut took over from, fading out under ramping.
struct FadingVoice {
    const SampleRecord* sample;  // null: nothing fading
    uint64_t position;           // 32.32 fixed point, frames
    uint64_t step;               // 32.32 fixed point, frames per output frame
    float gain_left, gain_right; // 0..1, where the fade starts
    uint32_t frames_left;        // of the fade
    uint32_t looped;             // 1: it has been round its loop (see VoiceMix)
    VoiceFilter filter;          // as it stood when the fade began
};

// The mixer's state of a channel beyond the intro's rendering, which uses
// none of it.
struct VoiceMix {
    // finer pitch: with precise steps, 32.32 = (position << 20) | position_fine
    uint32_t position_fine; // 0..2^20-1
    uint32_t step_fine;     // 0..2^20-1
    // ramped gains
    float gain_left, gain_right;     // 0..1, reached so far
    float target_left, target_right; // 0..1, where the ramp goes
    float delta_left, delta_right;   // per frame
    uint32_t ramp_frames_left;
    // note starts, to tell a new voice from the one mixed before
    uint8_t voice_serial;             // counts the channel's note starts, wraps
    uint8_t mixed_serial;             // the start mixed last
    uint8_t mixed_flags;              // that voice: bit 0 could still be heard, bit 1 looped
    uint8_t looped;                   // 1: the voice has been round its loop, so the frames before
                                      // the loop start read as the loop's end
    const SampleRecord* mixed_sample; // the voice mixed last, null none
    uint64_t mixed_position;          // 32.32, where it stood
    uint64_t mixed_step;              // 32.32
    FadingVoice fading;
    VoiceFilter replaced_filter; // the filter of the voice the last note start replaced
};

struct ChannelState {
    // references
    const InstrumentRecord* instrument; // in use, or null
    const SampleRecord* sample;         // playing, or null (silent)
    const PatternSlot* slot;            // this channel's slot in the playing row
    // mixer
    uint32_t position; // 20.12 fixed point, frames
    uint32_t step;     // 20.12 fixed point, frames per output frame
    float gain_left;   // 0..1
    float gain_right;  // 0..1
    // pitch and instrument clocks
    uint16_t period;               // 0 = none
    uint16_t target_period;        // tone portamento destination
    uint16_t fadeout_volume;       // 0..32767
    uint16_t autovibrato_ticks;    // ticks since trigger
    uint16_t volume_envelope_pos;  // ticks
    uint16_t panning_envelope_pos; // ticks
    // levels
    uint8_t volume_envelope_value;  // 0..64
    uint8_t panning_envelope_value; // 0..64, 32 centre
    uint8_t volume;                 // 0..64
    int8_t volume_offset;           // subtracted from volume: tremolo, tremor
    uint8_t panning;                // 0..255
    uint8_t channel_panning;        // 0..255, 128 neutral
    uint8_t note;                   // 1..120, last triggered
    int8_t finetune;                // -16..15
    uint8_t instrument_number;      // 1-based, 0 none
    // parameter memories
    uint8_t volume_slide_memory;
    uint8_t fine_volume_up_memory; // amount x 16
    uint8_t fine_volume_down_memory;
    uint8_t global_volume_slide_memory;
    uint8_t panning_slide_memory;
    uint8_t porta_up_memory;
    uint8_t porta_down_memory;
    uint8_t fine_porta_up_memory;   // amount x 4
    uint8_t fine_porta_down_memory; // amount x 4
    uint8_t extra_fine_porta_up_memory;
    uint8_t extra_fine_porta_down_memory;
    // pitch effects
    uint8_t glissando;
    int8_t period_residual; // removed by semitone rounding, restored on next slide
    uint8_t tone_porta_speed;
    uint8_t retrig_memory;  // high nibble volume change, low nibble interval
    uint8_t retrig_counter; // ticks since the last multi-retrigger
    uint8_t loop_start_row;
    uint8_t loop_counter;
    uint8_t sample_offset_memory; // units of 256 frames
    uint8_t sample_ended;         // offset lay past the end: silent
    // modulators
    uint8_t tremolo_memory; // high nibble speed, low nibble depth
    uint8_t tremolo_phase;  // 0..255 = one period
    uint8_t tremolo_waveform;
    uint8_t vibrato_memory;
    uint8_t vibrato_phase;
    int8_t vibrato_offset;
    uint8_t vibrato_active;
    uint8_t vibrato_waveform;
    int8_t autovibrato_offset;
    uint8_t arpeggio_active;
    uint8_t arpeggio_offset; // semitones on this tick
    uint8_t tremor_memory;
    uint8_t tremor_counter;
    uint8_t tremor_on;
    uint8_t shared_memory; // last non-zero parameter of any effect
    uint8_t key_held;      // 1 from trigger to key-off
    // the caller's control (channel_control.h), kept across restarts and seeks
    uint8_t control_flags; // CHANNEL_* bits
    uint8_t control_cut;   // 0..255: the channel's gain x (255 - cut) / 255
    uint8_t filter_macro;  // 0..15: which parametered macro Z00..Z7F runs (SFx)
    // IT (RULE_IT): the channel's volume and the background voices
    uint8_t channel_volume;              // 0..64
    uint8_t channel_volume_slide_memory; // Nxy
    uint8_t note_fade;                   // 1: the fadeout runs though the key is held
    uint8_t voice_owner;                 // background voice: 1 + its channel; 0 channel or free
    uint8_t new_note_action; // 1 + NNA_* set for the note playing (S73..S76), 0 the instrument's
    uint8_t filter_cutoff;   // 0..127; 127 with resonance 0 leaves the filter as it is
    uint16_t pitch_envelope_pos;  // ticks
    int16_t pitch_envelope_shift; // 1/64 semitone up, -1024..1024, from the pitch envelope
    // what the last render call heard of the channel, for level meters
    uint16_t peak_left;  // 0..65535 = 0..1 of full scale, saturating
    uint16_t peak_right; // 0..65535
    // IT's resonant filter (RULE_IT)
    uint8_t filter_resonance; // 0..127
    uint8_t arpeggio_memory;  // IT Jxy's own memory (RULE_IT)
    uint16_t filter_envelope; // 0..4096: the cutoff's share from the filter envelope, x 4096
    uint8_t envelopes_off;    // ENVELOPE_OFF_* bits: paused for this note (IT S77, S79, S7B)
    // IT's panbrello (Yxy)
    uint8_t panbrello_memory; // high nibble speed, low nibble depth
    uint8_t panbrello_phase;  // 0..255 = one period
    int8_t panbrello_offset;  // added to the panning position (0..256) on this tick
    // bits 0..1 WAVEFORM_SINE, _RAMP_DOWN, _SQUARE or _RANDOM (S5x); bits 4..7
    // the ticks the random waveform's value has stood, 0..15
    uint8_t panbrello_waveform;
    int8_t panbrello_random;    // the random waveform's value, -64..63
    uint8_t sample_offset_high; // IT SAx: 0..15, the sample offset's 65536-frame part
    VoiceFilter filter;
    VoiceMix mix;
};

// ChannelState::envelopes_off
inline constexpr uint8_t ENVELOPE_OFF_VOLUME = 1;
inline constexpr uint8_t ENVELOPE_OFF_PANNING = 2;
inline constexpr uint8_t ENVELOPE_OFF_PITCH = 4;

// What the caller chose to play: kept through restarts, seeks and setting
// changes (song_time.h).
struct SongChoice {
    int32_t repeat_count; // passes after the first: 0 (the default) .. 2^31-1, -1 for ever
    uint16_t start_order; // order position the selected subsong starts at
    uint8_t subsong;      // 0 the main song, else an index from list_subsongs
    uint8_t format;       // ModuleFormat the module was loaded from
    uint8_t peak_meters;  // 1: render keeps each channel's peak levels (set_peak_meters)
    uint8_t spare;
    uint16_t end_order; // the selected song's order positions end before this one
};

// What IT's MIDI macros (Zxx, chosen among by SFx) do: the replayer plays no
// MIDI, so only the messages that set the filter are kept; others do nothing.
inline constexpr uint8_t MACRO_NONE = 0;
inline constexpr uint8_t MACRO_CUTOFF = 1;
inline constexpr uint8_t MACRO_RESONANCE = 2;
inline constexpr int PARAMETERED_MACROS = 16; // SF0..SFF
inline constexpr int FIXED_MACROS = 128;      // Z80..ZFF

struct MacroSet {
    uint8_t parametered[PARAMETERED_MACROS]; // MACRO_*: what Z00..Z7F set to their value
    uint8_t fixed_kind[FIXED_MACROS];        // MACRO_*: what Z80..ZFF set
    uint8_t fixed_value[FIXED_MACROS];       // 0..127, the value they set
};

// --------------------------------------------------------- the context block

// The fixed header at the start of the block. The regions follow it in this
// order: channel states, instruments, samples, pattern table, sample data,
// pattern slots, row-visit table.
struct ReplayContext {
    PatternRecord* patterns;
    PatternSlot* slots;
    InstrumentRecord* instruments;
    SampleRecord* samples;
    int16_t* sample_data;
    ChannelState* channels;
    uint8_t* row_visits; // song_length x 256 counters
    uint32_t total_sample_frames;
    uint32_t total_rows;
    uint16_t song_length; // 1..256
    uint16_t pattern_count;
    uint16_t sample_count;
    uint8_t channel_count;
    uint8_t instrument_count;
    uint8_t order_table[ORDER_TABLE_SIZE];
    uint8_t restart_position;
    uint8_t default_speed; // ticks per row
    uint8_t default_bpm;
    uint8_t default_global_volume; // 0..64 (IT: 0..128)
    uint8_t channel_panning[MAX_CHANNEL_PANNING];
    uint8_t amiga_periods; // 1 Amiga period table, 0 linear
    uint8_t tracker_rules; // RULE_* bits: where the module's tracker differs
    uint8_t playing_order; // order position of the row fetched last (playback)
    uint8_t playing_row;   // that row within its pattern (playback)
    PlaybackState playback;
    RenderSettings settings; // set_render_settings
    MixSetup mix;            // derived from `settings`
    SongChoice song;         // repeat count and subsong
    // bit k of byte k / 8: order position k ends a song the file separates
    // from the next (S3M's end marker between two songs); none set elsewhere
    uint8_t song_breaks[ORDER_TABLE_SIZE / 8];
    // IT (RULE_IT): each channel's volume at the song's start, 0..64
    uint8_t channel_volume[MAX_CHANNEL_PANNING];
    // ChannelState records after the channels' own for notes left playing in
    // the background (IT new-note actions): 0 for the other formats. When all
    // play, the quietest gives way to the next.
    uint8_t voice_count;
    uint8_t mix_volume; // IT (RULE_IT): 0..128, scales every note; unused elsewhere
    uint8_t spare_tail[6];
    MacroSet macros; // IT: Zxx; all MACRO_NONE for the other formats
};

static_assert(sizeof(void*) == 8, "the context layout assumes 64-bit pointers");
static_assert(sizeof(PatternSlot) == 5);
static_assert(sizeof(PatternRecord) == 4);
static_assert(sizeof(EnvelopeRecord) == 106);
static_assert(sizeof(InstrumentRecord) == 696);
static_assert(sizeof(SampleRecord) == 20);
static_assert(sizeof(PlaybackState) == 36);
static_assert(sizeof(SongChoice) == 12);
static_assert(sizeof(VoiceFilter) == 20);
static_assert(sizeof(FadingVoice) == 64);
static_assert(sizeof(VoiceMix) == 152);
static_assert(sizeof(ChannelState) == 304);
static_assert(sizeof(RenderSettings) == 16);
static_assert(sizeof(MixSetup) == 12);
static_assert(sizeof(ReplayContext) == 1240);
static_assert(sizeof(MacroSet) == 272);

// ------------------------------------------------------------------ loading

// What the prescan counts: everything the context has to hold.
struct ModuleScan {
    uint8_t format;               // ModuleFormat
    uint32_t total_rows;          // 24-bit, includes a pattern added by the loader
    uint32_t total_sample_frames; // 16-bit frames of sample data
    uint16_t pattern_count;       // includes a pattern added by the loader
    uint16_t sample_count;
    uint16_t song_length;
    uint8_t channel_count;
    uint8_t instrument_count;
    uint8_t voice_count; // background voices (ReplayContext::voice_count)
};

// A loading step's outcome: `error` is null on success, else a short static
// description of why the module was refused.
struct ScanResult {
    ModuleScan scan;
    const char* error;
};

struct SizeResult {
    uint32_t bytes;
    const char* error;
};

struct LoadResult {
    ReplayContext* context; // null on failure
    ModuleFormat format;
    const char* error;
    ModuleScan scan;        // what the prescan counted (zero if it refused the module)
    uint32_t context_bytes; // size of the context block (0 if refused before sizing)
};

QUILLRUN_API ScanResult module_prescan(const uint8_t* data, size_t length);
QUILLRUN_API SizeResult context_size(const ModuleScan& scan);

// Loads a module, or returns why it was refused. The context is ready to
// render with DEFAULT_RENDER_SETTINGS.
QUILLRUN_API LoadResult load_module_checked(const uint8_t* data, size_t length);

// The intro's loader: as above, but any failure ends the process with status 1,
// silently.
QUILLRUN_API ReplayContext* load_module(const uint8_t* data, size_t length);

QUILLRUN_API void free_module(ReplayContext* context);

// ---------------------------------------------------------------- rendering

// Where playback stands: the row fetched last and the ticks run on it.
struct PlaybackPosition {
    uint16_t order;          // order position
    uint8_t pattern;         // the pattern the order table names there
    uint8_t row;             // row within that pattern
    uint8_t tick;            // ticks of the row run so far, 0 before the first
    uint32_t frames_to_tick; // frames generate_frames renders before the next tick runs
};

QUILLRUN_API PlaybackPosition playback_position(const ReplayContext& context);

// True once playback has fetched a row it had played before (the repeats of a
// pattern loop do not count): a pass ended in the frame whose tick fetched
// that row. When the repeat count lets the song go on, the next pass starts
// there and this is false again until that pass ends too. A song that never
// returns to a row never ends a pass.
QUILLRUN_API bool pass_ended(const ReplayContext& context);

// Renders frame_count frames into `output` (2 floats per frame, left then
// right), overwriting what is there, at the context's settings but always as
// floats. Returns how many frames the song filled: all of them, or fewer when
// its last pass (see set_repeat_count) ended on the way; the frames after it
// are silence, and so is every later call (0) until a restart or a seek.
// With peak meters on (set_peak_meters), each call also leaves every
// channel's peak levels for what it rendered (channel_info). Real-time safe.
QUILLRUN_API uint32_t generate_frames(ReplayContext* context, float* output, uint32_t frame_count);

// As generate_frames, in the settings' sample format: 2 floats or 2 int16_t
// per frame. Real-time safe.
QUILLRUN_API uint32_t render(ReplayContext* context, void* output, uint32_t frame_count);

// True once the last pass the repeat count allows is over: render writes
// only silence now.
QUILLRUN_API bool song_ended(const ReplayContext& context);

// The 16-bit form of `count` float values, as render writes it: v x 32768,
// rounded to the nearest integer (halves to even) and clipped to
// -32768..32767. Real-time safe.
QUILLRUN_API void convert_to_s16(const float* input, int16_t* output, size_t count);

// ---------------------------------------------------------- render settings
// For the rendering thread, between two render calls; nothing is allocated.

// Why `settings` cannot be used (a field out of its range), or null.
QUILLRUN_API const char* render_settings_error(const RenderSettings& settings);

// Renders from the next frame on with `settings`, or returns why not and
// changes nothing. The song goes on where it is: the time left in the current
// tick is rescaled to the new rate and every playing voice gets its step and
// gains anew. A new rate changes how many frames a pass lasts (measure_pass).
QUILLRUN_API const char* set_render_settings(ReplayContext* context,
                                             const RenderSettings& settings);

// ------------------------------------------------------------- song control
// One pass's length, when a row plays, seeking and jumps: song_time.h.

// ------------------------------------------------------------------- names

// Texts a module file holds, read from its bytes: the replay context keeps
// none. Any thread, any bytes; nothing is allocated.
enum NameKind : uint8_t {
    NAME_TITLE = 0,      // one per module (empty for a compact image)
    NAME_INSTRUMENT = 1, // XM instruments; MOD and S3M: their samples
    NAME_SAMPLE = 2,     // every sample of every instrument, in file order
    NAME_MESSAGE = 3,    // IT's song message: 1 when the file has one, lines ended by '\n'
};

// How many names of this kind the module file has: 1 title, and its
// instruments or samples as the file declares them; 0 for a compact image's
// instruments and samples, or for bytes that are no module.
QUILLRUN_API uint32_t module_name_count(const uint8_t* data, size_t length, NameKind kind);

// Writes name `index` of this kind to `out`: at most capacity - 1 bytes and a
// terminating zero (nothing when capacity is 0). Returns the name's full
// length, as snprintf counts, or 0 for an index out of range. The bytes are
// as stored, cut at the first zero, trailing spaces removed, control
// characters written as spaces.
QUILLRUN_API size_t module_name(const uint8_t* data, size_t length, NameKind kind, uint32_t index,
                                char* out, size_t capacity);

} // namespace replayer

// The compact module format's layout.
#include "quillrun/compact_format.h"
// Time: one pass's length, when a row plays, seeking, jumps.
#include "quillrun/song_time.h"
// Channel mute, solo and volume.
#include "quillrun/channel_control.h"
// What plays now: song and channel state, pattern cells and their text.
#include "quillrun/live_state.h"
