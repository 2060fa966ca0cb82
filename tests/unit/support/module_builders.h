// SPDX-License-Identifier: GPL-2.0-or-later
// Small modules built in the tests, so each case states only what it is
// about: MOD and S3M images field by field, XM modules through the project's
// XM writer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "xm_writer.h"

namespace test_modules {

using Bytes = std::vector<uint8_t>;

// Little-endian stores into an image under construction.
inline void put16le(Bytes& b, size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}
inline void put32le(Bytes& b, size_t at, uint32_t v) {
    put16le(b, at, static_cast<uint16_t>(v));
    put16le(b, at + 2, static_cast<uint16_t>(v >> 16));
}

// ------------------------------------------------------------------ MOD

struct ModSample {
    uint16_t length_words = 0;
    uint8_t finetune = 0;
    uint8_t volume = 64;
    uint16_t loop_start_words = 0;
    uint16_t loop_length_words = 0;
};

struct ModCell {
    uint16_t period = 0;
    uint8_t instrument = 0;
    uint8_t effect = 0;
    uint8_t parameter = 0;
};

// A MOD whose 4-byte cells are all empty except those set with `cell`;
// sample data bytes follow the patterns, filled with a ramp. With
// `fifteen_samples` the module is cut down to the oldest layout: samples 16
// to 31 (which must be empty) and the signature are left out.
struct ModBuilder {
    std::string signature = "M.K.";
    bool fifteen_samples = false;
    int channels = 4;
    int patterns = 1; // 4- or n-channel patterns as stored in the file
    uint8_t song_length = 1;
    uint8_t restart = 0;
    uint8_t orders[128] = {};
    ModSample samples[31];
    std::vector<Bytes> sample_data; // per sample, instead of the ramp, where given

    void cell(int pattern, int row, int channel, ModCell c);
    Bytes build() const;

  private:
    std::vector<std::pair<size_t, ModCell>> set_cells_;
};

// The oldest layout: two patterns in the song, a plain sample and a looped
// one (30 and 20 words, the loop fields 10 and 10: 20 bytes from byte 10), a note on row 0 of
// channel 0 (C-3 with C20) and on row 63 of channel 3 (C-5), and F7D on row 0
// of the second pattern.
ModBuilder fifteen_sample_module();

// ------------------------------------------------------------------ S3M

struct S3mSample {
    uint8_t type = 1;
    uint32_t length = 0, loop_start = 0, loop_end = 0;
    uint8_t volume = 64;
    uint8_t packing = 0; // 4: 4-bit ADPCM
    uint8_t flags = 0;   // bit 0 loop, bit 1 stereo, bit 2 16-bit
    uint32_t c2_speed = 8363;
    Bytes data; // raw bytes as stored
};

// One packed-pattern entry.
struct S3mEntry {
    int row;
    uint8_t channel;
    int note = -1, instrument = 0; // note -1: no note/instrument bytes
    int volume = -1;               // -1: no volume byte
    int command = -1, info = 0;    // -1: no command bytes
};

struct S3mBuilder {
    uint8_t flags = 0;
    uint16_t tracker_version = 0x1320;
    uint16_t sample_format = 2; // 1 signed, 2 unsigned
    uint8_t global_volume = 64, speed = 6, bpm = 125, master_volume = 0xB0;
    bool panning_table = false;
    uint8_t default_panning[32] = {};
    uint8_t channel_settings[32];
    std::vector<uint8_t> orders = {0};
    std::vector<S3mSample> samples;
    std::vector<std::vector<S3mEntry>> patterns = {{}};
    // Added to every pattern's stored length: -2 stores a length that leaves
    // out its own two bytes, as some trackers did.
    int pattern_length_adjust = 0;

    S3mBuilder(); // channels 0..3 as settings 0, 8, 1, 9; the rest unused
    Bytes build() const;
};

// ------------------------------------------------------------------- XM

// One channel, one 4-row pattern, one instrument with one 16-frame 8-bit sample.
xmwriter::Module small_module();

// An 8-bit sample with the given frames and no loop.
xmwriter::Sample sample_8bit(std::vector<int16_t> frames);

// An instrument with the given samples, sample map all 0.
xmwriter::Instrument instrument_with(std::vector<xmwriter::Sample> samples);

// A module with `count` empty (no packed data) patterns.
xmwriter::Module module_with_empty_patterns(uint16_t count, uint16_t channels);

} // namespace test_modules
