// SPDX-License-Identifier: GPL-2.0-or-later
// Writes rendered frames as a WAV file (32-bit float or 16-bit integer), a
// FLAC file (16-bit) or raw little-endian values (for a pipe).
#pragma once

#include <cstdint>
#include <cstdio>

#include "flac_output.h"

struct AudioWriter {
    std::FILE* file = nullptr;
    uint32_t sample_rate = 48000; // frames per second, for the header
    bool s16 = false;             // 16-bit integers instead of floats
    bool wav = false;             // false: raw values, no header
    FlacOutput* flac = nullptr;   // writing FLAC (always 16-bit)
    const char* title = "";       // FLAC: the TITLE comment
    double duration_s = 0;        // FLAC: the DURATION comment and the length foreseen
    uint64_t frames = 0;          // written so far
    bool failed = false;          // a write or seek failed
};

// The longest render a WAV file can hold: its sizes are 32-bit.
uint64_t wav_max_frames(bool s16);

// True when `path` names a FLAC file (it ends in ".flac").
bool is_flac_path(const char* path);

// Opens `path` ("-" = standard output, raw values; a name ending in ".flac"
// FLAC, with the title and duration set in `w`) and writes a WAV header
// with the sizes left to finish_audio, for the rate and kind set in `w`.
// Returns false if it cannot be opened.
bool open_audio(AudioWriter& w, const char* path);

// Scales each value of `count` stereo frames by 2.5 and clips it to [-1, 1],
// in place, as the intro's output device does.
void apply_master_gain(float* frames, uint32_t count);

// Writes `count` stereo frames of floats; with `gain`, through
// apply_master_gain; as 16-bit integers (the replayer's conversion) when the
// writer holds them.
void write_audio(AudioWriter& w, const float* frames, uint32_t count, bool gain);

// Fills in the WAV sizes and closes the file. Returns false if anything failed.
bool finish_audio(AudioWriter& w);
