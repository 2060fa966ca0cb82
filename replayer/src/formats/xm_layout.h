// SPDX-License-Identifier: GPL-2.0-or-later
// The XM file layout: where its parts lie, as named offsets, and the
// readers the prescan and the loader share.
#pragma once

#include "formats.h"

// The prescan (which sizes the context) and the loader (which fills it) both
// step through patterns, instruments and samples with these helpers, so they
// cannot disagree about where a record starts or how many frames a sample keeps.
namespace replayer::xm {

// Module header.
inline constexpr uint64_t VERSION_OFFSET = 58;     // u16
inline constexpr uint16_t VERSION = 0x0104;        // the one version read
inline constexpr uint64_t HEADER_SIZE_OFFSET = 60; // u32, counted from offset 60
inline constexpr uint64_t SONG_LENGTH_OFFSET = 64;
inline constexpr uint64_t RESTART_OFFSET = 66;
inline constexpr uint64_t CHANNELS_OFFSET = 68;
inline constexpr uint64_t PATTERNS_OFFSET = 70;
inline constexpr uint64_t INSTRUMENTS_OFFSET = 72;
inline constexpr uint64_t FLAGS_OFFSET = 74;
inline constexpr uint64_t SPEED_OFFSET = 76;
inline constexpr uint64_t BPM_OFFSET = 78;
inline constexpr uint64_t ORDERS_OFFSET = 80;
inline constexpr uint16_t FLAG_LINEAR_FREQUENCIES = 1;

inline constexpr uint16_t MAX_CHANNELS = 255;
inline constexpr uint16_t MAX_PATTERNS = 256;
inline constexpr uint16_t MAX_INSTRUMENTS = 255;
inline constexpr uint16_t MAX_SONG_LENGTH = ORDER_TABLE_SIZE;
inline constexpr uint16_t MAX_ROWS = MAX_PATTERN_ROWS;
inline constexpr uint16_t MAX_SAMPLES_PER_INSTRUMENT = 255;
inline constexpr uint16_t EMPTY_PATTERN_ROWS = 64;
inline constexpr uint8_t MAX_SPEED = 31;
inline constexpr uint8_t MAX_BPM = 255;

// Pattern header.
inline constexpr uint64_t PATTERN_ROWS_OFFSET = 5;        // u16
inline constexpr uint64_t PATTERN_PACKED_SIZE_OFFSET = 7; // u16

// Instrument header.
inline constexpr uint64_t INSTRUMENT_SAMPLES_OFFSET = 27; // u16
inline constexpr uint64_t SAMPLE_MAP_OFFSET = 33;         // one byte per note
inline constexpr int NOTE_COUNT = 96; // notes 1..96 (C-0..B-7); 97 is the key-off
inline constexpr uint64_t VOLUME_POINTS_OFFSET = 129;
inline constexpr uint64_t PANNING_POINTS_OFFSET = 177;
inline constexpr uint64_t ENVELOPE_POINT_BYTES = 4;
inline constexpr int ENVELOPE_POINTS = 12; // a larger count reads as 12
inline constexpr uint64_t VOLUME_COUNT_OFFSET = 225;
inline constexpr uint64_t PANNING_COUNT_OFFSET = 226;
inline constexpr uint64_t VOLUME_SUSTAIN_OFFSET = 227; // then loop start, loop end
inline constexpr uint64_t PANNING_SUSTAIN_OFFSET = 230;
inline constexpr uint64_t VOLUME_TYPE_OFFSET = 233;
inline constexpr uint64_t PANNING_TYPE_OFFSET = 234;
inline constexpr uint64_t VIBRATO_TYPE_OFFSET = 235; // then sweep, depth, rate
inline constexpr uint64_t FADEOUT_OFFSET = 239;      // u16

// Sample header: always 40 bytes, whatever the instrument header declares.
inline constexpr uint64_t SAMPLE_HEADER_BYTES = 40;
inline constexpr uint64_t SAMPLE_LOOP_START_OFFSET = 4;
inline constexpr uint64_t SAMPLE_LOOP_LENGTH_OFFSET = 8;
inline constexpr uint64_t SAMPLE_VOLUME_OFFSET = 12;
inline constexpr uint64_t SAMPLE_FINETUNE_OFFSET = 13;
inline constexpr uint64_t SAMPLE_TYPE_OFFSET = 14;
inline constexpr uint64_t SAMPLE_PANNING_OFFSET = 15;
inline constexpr uint64_t SAMPLE_RELATIVE_NOTE_OFFSET = 16;
inline constexpr uint64_t SAMPLE_PACKING_OFFSET = 17; // reserved in the format
inline constexpr uint8_t SAMPLE_LOOP_BITS = 3;
inline constexpr uint8_t SAMPLE_PINGPONG_BIT = 2;
inline constexpr uint8_t SAMPLE_16BIT_BIT = 0x10;
inline constexpr uint8_t SAMPLE_STEREO_BIT = 0x20;
inline constexpr uint8_t SAMPLE_PACKING_ADPCM = 0xAD; // 4-bit ADPCM data

// The playback position has 20 integer bits; a ping-pong loop needs one more
// for its backward half.
inline constexpr uint32_t MAX_SAMPLE_FRAMES = 0xFFFFF;
inline constexpr uint32_t MAX_PINGPONG_FRAMES = 0x7FFFF;

struct PatternHeader {
    uint64_t data_start; // first packed byte
    uint64_t data_end;   // one past the last packed byte; the next header starts here
    uint16_t rows;       // effective rows: 64 for an empty pattern or a row count of 0
    bool empty;          // no packed data
    bool rows_too_many;  // packed data with more rows than a pattern may have
};

inline PatternHeader read_pattern_header(const ByteReader& in, uint64_t p) {
    PatternHeader h{};
    const uint16_t rows = in.u16le(p + PATTERN_ROWS_OFFSET);
    const uint16_t packed = in.u16le(p + PATTERN_PACKED_SIZE_OFFSET);
    h.data_start = p + in.u32le(p);
    h.data_end = h.data_start + packed;
    h.empty = packed == 0;
    h.rows = (h.empty || rows == 0) ? EMPTY_PATTERN_ROWS : rows;
    h.rows_too_many = !h.empty && rows > MAX_ROWS;
    return h;
}

// Where the patterns end and the first instrument begins; the loader and the
// prescan both need it before touching instruments.
inline uint64_t first_pattern_offset(const ByteReader& in) {
    return HEADER_SIZE_OFFSET + in.u32le(HEADER_SIZE_OFFSET);
}

// The instrument header [start, end): its fields are read within it.
struct InstrumentHeader {
    ByteReader fields; // bytes at or past the header's end read as 0
    uint64_t end;      // sample headers start here
    uint16_t samples;  // declared sample count
};

inline InstrumentHeader read_instrument_header(const ByteReader& in, uint64_t p) {
    InstrumentHeader h{};
    h.end = p + in.u32le(p);
    h.fields = in.window(p, h.end);
    h.samples = h.fields.u16le(INSTRUMENT_SAMPLES_OFFSET);
    return h;
}

// What a sample header says, and how much of its data the context keeps.
// Lengths and loop points count bytes of plain data: a 16-bit sample has two
// per frame, a stereo one two channels' worth (left frames, then right ones);
// a 4-bit ADPCM sample counts its frames, as plain 8-bit data would take.
struct SampleGeometry {
    uint64_t data_bytes;    // bytes of data the file stores for this sample
    uint64_t right_channel; // stereo: where the right frames start, from the data's start
    uint32_t stored_frames; // frames kept: the whole sample, or up to the loop end
    uint32_t loop_frames;   // frames in the loop, 0 = none
    uint32_t frame_limit;   // most frames the engine can address for this sample
    bool sixteen_bit;
    bool stereo;
    bool adpcm;
    bool pingpong;
};

inline SampleGeometry read_sample_geometry(const ByteReader& in, uint64_t q) {
    const uint64_t length = in.u32le(q);
    const uint64_t loop_start_raw = in.u32le(q + SAMPLE_LOOP_START_OFFSET);
    const uint64_t loop_length_raw = in.u32le(q + SAMPLE_LOOP_LENGTH_OFFSET);
    const uint8_t type = in.u8(q + SAMPLE_TYPE_OFFSET);
    // A loop type with an empty loop is no loop at all: keeping only the part
    // up to the loop start would throw the rest of the sound away.
    const bool looped = (type & SAMPLE_LOOP_BITS) != 0 && loop_length_raw != 0;

    SampleGeometry g{};
    g.sixteen_bit = (type & SAMPLE_16BIT_BIT) != 0;
    g.stereo = (type & SAMPLE_STEREO_BIT) != 0;
    g.adpcm = in.u8(q + SAMPLE_PACKING_OFFSET) == SAMPLE_PACKING_ADPCM;
    g.pingpong = looped && (type & SAMPLE_PINGPONG_BIT) != 0;
    g.data_bytes = g.adpcm ? adpcm_bytes(length) : length;
    uint64_t stored = length, loop = 0;
    if (looped) {
        // 64-bit sums: a start and length near 2^32 must not wrap into range.
        const uint64_t loop_start = loop_start_raw < length ? loop_start_raw : length;
        loop = loop_start + loop_length_raw <= length ? loop_length_raw : 0;
        stored = loop_start + loop; // the stored part ends at the loop end
    }
    const int shift = (g.sixteen_bit ? 1 : 0) + (g.stereo ? 1 : 0);
    if (!g.adpcm) {
        stored >>= shift;
        loop >>= shift;
    }
    g.right_channel = (length >> shift) << (g.sixteen_bit ? 1 : 0);
    g.stored_frames = static_cast<uint32_t>(stored);
    g.loop_frames = static_cast<uint32_t>(loop);
    g.frame_limit = g.pingpong ? MAX_PINGPONG_FRAMES : MAX_SAMPLE_FRAMES;
    return g;
}

} // namespace replayer::xm
