// SPDX-License-Identifier: GPL-2.0-or-later
// The compact image as the reader sees it: its sections and the checks of
// what it holds.
#pragma once

#include "formats.h"

// Where the sections lie, and the checks that keep a hand-made or damaged
// image from steering playback out of bounds.
namespace replayer::compact {

// Section positions and record strides, in bytes from the start of the image.
struct Sections {
    uint64_t patterns, slots, instruments, samples, sample_data, orders, end;
    uint32_t pattern_stride, slot_stride, instrument_stride, sample_stride;
};

// Works out the sections from the header and the counts; returns the reason
// the layout is unusable, or null.
const char* locate_sections(const ByteReader& in, const ModuleScan& scan, Sections& out);

// Each returns the reason the loaded record is refused, or null.
const char* check_pattern(const PatternRecord& pattern, uint32_t total_rows);
const char* check_sample(const SampleRecord& sample, uint32_t total_frames);
const char* check_orders(const ReplayContext& ctx);

// A stored float frame as a 16-bit frame: truncated toward zero, clamped to
// the 16-bit range, NaN as silence.
int16_t frame_from_float(float value);

} // namespace replayer::compact
