// Small MOD and S3M images built in the tests, field by field, so each case
// states only what it is about.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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
// sample data bytes follow the patterns, filled with a ramp.
struct ModBuilder {
    std::string signature = "M.K.";
    int channels = 4;
    int patterns = 1; // 4- or n-channel patterns as stored in the file
    uint8_t song_length = 1;
    uint8_t restart = 0;
    uint8_t orders[128] = {};
    ModSample samples[31];

    void cell(int pattern, int row, int channel, ModCell c);
    Bytes build() const;

  private:
    std::vector<std::pair<size_t, ModCell>> set_cells_;
};

// ------------------------------------------------------------------ S3M

struct S3mSample {
    uint8_t type = 1;
    uint32_t length = 0, loop_start = 0, loop_end = 0;
    uint8_t volume = 64;
    uint8_t flags = 0; // bit 0 loop, bit 2 16-bit
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

    S3mBuilder(); // channels 0..3 as settings 0, 8, 1, 9; the rest unused
    Bytes build() const;
};

} // namespace test_modules
