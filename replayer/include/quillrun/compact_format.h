// SPDX-License-Identifier: GPL-2.0-or-later
// Quillrun replayer: the layout of the compact module format. Included by
// replayer.h.
#pragma once

#include <cstdint>

// ------------------------------------------------------- compact module format

// The compact module format: a loaded replay context written out record by
// record (after the clean-up pass), so that loading it needs no format
// conversion. Loading still checks every record playback indexes with, clamps
// values to the ranges the format loaders produce and turns the float sample
// frames back into 16-bit ones. The reader lives in the replayer; tools write
// it. All values little-endian.
//
// Header (64 bytes, then one default panning byte per channel, with FLAG_IT
// one channel volume byte per channel and with FLAG_IT_MACROS the filter
// macros: 16 parametered kinds, 128 fixed kinds, 128 fixed values), then the
// sections in this order, the first at 8 x header[HEADER_FIRST_SECTION]:
// pattern records, slots (rows x channels, row by row), instrument records,
// sample records, sample data (one float32 in [-1, 1) per frame), order table
// (2 bytes per entry, the first is the pattern index). Record strides are
// stored in units of 8 bytes and must hold at least the bytes read.

namespace replayer::compact {

inline constexpr uint8_t MAGIC[8] = {'V', 'O', 'R', 'L', 'E', 'K', 'T', 0xFF};
inline constexpr uint32_t STRIDE_UNIT = 8; // strides and the first section, in bytes

// Header offsets.
inline constexpr uint32_t HEADER_FIRST_SECTION = 0;     // u8, units of STRIDE_UNIT
inline constexpr uint32_t HEADER_RESERVED = 1;          // u8, must be 0
inline constexpr uint32_t HEADER_MAGIC = 2;             // 8 bytes
inline constexpr uint32_t HEADER_SONG_LENGTH = 10;      // u16
inline constexpr uint32_t HEADER_TOTAL_ROWS = 12;       // u32, at most 0xFFFFFF
inline constexpr uint32_t HEADER_TOTAL_FRAMES = 16;     // u32
inline constexpr uint32_t HEADER_PATTERN_COUNT = 20;    // u16
inline constexpr uint32_t HEADER_SAMPLE_COUNT = 22;     // u16
inline constexpr uint32_t HEADER_INSTRUMENT_COUNT = 24; // u8
inline constexpr uint32_t HEADER_CHANNEL_COUNT = 25;    // u8
inline constexpr uint32_t HEADER_RESTART = 26;
inline constexpr uint32_t HEADER_SPEED = 27; // ticks per row
inline constexpr uint32_t HEADER_BPM = 28;
inline constexpr uint32_t HEADER_GLOBAL_VOLUME = 29;
inline constexpr uint32_t HEADER_FLAGS = 30; // u16
inline constexpr uint32_t HEADER_PATTERN_STRIDE = 32;
inline constexpr uint32_t HEADER_SLOT_STRIDE = 33;
inline constexpr uint32_t HEADER_INSTRUMENT_STRIDE = 34;
inline constexpr uint32_t HEADER_SAMPLE_STRIDE = 35;
inline constexpr uint32_t HEADER_VOICE_COUNT = 36; // background voices, 0..64; older images 0
inline constexpr uint32_t HEADER_MIX_VOLUME = 37;  // IT's, 0..128, with FLAG_IT_MACROS; else 128
inline constexpr uint32_t HEADER_PANNING = 64;     // channel count bytes
inline constexpr uint16_t FLAG_AMIGA_PERIODS = 1;
inline constexpr uint16_t FLAG_FAST_SLIDE = 2;          // RULE_FAST_SLIDE
inline constexpr uint16_t FLAG_AMIGA_CLOCK_8363 = 4;    // RULE_AMIGA_CLOCK_8363
inline constexpr uint16_t FLAG_NO_LOOP_START_CARRY = 8; // RULE_NO_LOOP_START_CARRY
inline constexpr uint16_t FLAG_IT = 16;                 // RULE_IT
inline constexpr uint16_t FLAG_IT_MACROS = 32;       // the filter macros follow the channel volumes
inline constexpr uint16_t FLAG_IT_LINKED_PORTA = 64; // RULE_IT_LINKED_PORTA
// Slot notes 1..120, 121..127 retrigger, 122 instrument only, 123 note fade
// (NOTE_*). Older
// images number notes 1..96 with 97..127 retrigger and 98 instrument only.
inline constexpr uint16_t FLAG_NOTES_120 = 128;
inline constexpr uint16_t FLAG_CARRY_UNTIL_END = 256; // RULE_CARRY_UNTIL_END
inline constexpr uint32_t MACRO_TABLE_BYTES = 272;    // ReplayContext::macros
inline constexpr uint8_t MAX_VOICE_COUNT = 64;
inline constexpr uint32_t MAX_TOTAL_ROWS = 0xFFFFFF;

// Pattern record.
inline constexpr uint32_t PATTERN_FIRST_ROW = 0; // u16
inline constexpr uint32_t PATTERN_ROW_COUNT = 2; // u16
inline constexpr uint32_t PATTERN_BYTES = 4;

// Slot: note, instrument, volume column, effect, parameter.
inline constexpr uint32_t SLOT_BYTES = 5;

// Instrument record: two envelopes, then the rest.
inline constexpr uint32_t INSTRUMENT_VOLUME_ENVELOPE = 0;
inline constexpr uint32_t INSTRUMENT_PANNING_ENVELOPE = 52;
inline constexpr uint32_t ENVELOPE_POINT_BYTES = 4; // frame u16, value u8, 1 unused
inline constexpr uint32_t ENVELOPE_COUNT = 48;
inline constexpr uint32_t ENVELOPE_SUSTAIN = 49;
inline constexpr uint32_t ENVELOPE_LOOP_START = 50;
inline constexpr uint32_t ENVELOPE_LOOP_END = 51;
inline constexpr uint32_t INSTRUMENT_FADEOUT = 104; // u16
inline constexpr uint32_t INSTRUMENT_VIBRATO_WAVEFORM = 106;
inline constexpr uint32_t INSTRUMENT_VIBRATO_SWEEP = 107;
inline constexpr uint32_t INSTRUMENT_VIBRATO_DEPTH = 108;
inline constexpr uint32_t INSTRUMENT_VIBRATO_RATE = 109;
inline constexpr uint32_t INSTRUMENT_SAMPLE_MAP = 112; // notes 1..96, u16 each
inline constexpr uint32_t INSTRUMENT_BYTES = 304;      // what every image holds
// Images from the IT loader's time on: read where the stride holds them.
inline constexpr uint32_t INSTRUMENT_NEW_NOTE_ACTION = 304;
inline constexpr uint32_t INSTRUMENT_DUPLICATE_CHECK = 305;
inline constexpr uint32_t INSTRUMENT_PITCH_ENVELOPE = 308; // as the other two
inline constexpr uint32_t INSTRUMENT_GLOBAL_VOLUME = 360;
inline constexpr uint32_t INSTRUMENT_RANDOM_VOLUME = 361;
inline constexpr uint32_t INSTRUMENT_RANDOM_PANNING = 362;
inline constexpr uint32_t INSTRUMENT_PITCH_PAN_SEPARATION = 363; // s8
inline constexpr uint32_t INSTRUMENT_PITCH_PAN_CENTRE = 364;
inline constexpr uint32_t INSTRUMENT_IT_FLAGS = 365;
inline constexpr uint32_t INSTRUMENT_IT_BYTES = 366;
inline constexpr uint32_t INSTRUMENT_FILTER_CUTOFF = 366;    // bit 7: used
inline constexpr uint32_t INSTRUMENT_FILTER_RESONANCE = 367; // bit 7: used
inline constexpr uint32_t INSTRUMENT_FILTER_BYTES = 368;
// The last point of each envelope's sustain loop: volume, panning, pitch.
inline constexpr uint32_t INSTRUMENT_SUSTAIN_ENDS = 368;
inline constexpr uint32_t INSTRUMENT_SUSTAIN_BYTES = 371;
// Bit k: envelope k (volume, panning, pitch) has ENVELOPE_CARRY; older
// images hold 0 here.
inline constexpr uint32_t INSTRUMENT_ENVELOPE_CARRY = 371;
// Points 12..24 of each envelope (IT), as the first 12 are stored.
inline constexpr uint32_t ENVELOPE_BASE_POINTS = 12;
inline constexpr uint32_t INSTRUMENT_MORE_POINTS = 372;
inline constexpr uint32_t MORE_POINTS_PER_ENVELOPE = 13;
inline constexpr uint32_t INSTRUMENT_POINTS_BYTES = 528;
static_assert(INSTRUMENT_MORE_POINTS + 3 * MORE_POINTS_PER_ENVELOPE * ENVELOPE_POINT_BYTES ==
              INSTRUMENT_POINTS_BYTES);
// Notes 97..120 of the sample map (u16 each), then each note's shift to the
// note it plays (s8, 120 of them).
inline constexpr uint32_t BASE_MAP_NOTES = 96;
inline constexpr uint32_t INSTRUMENT_MORE_SAMPLE_MAP = 528;
inline constexpr uint32_t INSTRUMENT_NOTE_SHIFTS = 576;
inline constexpr uint32_t INSTRUMENT_NOTES_BYTES = 696;

// Sample record.
inline constexpr uint32_t SAMPLE_DATA_INDEX = 0;  // u32
inline constexpr uint32_t SAMPLE_LENGTH = 4;      // u32
inline constexpr uint32_t SAMPLE_LOOP_LENGTH = 8; // u32
inline constexpr uint32_t SAMPLE_PINGPONG = 12;   // bit 0
inline constexpr uint32_t SAMPLE_VOLUME = 13;     // low 7 bits
inline constexpr uint32_t SAMPLE_PANNING = 14;
inline constexpr uint32_t SAMPLE_FINETUNE = 15;      // s8
inline constexpr uint32_t SAMPLE_RELATIVE_NOTE = 16; // s8
inline constexpr uint32_t SAMPLE_BYTES = 17;
inline constexpr uint32_t SAMPLE_RELEASED = 17; // u16, SampleRecord::released
inline constexpr uint32_t SAMPLE_RELEASED_BYTES = 19;
inline constexpr uint32_t SAMPLE_FINE_PITCH = 19; // s16, SampleRecord::fine_pitch
inline constexpr uint32_t SAMPLE_FINE_PITCH_BYTES = 21;

inline constexpr uint32_t FRAME_BYTES = 4;       // float32
inline constexpr float FRAME_SCALE = 32768.0f;   // 16-bit frame = trunc(value x scale)
inline constexpr uint32_t ORDER_ENTRY_BYTES = 2; // pattern index, unused byte

} // namespace replayer::compact
