// SPDX-License-Identifier: GPL-2.0-or-later
// Builds XM 1.04 files from plain descriptions: used by the intro's module
// generator and by the tests, which also need files that bend the rules
// (the `*_override` fields write a header value that differs from the data).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace xmwriter {

// One pattern cell as a tracker shows it; all zero is an empty cell.
struct Cell {
    uint8_t note = 0; // 1..96, 97 key off
    uint8_t instrument = 0;
    uint8_t volume = 0; // volume column
    uint8_t effect = 0; // 0..35: 0-9, A-F, then G=16 .. Z=35
    uint8_t parameter = 0;
};

struct Pattern {
    uint16_t rows = 64;
    std::vector<Cell> cells; // rows x channels, row by row; empty: no packed data
    // Written instead of packing `cells` when set.
    std::optional<std::vector<uint8_t>> packed;
};

struct Envelope {
    std::vector<std::pair<uint16_t, uint16_t>> points; // (frame, value)
    uint8_t sustain = 0;
    uint8_t loop_start = 0;
    uint8_t loop_end = 0;
    uint8_t type = 0; // bit 0 on, bit 1 sustain, bit 2 loop
    std::optional<uint8_t> count_override;
};

enum LoopType : uint8_t { LOOP_NONE = 0, LOOP_FORWARD = 1, LOOP_PINGPONG = 2 };

struct Sample {
    std::string name;
    bool sixteen_bit = false;
    std::vector<int16_t> frames; // 8-bit samples use -128..127
    // A stereo sample: its right channel, as long as `frames` (the left one).
    std::vector<int16_t> right_frames;
    // Stored as 4-bit ADPCM (8-bit mono only): approximated, see encode_adpcm.
    bool adpcm = false;
    uint32_t loop_start = 0;  // frames
    uint32_t loop_length = 0; // frames
    LoopType loop = LOOP_NONE;
    uint8_t volume = 64;
    int8_t finetune = 0;
    uint8_t panning = 128;
    int8_t relative_note = 0;
    // Header fields in bytes, written instead of the values derived above.
    std::optional<uint32_t> length_override, loop_start_override, loop_length_override;
    // Data bytes written instead of delta-coding `frames`.
    std::optional<std::vector<uint8_t>> data_override;
};

struct Instrument {
    std::string name;
    std::vector<Sample> samples;
    std::array<uint8_t, 96> sample_map{}; // sample index per note
    Envelope volume_envelope, panning_envelope;
    uint8_t vibrato_type = 0, vibrato_sweep = 0, vibrato_depth = 0, vibrato_rate = 0;
    uint16_t fadeout = 0;
    std::optional<uint32_t> header_size_override; // default 263, or 29 without samples
    std::optional<uint16_t> sample_count_override;
};

struct Module {
    std::string name;
    uint16_t version = 0x0104; // other versions only to test their refusal
    std::string tracker = "quillrun xmwriter";
    uint16_t channels = 4;
    bool linear_frequencies = true;
    uint16_t speed = 6; // ticks per row
    uint16_t bpm = 125;
    uint16_t restart = 0;
    std::vector<uint8_t> orders; // song length = its size (at most 256 written)
    std::vector<Pattern> patterns;
    std::vector<Instrument> instruments;
    std::optional<uint16_t> song_length_override, pattern_count_override, instrument_count_override,
        channel_count_override;
};

// The whole file. Deterministic: the same description gives the same bytes.
std::vector<uint8_t> write_xm(const Module& module);

// The packed form of one pattern's cells, as FT2 packs them.
std::vector<uint8_t> pack_cells(const std::vector<Cell>& cells);

// 8-bit frames as 4-bit ADPCM: a table of 16 deltas (0, powers of two up to
// 64 and their negatives, and -128), then one table index per frame, low
// nibble first, each picking the delta that brings the running value nearest
// the frame. Frames the deltas reach exactly decode exactly. Also used for
// S3M samples, which store ADPCM the same way.
std::vector<uint8_t> encode_adpcm(const std::vector<int16_t>& frames);

} // namespace xmwriter
