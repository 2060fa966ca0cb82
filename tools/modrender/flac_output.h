// SPDX-License-Identifier: GPL-2.0-or-later
// FLAC output through libFLAC: 16-bit stereo frames, with the module's title
// and the rendering's duration as Vorbis comments.
#pragma once

#include <cstdint>

struct FlacOutput;

// Opens `path` for `rate` frames per second. The title is stored as
// ISO-8859-1 converted to UTF-8; the duration (seconds) as H:MM:SS.mmm. Null
// when the file cannot be opened.
FlacOutput* open_flac(const char* path, uint32_t rate, const char* title, double duration_s);

// Encodes `count` interleaved stereo frames. False when encoding failed.
bool write_flac(FlacOutput* out, const int16_t* frames, uint32_t count);

// Finishes the file (its stream header gets the true length) and frees
// everything. False when anything failed.
bool finish_flac(FlacOutput* out);
