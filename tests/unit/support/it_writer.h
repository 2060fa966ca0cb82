// SPDX-License-Identifier: GPL-2.0-or-later
// A small IT writer for the tests: the song header, instruments in the
// format-2.00 layout, samples (plain, or compressed as IT 2.14 / 2.15 write
// them) and packed patterns, so that tests can build what real files do not
// isolate.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "module_builders.h"

namespace test_modules {

struct ItEnvelope {
    uint8_t flags = 0; // bit 0 on, bit 1 loop, bit 2 sustain loop
    uint8_t loop_start = 0, loop_end = 0, sustain_start = 0, sustain_end = 0;
    std::vector<std::pair<int8_t, uint16_t>> nodes; // (value, tick)
};

struct ItInstrument {
    uint8_t new_note_action = 0;
    uint16_t fadeout = 0; // 0..128
    uint8_t sample = 1;   // every note plays this sample (1-based)
    int transpose = 0;    // every key plays the note this far on (kept within C-0..B-9)
    ItEnvelope volume, panning, pitch;
    uint8_t global_volume = 128;
    uint8_t filter_cutoff = 0, filter_resonance = 0; // bit 7: used
};

struct ItSample {
    uint8_t flags = 1;   // bit 0 data, 1 16-bit, 2 stereo, 3 compressed, 4 loop, 5 sustain loop
    uint8_t convert = 1; // bit 0 signed, bit 2 (compressed) the 2.15 coding
    uint8_t volume = 64, global_volume = 64;
    uint32_t c5_speed = 8363;
    uint32_t loop_start = 0, loop_end = 0, sustain_start = 0, sustain_end = 0;
    uint8_t default_panning = 32; // bit 7 set: used
    std::vector<int16_t> frames;  // 8-bit values for 8-bit samples; stereo: left, then right
};

struct ItEntry {
    int row;
    uint8_t channel;
    int note = -1, instrument = -1, volume = -1; // -1: absent
    int command = -1, info = 0;                  // command 1 = A
};

struct ItBuilder {
    uint16_t flags = 1 | 8; // stereo, linear slides
    uint16_t format_version = 0x214;
    uint8_t global_volume = 128, mix_volume = 48, speed = 6, tempo = 125, separation = 128;
    std::array<uint8_t, 64> panning;
    std::array<uint8_t, 64> channel_volume;
    std::vector<uint8_t> orders = {0, 255};
    std::vector<ItInstrument> instruments; // used when flags has bit 2
    std::vector<ItSample> samples;
    std::vector<std::vector<ItEntry>> patterns = {{}};
    std::vector<uint16_t> rows; // per pattern, 64 where missing
    const char* message = nullptr;
    // Written as an embedded MIDI configuration when not empty: (macro index
    // from 0, the 9 global ones first, then SF0..SFF, then Z80..ZFF; text).
    std::vector<std::pair<int, std::string>> macros;

    ItBuilder(); // every channel centred at volume 64
    Bytes build() const;
};

// The bytes IT 2.14 (or 2.15 with `twice`) writes for one channel of a
// compressed sample, its blocks each led by their length.
Bytes compress_it_sample(const std::vector<int16_t>& frames, bool sixteen_bit, bool twice);

} // namespace test_modules
