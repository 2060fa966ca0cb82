// SPDX-License-Identifier: GPL-2.0-or-later
// Quillrun replayer: the constants and the records a loaded module is made
// of (patterns, slots, envelopes, instruments, samples) and the rules in
// which the formats' trackers differ. Included by replayer.h.
#pragma once

#include <cstdint>

#include "quillrun/context_api.h"
#include "quillrun/effect_codes.h"

namespace replayer {

// ---------------------------------------------------------------- constants

inline constexpr uint32_t OUTPUT_SAMPLE_RATE = 48000;     // frames per second, the default
inline constexpr uint32_t OUTPUT_CHANNELS = 2;            // interleaved, left first
inline constexpr uint32_t CONTEXT_SIZE_LIMIT = 0x8000000; // bytes, largest context

enum ModuleFormat : uint8_t {
    FORMAT_COMPACT = 0,
    FORMAT_XM = 1,
    FORMAT_MOD = 2,
    FORMAT_MOD_FLT8 = 3,
    FORMAT_S3M = 4,
    FORMAT_MOD_15 = 5, // the oldest MOD layout: 15 samples, 4 channels, no signature
    FORMAT_IT = 6,
};

// Note bytes of a pattern slot.
inline constexpr uint8_t NOTE_NONE = 0;
inline constexpr uint8_t NOTE_LAST = 120;            // notes 1..120, 1 = C-0, 49 = C-4
inline constexpr uint8_t NOTE_RETRIGGER = 121;       // 121..127 retrigger the current note
inline constexpr uint8_t NOTE_INSTRUMENT_ONLY = 122; // select the sample, keep playing
inline constexpr uint8_t NOTE_FADE = 123;            // IT: the note fades out, its key held
inline constexpr uint8_t NOTE_KEY_OFF = 128;         // 128..255 key off

// An envelope's sustain index with bit 7 set names no point.
inline constexpr uint8_t SUSTAIN_OFF_BIT = 0x80;
inline constexpr uint8_t SUSTAIN_NONE = SUSTAIN_OFF_BIT;
inline constexpr uint16_t SAMPLE_MAP_NONE = 0xFFFF;
inline constexpr int ENVELOPE_MAX_POINTS = 25; // IT's; XM holds 12
inline constexpr int ORDER_TABLE_SIZE = 256;
inline constexpr int MAX_CHANNEL_PANNING = 256; // entries of the channel panning table
inline constexpr int MAX_CHANNELS = 255;
inline constexpr int MAX_PATTERN_ROWS = 256;
inline constexpr int NOTE_COUNT = 120; // XM, MOD and S3M use the first 96

// Levels: volumes (sample, channel, global, envelope values) run 0..64,
// pannings 0..255 with the centre at 128.
inline constexpr uint8_t MAX_VOLUME = 64;
inline constexpr uint8_t MAX_IT_GLOBAL_VOLUME = 128; // global volume under RULE_IT
inline constexpr uint8_t MAX_PANNING = 255;
inline constexpr uint8_t CENTRE_PANNING = 128;

// Waveform numbers of vibrato, tremolo and auto-vibrato: bits 0..6 of the
// waveform byte; bit 7 keeps the phase on new notes.
inline constexpr uint8_t WAVEFORM_SINE = 0;
inline constexpr uint8_t WAVEFORM_RAMP_DOWN = 1;
inline constexpr uint8_t WAVEFORM_SQUARE = 2;
inline constexpr uint8_t WAVEFORM_RANDOM = 3;
inline constexpr uint8_t WAVEFORM_RAMP_UP = 4;
inline constexpr uint8_t WAVEFORM_NUMBER_BITS = 0x7F;
inline constexpr uint8_t WAVEFORM_KEEP_PHASE = 0x80;

// Internal effect codes (EffectCode): quillrun/effect_codes.h, included above.

// ------------------------------------------------------------ module records

struct PatternSlot {
    uint8_t note;       // NOTE_* values
    uint8_t instrument; // 0 none, else 1-based
    uint8_t volume;     // volume column, XM encoding; 0 empty
    uint8_t effect;     // EffectCode
    uint8_t parameter;
};

struct PatternRecord {
    uint16_t first_row; // index of the pattern's first row in the slot array
    uint16_t row_count; // 1..256
};

struct EnvelopePoint {
    uint16_t frame; // ticks
    uint8_t value;  // 0..64
};

struct EnvelopeRecord {
    EnvelopePoint points[ENVELOPE_MAX_POINTS];
    uint8_t point_count; // 0 (off) or 1..25; one point is a constant
    uint8_t sustain;     // point index or SUSTAIN_NONE
    uint8_t loop_start;  // point index; 0 and 0 = no loop
    uint8_t loop_end;    // point index, loop_start < loop_end < point_count
    // IT's sustain loop: while the key is held the envelope goes back from
    // this point to `sustain`; equal to it, it holds there (every other
    // format's sustain point). sustain..point_count - 1; 0 without sustain.
    uint8_t sustain_end;
    uint8_t flags; // ENVELOPE_CARRY
};

// A new note of the same instrument, while the last one is still keyed,
// goes on from the last one's envelope position (IT's envelope carry).
inline constexpr uint8_t ENVELOPE_CARRY = 1;

// Why `envelope` breaks what playback relies on, or null when it is either off
// (no points, all else 0) or 1..25 points with strictly increasing frames and
// values up to MAX_VOLUME, a sustain point that exists (its loop ending at or
// after it, inside the points) or SUSTAIN_NONE, and no loop (0, 0) or one
// inside the points. Every load leaves only such envelopes in the context.
QUILLRUN_API const char* envelope_error(const EnvelopeRecord& envelope);

struct InstrumentRecord {
    EnvelopeRecord volume_envelope;
    EnvelopeRecord panning_envelope;
    uint16_t sample_map[NOTE_COUNT]; // global sample index per note, SAMPLE_MAP_NONE for none
    uint16_t fadeout;                // subtracted from 32767 per tick after key-off
    uint8_t autovibrato_waveform;    // WAVEFORM_SINE, _RAMP_DOWN, _SQUARE or _RAMP_UP
    uint8_t autovibrato_sweep;       // ticks
    uint8_t autovibrato_depth;
    uint8_t autovibrato_rate;
    uint8_t new_note_action; // NNA_*: what a new note on the channel does with this one
    uint8_t duplicate_check; // low nibble DUPLICATE_* (what counts), high nibble the NNA_* done
    // IT (RULE_IT); the other formats leave these 0
    EnvelopeRecord pitch_envelope; // values 0..64, 32 unshifted, a step half a semitone
    uint8_t global_volume;         // 0..128, scales every note (RULE_IT)
    uint8_t random_volume;         // 0..100: the note's volume varies by up to this percent
    uint8_t random_panning;        // 0..64: the note's panning varies by up to this (of 0..64)
    int8_t pitch_pan_separation;   // -32..32: panning moves by (note - centre) x this / 8
    uint8_t pitch_pan_centre;      // internal note the separation centres on
    uint8_t it_flags;              // INSTRUMENT_* bits
    uint8_t filter_cutoff;         // bit 7: set the channel's cutoff (0..127) at each note
    uint8_t filter_resonance;      // bit 7: set the channel's resonance (0..127) at each note
    int8_t note_shift[NOTE_COUNT]; // semitones from the note keyed to the note played
    uint8_t spare[2];              // keeps the sample records after the instruments aligned
};

inline constexpr uint8_t INSTRUMENT_PITCH_IS_FILTER = 1; // the pitch envelope drives the filter
inline constexpr uint8_t INSTRUMENT_FILTER_SET = 0x80;   // filter_cutoff / _resonance is used

// New-note actions (IT instruments): a note that a new one replaces on its
// channel is cut, or goes on in the background (as it is, released, or
// fading out). Other formats' instruments cut (0).
inline constexpr uint8_t NNA_CUT = 0;
inline constexpr uint8_t NNA_CONTINUE = 1;
inline constexpr uint8_t NNA_NOTE_OFF = 2;
inline constexpr uint8_t NNA_NOTE_FADE = 3;
// Duplicate checks: a new note ends background notes of its channel that
// share its note, sample or instrument.
inline constexpr uint8_t DUPLICATE_OFF = 0;
inline constexpr uint8_t DUPLICATE_NOTE = 1;
inline constexpr uint8_t DUPLICATE_SAMPLE = 2;
inline constexpr uint8_t DUPLICATE_INSTRUMENT = 3;

struct SampleRecord {
    uint32_t data_index;  // first frame in the sample data region
    uint32_t length;      // frames stored; for a looped sample its loop end
    uint32_t loop_length; // frames, 0 = no loop; the loop ends at `length`
    uint8_t flags_volume; // bit 0 ping-pong; bits 1..7 default volume 0..64
    uint8_t panning;      // 0..255, 128 centre
    int8_t finetune;      // -16..15, 1/16 semitone
    int8_t relative_note; // semitones
    // IT's sustain loop: the record this one gives way to when the key is
    // released (same frames, the loop after the sustain loop, or none), this
    // many records further on; 0 none.
    uint16_t released;
    int16_t fine_pitch; // IT: what the C5 speed holds past the finetune, 1/32768 of a step
};

inline constexpr uint8_t SAMPLE_FLAG_PINGPONG = 1;
inline uint8_t sample_volume(const SampleRecord& s) {
    return s.flags_volume >> 1;
}

// Bits of ReplayContext::tracker_rules: rules in which the trackers that
// write the formats differ. Compact images written before the clock and the
// loop-start rule were recorded play with neither bit set, as they did then.
//
// Fast slides (an S3M flag): shared volume slides also act on the row tick.
inline constexpr uint8_t RULE_FAST_SLIDE = 1;
// The 8363 Hz clock: S3M and XM trackers play C-4 (Amiga period 1712) at
// 8363 Hz; MOD players use the PAL Amiga's clock, 15.8 cents lower.
inline constexpr uint8_t RULE_AMIGA_CLOCK_8363 = 2;
// A pattern-loop start (E60, SB0) sets the row at which the next pattern
// starts in the XM tracker only; MOD and S3M players start it at row 0.
inline constexpr uint8_t RULE_NO_LOOP_START_CARRY = 4;
// IT: the channel volume (Mxx, Nxy, the song's channel volumes) scales every
// note, new-note actions leave notes playing in background voices, and the
// global volume runs 0..128.
inline constexpr uint8_t RULE_IT = 8;
// IT's compatible Gxx: tone portamento shares the memory of E and F.
inline constexpr uint8_t RULE_IT_LINKED_PORTA = 16;
// A carried envelope (ENVELOPE_CARRY) that has run to its end starts again
// with the next note, as ModPlug Tracker plays the IT files it wrote; IT
// carries it on at the end.
inline constexpr uint8_t RULE_CARRY_UNTIL_END = 32;

} // namespace replayer
