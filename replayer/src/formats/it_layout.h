// SPDX-License-Identifier: GPL-2.0-or-later
// The IT (Impulse Tracker) file layout: where its parts lie, as named
// offsets, and the readers the prescan and the loader share.
#pragma once

#include "formats.h"

namespace replayer::it {

// ------------------------------------------------------------- song header

inline constexpr uint8_t MAGIC[] = {'I', 'M', 'P', 'M'};
inline constexpr uint64_t TITLE = 4;
inline constexpr uint64_t TITLE_BYTES = 26;
inline constexpr uint64_t ORDER_COUNT = 0x20;        // u16
inline constexpr uint64_t INSTRUMENT_COUNT = 0x22;   // u16
inline constexpr uint64_t SAMPLE_COUNT = 0x24;       // u16
inline constexpr uint64_t PATTERN_COUNT = 0x26;      // u16
inline constexpr uint64_t CREATED_WITH = 0x28;       // u16, the writing tracker's version
inline constexpr uint64_t COMPATIBLE_VERSION = 0x2A; // u16, the format version
inline constexpr uint64_t FLAGS = 0x2C;              // u16
inline constexpr uint64_t SPECIAL = 0x2E;            // u16
inline constexpr uint64_t GLOBAL_VOLUME = 0x30;      // 0..128
inline constexpr uint64_t MIX_VOLUME = 0x31;         // 0..128
inline constexpr uint64_t INITIAL_SPEED = 0x32;
inline constexpr uint64_t INITIAL_TEMPO = 0x33;
inline constexpr uint64_t SEPARATION = 0x34;      // 0..128
inline constexpr uint64_t MESSAGE_LENGTH = 0x36;  // u16
inline constexpr uint64_t MESSAGE_OFFSET = 0x38;  // u32
inline constexpr uint64_t CHANNEL_PANNING = 0x40; // 64 bytes
inline constexpr uint64_t CHANNEL_VOLUME = 0x80;  // 64 bytes, 0..64
inline constexpr uint64_t ORDERS = 0xC0;

inline constexpr uint16_t FLAG_STEREO = 1;
inline constexpr uint16_t FLAG_INSTRUMENTS = 4;
inline constexpr uint16_t FLAG_LINEAR_SLIDES = 8;
inline constexpr uint16_t FLAG_OLD_EFFECTS = 16;
inline constexpr uint16_t FLAG_COMPATIBLE_GXX = 32;
inline constexpr uint16_t SPECIAL_MESSAGE = 1;
inline constexpr uint16_t SPECIAL_EDIT_HISTORY = 2;
inline constexpr uint16_t SPECIAL_MIDI_CONFIGURATION = 8;
// After the pattern pointers: the edit history (a u16 count of 8-byte
// entries), then the MIDI configuration: 9 global macros, 16 parametered
// (SFx) and 128 fixed (Z80..ZFF), 32 bytes each.
inline constexpr uint64_t EDIT_HISTORY_COUNT_BYTES = 2;
inline constexpr uint64_t EDIT_ENTRY_BYTES = 8;
inline constexpr uint64_t PARAMETERED_MACRO_TABLE = 9 * 32;
inline constexpr uint64_t FIXED_MACRO_TABLE = PARAMETERED_MACRO_TABLE + 16 * 32;
inline constexpr uint64_t MIDI_CONFIGURATION_BYTES = FIXED_MACRO_TABLE + 128 * 32;

inline constexpr int CHANNELS = 64;
inline constexpr uint8_t PANNING_SURROUND = 100;
inline constexpr uint8_t CHANNEL_DISABLED = 128; // added to a channel's panning
inline constexpr uint8_t MAX_IT_PANNING = 64;
inline constexpr uint8_t MAX_IT_VOLUME = 128; // global, mix and instrument volume
inline constexpr uint16_t NEW_INSTRUMENT_VERSION = 0x200;

// ------------------------------------------------------------- instruments

inline constexpr uint64_t INSTRUMENT_BYTES = 554;
inline constexpr uint64_t KEYBOARD = 0x40; // 120 (note played, sample) pairs
inline constexpr int KEYBOARD_NOTES = 120;
// Note bytes 0..119 (C-0..B-9) are the internal notes 1..120, by name. C-5
// plays a sample at its C5 speed, where the internal C-4 plays one at its
// middle-C rate: IT samples sit an octave below.
inline constexpr uint8_t LAST_NOTE_BYTE = 119;
inline constexpr int SAMPLE_OCTAVE_SHIFT = -12; // semitones
// The layout from format 2.00 on.
inline constexpr uint64_t NEW_NEW_NOTE_ACTION = 0x11;
inline constexpr uint64_t NEW_DUPLICATE_TYPE = 0x12;
inline constexpr uint64_t NEW_DUPLICATE_ACTION = 0x13;
inline constexpr uint64_t NEW_FADEOUT = 0x14;              // u16, 0..128 of a 1024 count
inline constexpr uint64_t NEW_DEFAULT_PANNING = 0x19;      // 0..64, bit 7: not used
inline constexpr uint64_t NEW_PITCH_PAN_SEPARATION = 0x16; // s8, -32..32
inline constexpr uint64_t NEW_PITCH_PAN_CENTRE = 0x17;     // IT note
inline constexpr uint64_t NEW_GLOBAL_VOLUME = 0x18;        // 0..128
inline constexpr uint64_t NEW_RANDOM_VOLUME = 0x1A;        // percent
inline constexpr uint64_t NEW_RANDOM_PANNING = 0x1B;
inline constexpr uint64_t NEW_FILTER_CUTOFF = 0x3A;    // bit 7: used, 0..127
inline constexpr uint64_t NEW_FILTER_RESONANCE = 0x3B; // bit 7: used, 0..127
inline constexpr uint64_t NEW_PITCH_ENVELOPE = 0x1D4;
inline constexpr uint8_t ENVELOPE_FILTER = 0x80; // the pitch envelope drives the filter
inline constexpr uint64_t NEW_VOLUME_ENVELOPE = 0x130;
inline constexpr uint64_t NEW_PANNING_ENVELOPE = 0x182;
// One envelope: flags, node count, loop and sustain loop, then 25 nodes of a
// signed value and a u16 tick.
inline constexpr uint64_t ENVELOPE_FLAGS = 0;
inline constexpr uint64_t ENVELOPE_NODES = 1;
inline constexpr uint64_t ENVELOPE_LOOP_START = 2;
inline constexpr uint64_t ENVELOPE_LOOP_END = 3;
inline constexpr uint64_t ENVELOPE_SUSTAIN_START = 4;
inline constexpr uint64_t ENVELOPE_SUSTAIN_END = 5;
inline constexpr uint64_t ENVELOPE_FIRST_NODE = 6;
inline constexpr uint64_t ENVELOPE_NODE_BYTES = 3;
inline constexpr int ENVELOPE_FILE_NODES = 25;
inline constexpr uint8_t ENVELOPE_ON = 1;
inline constexpr uint8_t ENVELOPE_LOOP = 2;
inline constexpr uint8_t ENVELOPE_SUSTAIN_LOOP = 4;
inline constexpr uint8_t ENVELOPE_CARRY_FLAG = 8;
// The layout before 2.00: one volume envelope, its flags and loops in the
// header, its nodes as (tick, value) byte pairs ending at tick 0xFF.
inline constexpr uint64_t OLD_FLAGS = 0x11;
inline constexpr uint64_t OLD_LOOP_START = 0x12;
inline constexpr uint64_t OLD_LOOP_END = 0x13;
inline constexpr uint64_t OLD_SUSTAIN_START = 0x14;
inline constexpr uint64_t OLD_SUSTAIN_END = 0x15;
inline constexpr uint64_t OLD_FADEOUT = 0x18; // u16, 0..64 of a 512 count
inline constexpr uint64_t OLD_NEW_NOTE_ACTION = 0x1A;
inline constexpr uint64_t OLD_DUPLICATE_CHECK = 0x1B; // 1: the note check, cutting
inline constexpr uint64_t OLD_NODES = 0x1F8;
inline constexpr uint8_t OLD_NODE_END = 0xFF;

// ----------------------------------------------------------------- samples

inline constexpr uint64_t SAMPLE_GLOBAL_VOLUME = 0x11; // 0..64
inline constexpr uint64_t SAMPLE_FLAGS = 0x12;
inline constexpr uint64_t SAMPLE_VOLUME = 0x13;
inline constexpr uint64_t SAMPLE_NAME = 0x14;
inline constexpr uint64_t SAMPLE_NAME_BYTES = 26;
inline constexpr uint64_t SAMPLE_CONVERT = 0x2E;
inline constexpr uint64_t SAMPLE_LENGTH = 0x30;     // u32, frames
inline constexpr uint64_t SAMPLE_LOOP_START = 0x34; // u32
inline constexpr uint64_t SAMPLE_LOOP_END = 0x38;   // u32, first frame after the loop
inline constexpr uint64_t SAMPLE_C5_SPEED = 0x3C;   // u32, Hz of C-5
inline constexpr uint64_t SAMPLE_SUSTAIN_START = 0x40;
inline constexpr uint64_t SAMPLE_SUSTAIN_END = 0x44;
inline constexpr uint64_t SAMPLE_POINTER = 0x48; // u32
inline constexpr uint64_t SAMPLE_VIBRATO_SPEED = 0x4C;
inline constexpr uint64_t SAMPLE_VIBRATO_DEPTH = 0x4D;
inline constexpr uint64_t SAMPLE_VIBRATO_RATE = 0x4E;
inline constexpr uint64_t SAMPLE_VIBRATO_TYPE = 0x4F;
inline constexpr uint64_t SAMPLE_DEFAULT_PANNING = 0x2F; // 0..64, bit 7: used
inline constexpr uint8_t PANNING_FLAG = 0x80;
inline constexpr uint64_t INSTRUMENT_NAME = 0x20;
inline constexpr uint64_t INSTRUMENT_NAME_BYTES = 26;

inline constexpr uint8_t SAMPLE_HAS_DATA = 1;
inline constexpr uint8_t SAMPLE_16BIT = 2;
inline constexpr uint8_t SAMPLE_STEREO = 4;
inline constexpr uint8_t SAMPLE_COMPRESSED = 8;
inline constexpr uint8_t SAMPLE_LOOP = 16;
inline constexpr uint8_t SAMPLE_SUSTAIN_LOOP = 32;
inline constexpr uint8_t SAMPLE_PINGPONG = 64;
inline constexpr uint8_t SAMPLE_SUSTAIN_PINGPONG = 128;
inline constexpr uint8_t CONVERT_SIGNED = 1;
inline constexpr uint8_t CONVERT_DELTA = 4; // compressed: the 2.15 coding

// ---------------------------------------------------------------- patterns

inline constexpr uint64_t PATTERN_PACKED_LENGTH = 0; // u16, bytes after the 8-byte header
inline constexpr uint64_t PATTERN_ROWS = 2;          // u16
inline constexpr uint64_t PATTERN_HEADER_BYTES = 8;
inline constexpr uint16_t EMPTY_PATTERN_ROWS = 64; // a pattern without data
inline constexpr uint16_t MAX_ROWS = 256;

// Where the tables after the orders start, from the header counts.
struct Layout {
    uint16_t order_count;
    uint16_t instrument_count;
    uint16_t sample_count;
    uint16_t pattern_count; // as in the file, without an added pattern
    uint64_t instrument_pointers() const { return ORDERS + order_count; }
    uint64_t sample_pointers() const { return instrument_pointers() + 4u * instrument_count; }
    uint64_t pattern_pointers() const { return sample_pointers() + 4u * sample_count; }
};

inline Layout read_layout(const ByteReader& in) {
    return {in.u16le(ORDER_COUNT), in.u16le(INSTRUMENT_COUNT), in.u16le(SAMPLE_COUNT),
            in.u16le(PATTERN_COUNT)};
}

inline uint64_t instrument_header(const ByteReader& in, const Layout& l, uint16_t k) {
    return in.u32le(l.instrument_pointers() + 4u * k);
}
inline uint64_t sample_header(const ByteReader& in, const Layout& l, uint16_t k) {
    return in.u32le(l.sample_pointers() + 4u * k);
}
inline uint64_t pattern_header(const ByteReader& in, const Layout& l, uint16_t k) {
    return in.u32le(l.pattern_pointers() + 4u * k);
}

// Rows of pattern `k` as the loader stores them: 64 for a pattern without
// data, else its own count clamped to 1..256.
uint16_t pattern_rows(const ByteReader& in, const Layout& layout, uint16_t k);

// How many channels the patterns use: one past the highest that holds data.
uint8_t channels_used(const ByteReader& in, const Layout& layout);

// How the module's effects play where the two IT modes differ.
struct EffectMode {
    bool old_effects;
    bool instruments;
};

// Decodes pattern `k` into `slots` (its rows x channel_count, zeroed).
void load_pattern(const ByteReader& in, const Layout& layout, uint16_t k, uint8_t channel_count,
                  const EffectMode& mode, PatternSlot* slots);

// What the file's MIDI macros do to the filter, or IT's own configuration
// when it holds none.
void load_macros(MacroSet& macros, const ByteReader& in, const Layout& layout);

// Decodes `frames` frames of one channel of an IT 2.14 compressed sample
// (2.15 with `twice_integrated`) from `offset` on into `out`; with `average`
// each frame becomes the mean of what `out` holds and the decoded value.
// Returns the offset after the channel's last block.
uint64_t decode_compressed(int16_t* out, const ByteReader& in, uint64_t offset, uint32_t frames,
                           bool sixteen_bit, bool twice_integrated, bool average);

// The offset after the blocks that hold `frames` frames of one channel of a
// compressed sample starting at `offset`, found from the blocks' lengths.
uint64_t compressed_end(const ByteReader& in, uint64_t offset, uint32_t frames, bool sixteen_bit);

} // namespace replayer::it
