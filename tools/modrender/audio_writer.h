// SPDX-License-Identifier: GPL-2.0-or-later
// Writes rendered frames as a 32-bit float WAV file or as raw little-endian
// floats (for a pipe).
#pragma once

#include <cstdint>
#include <cstdio>

struct AudioWriter {
    std::FILE* file = nullptr;
    bool wav = false;    // false: raw floats, no header
    uint64_t frames = 0; // written so far
    bool failed = false; // a write or seek failed
};

// The longest render a WAV file can hold: its sizes are 32-bit.
uint64_t wav_max_frames();

// Opens `path` ("-" = standard output, raw floats) and writes a WAV header
// with the sizes left to finish_audio. Returns false if it cannot be opened.
bool open_audio(AudioWriter& w, const char* path);

// Scales each value of `count` stereo frames by 2.5 and clips it to [-1, 1],
// in place, as the intro's output device does.
void apply_master_gain(float* frames, uint32_t count);

// Writes `count` stereo frames; with `gain`, through apply_master_gain.
void write_audio(AudioWriter& w, const float* frames, uint32_t count, bool gain);

// Fills in the WAV sizes and closes the file. Returns false if anything failed.
bool finish_audio(AudioWriter& w);
