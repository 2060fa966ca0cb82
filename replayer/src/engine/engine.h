// SPDX-License-Identifier: GPL-2.0-or-later
// Internal interface of the playback engine: the sequencer, the channel
// effects, the pitch and level modulators, the instrument clock, the voice
// parameters and the mixer. Everything here runs on the rendering thread,
// allocates nothing and works only inside one replay context.
//
// Arithmetic conventions: counters and parameter memories are single bytes that
// wrap; pitch and levels use single-precision C functions in a fixed order, so
// the output is bit-identical on every build and architecture.
#pragma once

#include <cstdint>

#include "quillrun/replayer.h"

namespace replayer {

// ------------------------------------------------------------------- units

inline constexpr uint32_t TICK_UNITS_PER_FRAME = 8192; // tick clock resolution
inline constexpr uint32_t TICK_LENGTH_FACTOR = 20480;  // frame rate x 20480 / BPM units
inline constexpr uint32_t POSITION_FRACTION_BITS = 12; // 20.12 sample positions
inline constexpr uint32_t POSITION_ONE = 1u << POSITION_FRACTION_BITS;
inline constexpr int ROWS_PER_ORDER_ENTRY = MAX_PATTERN_ROWS; // row-visit table stride
inline constexpr uint8_t ENVELOPE_CENTRE = 32;                // panning envelope neutral value
inline constexpr uint16_t FADEOUT_FULL = 32767; // fadeout volume while the key is held
inline constexpr int HIGHEST_NOTE_INDEX = 118;  // note + relative note - 1, 0..118

// Volume column commands: the high nibble of the column byte (0x10..0x50 set
// the volume directly).
inline constexpr uint8_t VOLUME_COLUMN_SET_FIRST = 0x10;
inline constexpr uint8_t VOLUME_COLUMN_SET_LAST = 0x50;
inline constexpr uint8_t VOLUME_COLUMN_SLIDE_DOWN = 0x6;
inline constexpr uint8_t VOLUME_COLUMN_SLIDE_UP = 0x7;
inline constexpr uint8_t VOLUME_COLUMN_FINE_DOWN = 0x8;
inline constexpr uint8_t VOLUME_COLUMN_FINE_UP = 0x9;
inline constexpr uint8_t VOLUME_COLUMN_VIBRATO_SPEED = 0xA;
inline constexpr uint8_t VOLUME_COLUMN_VIBRATO = 0xB;
inline constexpr uint8_t VOLUME_COLUMN_SET_PANNING = 0xC;
inline constexpr uint8_t VOLUME_COLUMN_PAN_LEFT = 0xD;
inline constexpr uint8_t VOLUME_COLUMN_PAN_RIGHT = 0xE;
inline constexpr uint8_t VOLUME_COLUMN_TONE_PORTA = 0xF;
inline uint8_t volume_column_command(uint8_t column) {
    return column >> 4;
}

enum class SlideMode : uint8_t {
    plain,   // wraps modulo 65536
    clamped, // out of range: 32767 sliding down in pitch, 1 sliding up
    cut,     // out of range: the channel falls silent
};

// Channel records the mixer plays: the channels' own, then the background voices.
inline int voice_records(const ReplayContext& ctx) {
    return ctx.channel_count + ctx.voice_count;
}

// VoiceMix::mixed_flags
inline constexpr uint8_t MIXED_AUDIBLE = 1; // the voice mixed last could still be heard
inline constexpr uint8_t MIXED_LOOPED = 2;  // it had been round its loop

// -------------------------------------------------------------- sequencer

// Zeroes the playback state, channels and row visits and sets the song's
// starting values, ready to render at the context's settings (the defaults
// for a context that has none yet).
void prepare_playback(ReplayContext& ctx);

// Gives a fresh context the default render settings; keeps any set before.
void init_render_settings(ReplayContext& ctx);

void advance_frame(ReplayContext& ctx);
void run_tick(ReplayContext& ctx);
void fetch_row(ReplayContext& ctx);

// Where the song the file separates that holds order position `order` ends:
// past its last order position (the song length when the file separates none).
uint16_t song_end_after(const ReplayContext& ctx, uint16_t order);

// The selected song's end (SongChoice::end_order): the song length for a
// context that names none.
inline uint16_t selected_song_end(const ReplayContext& ctx) {
    const uint16_t end = ctx.song.end_order;
    return end && end <= ctx.song_length ? end : ctx.song_length;
}

// Where playback goes on past the end of the selected song.
uint16_t song_restart(const ReplayContext& ctx);

// Called when the tick just run ended a pass (pass_ended): true when the
// repeat count allows another, which then begins with the row just fetched;
// false when the song has ended, and that frame is not played.
bool start_next_pass(ReplayContext& ctx);

// Length of one tick in 1/8192 frame at the current BPM (a BPM of 0 counts as 1).
uint32_t tick_length(const PlaybackState& playback);

// Whole frames before the next tick: a tick runs in the frame that starts
// with less than one frame of it left. The generator, the position report
// and the pass measure all count frames by this.
inline uint32_t frames_before_tick(const PlaybackState& playback) {
    return playback.tick_remainder / TICK_UNITS_PER_FRAME;
}

// ---------------------------------------------------------------- effects

void handle_row(ReplayContext& ctx, ChannelState& ch);
void handle_tick_effects(ReplayContext& ctx, ChannelState& ch);
void trigger_sample(ReplayContext& ctx, ChannelState& ch);
bool note_audible(const ChannelState& ch);
// The instrument whose envelope positions a new note may carry on: the one
// the channel's note plays while still keyed and audible, else null.
const InstrumentRecord* carry_source(const ChannelState& ch);
void reset_on_trigger(const ReplayContext& ctx, ChannelState& ch,
                      const InstrumentRecord* carried_from = nullptr);
void multi_retrigger(ReplayContext& ctx, ChannelState& ch, uint8_t parameter);
void key_off(ChannelState& ch);

// Effect handlers, one table entry per effect code: what the code does on the
// row tick (inside handle_row) and on the later ticks of the row.
using EffectHandler = void (*)(ReplayContext& ctx, ChannelState& ch, uint8_t parameter);
struct EffectHandlers {
    EffectHandler on_row;  // null: nothing on the row tick
    EffectHandler on_tick; // null: nothing on later ticks
};
const EffectHandlers& effect_handlers(uint8_t effect);

// ------------------------------------------------------------------ slides

void slide_value(uint8_t& value, uint8_t parameter, uint8_t maximum);
void set_nibbles(uint8_t& memory, uint8_t parameter);
// The volume slide shared by the S3M-style effects, on `shared_memory`.
void shared_volume_slide(ChannelState& ch);
bool shared_slide_on_row_tick(const ReplayContext& ctx, const ChannelState& ch);
bool shared_slide_on_later_tick(const ChannelState& ch);
// The same slide on any level and memory (x0 up, 0y down, xF and Fy fine).
void volume_style_slide(uint8_t& value, uint8_t memory, uint8_t maximum);
bool slides_on_row_tick(const ReplayContext& ctx, uint8_t memory);
bool slides_on_later_tick(uint8_t memory);
// Its row-tick and later-tick parts: each slides only where the memory says.
void row_volume_style_slide(const ReplayContext& ctx, uint8_t& value, uint8_t memory,
                            uint8_t maximum);
void tick_volume_style_slide(uint8_t& value, uint8_t memory, uint8_t maximum);

// ------------------------------------------------------------------- pitch

bool note_index_plays(const ReplayContext& ctx, int index); // note + relative note - 1
uint16_t note_to_period(const ReplayContext& ctx, int value);
void slide_period(ChannelState& ch, int delta, SlideMode mode);
void round_to_semitone(const ReplayContext& ctx, ChannelState& ch);
void tone_portamento(const ReplayContext& ctx, ChannelState& ch);

// -------------------------------------------------------------- modulators

int8_t waveform_value(ReplayContext& ctx, uint8_t waveform, uint8_t phase);
void vibrato_step(ReplayContext& ctx, ChannelState& ch);
void tremolo_step(ReplayContext& ctx, ChannelState& ch, uint8_t parameter);
void tremor_step(ChannelState& ch, uint8_t parameter);
void arpeggio_step(ReplayContext& ctx, ChannelState& ch, uint8_t parameter);

// -------------------------------------------------------- instrument clock

void update_instrument_tick(ReplayContext& ctx, ChannelState& ch);

// How a tracker's envelopes go round their loops.
enum class EnvelopeLoops : uint8_t {
    // The loop end's tick reads as the loop start's; a loop ending on the
    // sustain point stops once the key is released; the sustain point holds.
    xm,
    // The loop end's tick plays, the next one is the loop start's; while the
    // key is held only the sustain loop goes round.
    it,
};

uint8_t evaluate_envelope(const ChannelState& ch, const EnvelopeRecord& envelope,
                          uint16_t& position, EnvelopeLoops loops);
// The same value times `scale`, interpolated at that finer resolution.
unsigned evaluate_envelope_scaled(const ChannelState& ch, const EnvelopeRecord& envelope,
                                  uint16_t& position, unsigned scale, EnvelopeLoops loops);

// The next value of the context's own random generator (the random waveform
// and IT's random variation share it), 0..255.
uint8_t next_random(ReplayContext& ctx);

// ------------------------------------------------------- background voices

// Before `note` replaces what channel `ch` plays: its instrument's duplicate
// check ends the background notes it names, and its new-note action leaves the
// playing note in a background voice (the quietest gives way when all play).
void leave_in_background(ReplayContext& ctx, ChannelState& ch, uint8_t note);

// Once per tick: the background voices' instrument clocks and gains; a voice
// whose note has faded out or whose sample ended is free again.
void run_background_voices(ReplayContext& ctx);

// Frees every background voice (a jump or seek stops what plays).
void stop_background_voices(ReplayContext& ctx);

// ------------------------------------------------------------------- voice

void update_voice(const ReplayContext& ctx, ChannelState& ch);

// ------------------------------------------------------------------ filter

inline constexpr uint16_t FILTER_ENVELOPE_FULL = 4096; // the cutoff as set
inline constexpr uint8_t FILTER_OPEN_CUTOFF = 127;

// Once per tick under RULE_IT: the filter coefficients from the channel's
// cutoff, resonance and filter envelope at the output rate. Fully open
// settings leave the coefficients as they are (a voice filtered before stays
// filtered at its last setting, as IT plays it); a note starts unfiltered.
void update_filter(const ReplayContext& ctx, ChannelState& ch);

// A note start: the voice begins unfiltered with no history, and the filter
// of the voice it replaces is kept for the mixer's fade.
inline void restart_filter(ChannelState& ch) {
    ch.mix.replaced_filter = ch.filter;
    ch.filter = VoiceFilter{};
}

// One output of a voice's filter. Outputs stay within twice full scale, and
// those too small to hear are flushed to 0 so the history never decays into
// denormals.
inline float filter_step(VoiceFilter& f, float x) {
    constexpr float LIMIT = 65536.0f;     // sample units: twice full scale
    constexpr float INAUDIBLE = 0x1p-20f; // far below one step of a 16-bit sample
    float y = f.a * x + f.b * f.y1 + f.c * f.y2;
    y = y > LIMIT ? LIMIT : (y < -LIMIT ? -LIMIT : y);
    if (y < INAUDIBLE && y > -INAUDIBLE) y = 0.0f;
    f.y2 = f.y1;
    f.y1 = y;
    return y;
}

// ------------------------------------------------------------------- mixer

// Adds every channel's frames of a run of `frames` output frames during which
// no tick runs into `output`, channel after channel, advancing the positions.
// Each frame's sum is still built in channel order, so the result equals
// mixing frame by frame.
void mix_block(ReplayContext& ctx, float* output, uint32_t frames);

// The same for every setting but the intro's rendering: interpolation, 32.32
// positions and, with ramping, ramped gains and fading voices.
void mix_block_interpolated(ReplayContext& ctx, float* output, uint32_t frames);

// What the two mixers leave behind after `frames` frames, without reading a
// sample or writing a frame: the positions, loops, ramps and fades move on
// exactly as mixing would move them.
void skip_block(ReplayContext& ctx, uint32_t frames);
void skip_block_interpolated(ReplayContext& ctx, uint32_t frames);

// Plays `frame_count` frames as generate_frames would, writing none: a seek.
// Returns the frames played: fewer when the song ended.
uint64_t skip_frames(ReplayContext& ctx, uint64_t frame_count);

// Zeroes every channel's peak levels: a render call reports its own.
void clear_peaks(ReplayContext& ctx);

// Raises a channel's peak levels (0..1 of full scale) to what it just added.
inline void raise_peaks(ChannelState& ch, float left, float right) {
    constexpr float PEAK_UNITS = 65535.0f;
    auto units = [](float level) -> uint16_t {
        const float scaled = level * PEAK_UNITS;
        return scaled >= PEAK_UNITS ? UINT16_MAX : static_cast<uint16_t>(scaled);
    };
    const uint16_t l = units(left), r = units(right);
    if (l > ch.peak_left) ch.peak_left = l;
    if (r > ch.peak_right) ch.peak_right = r;
}

// Makes the mixer's ramps start from where the channels stand now, so that a
// change of settings does not ramp from stale gains.
void synchronise_mixer(ReplayContext& ctx);

// ------------------------------------------------------- effect handlers

// The handlers behind the effect table, by family. Each takes the context, the
// channel and the slot's parameter; the row handlers run on the row tick
// (inside handle_row), the tick handlers on later ticks.

// Stores a parameter into a memory unless it is 0 (0 means "as before").
inline void remember(uint8_t& memory, uint8_t parameter) {
    if (parameter) memory = parameter;
}

// The row's parameter into the memory the effect reads: one shared by every
// effect (S3M), or under RULE_IT the effect's own, handed to the shared-memory
// handlers as ch.shared_memory.
void remember_parameter(const ReplayContext& ctx, ChannelState& ch, uint8_t effect, uint8_t p);

// Shared by the plain volume slide and the effects that combine it.
void volume_slide(ChannelState& ch);

// pitch
void tick_arpeggio(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_porta_up(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void tick_porta_up(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_porta_down(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void tick_porta_down(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void tick_tone_porta(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void tick_vibrato(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_volume_slide_memory(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void tick_tone_porta_volume_slide(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void tick_vibrato_volume_slide(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_extra_fine_porta_up(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_extra_fine_porta_down(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_shared_porta_up(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void tick_shared_porta_up(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_shared_porta_down(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void tick_shared_porta_down(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void tick_shared_vibrato_volume_slide(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void tick_shared_tone_porta_volume_slide(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_fine_porta_up(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_fine_porta_down(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_glissando(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_vibrato_waveform(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void tick_shared_arpeggio(ReplayContext& ctx, ChannelState& ch, uint8_t p);

// volume
void tick_tremolo(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void tick_volume_slide(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_set_volume(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_set_global_volume(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_global_volume_slide(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void tick_global_volume_slide(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void tick_key_off(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_set_envelope_position(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_multi_retrig(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void tick_multi_retrig(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_tremor(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void tick_tremor(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_shared_volume_slide(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void tick_shared_volume_slide(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void shared_multi_retrig(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_tremolo_waveform(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void tick_retrigger(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_fine_volume_up(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_fine_volume_down(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void tick_note_cut(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void tick_shared_tremolo(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void shared_tremor(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_set_channel_volume(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_channel_volume_slide(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void tick_channel_volume_slide(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_it_global_volume_slide(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void tick_it_global_volume_slide(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_note_fade(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_past_notes(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_set_new_note_action(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_set_filter_macro(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_envelope_switch(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_panbrello(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void tick_panbrello(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_panbrello_waveform(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_midi_macro(ReplayContext& ctx, ChannelState& ch, uint8_t p);

// panning
void row_set_panning(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_panning_slide(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void tick_panning_slide(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_set_channel_panning(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_it_panning_slide(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void tick_it_panning_slide(ReplayContext& ctx, ChannelState& ch, uint8_t p);

// flow
void row_position_jump(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_pattern_break(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_set_speed(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_set_bpm(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_row_loop(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_pattern_loop(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void tick_note_delay(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_pattern_delay(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_fine_pattern_delay(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_high_offset(ReplayContext& ctx, ChannelState& ch, uint8_t p);
int row_ticks(const PlaybackState& playback); // the speed and S6x's ticks, at most 255
void tick_tempo_slide(ReplayContext& ctx, ChannelState& ch, uint8_t p);

} // namespace replayer
