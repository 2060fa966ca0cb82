// SPDX-License-Identifier: GPL-2.0-or-later
// The compact image is not trusted: every record that playback would use as
// an index or a bound is checked before the module is accepted.
#include <cmath>

#include "compact_layout.h"

namespace replayer::compact {

namespace {

constexpr uint64_t OFFSET_LIMIT = 0xFFFFFFFFull; // offsets beyond this would wrap

// Stride in bytes; a record of `count` entries must hold the bytes read.
const char* stride(const ByteReader& in, uint32_t offset, uint32_t count, uint32_t record_bytes,
                   uint32_t& out) {
    out = STRIDE_UNIT * in.u8(offset);
    if (count != 0 && out < record_bytes) return "record stride smaller than its record";
    return nullptr;
}

} // namespace

const char* locate_sections(const ByteReader& in, const ModuleScan& scan, Sections& s) {
    const uint16_t stored_song_length = in.u16le(HEADER_SONG_LENGTH);
    if (const char* e =
            stride(in, HEADER_PATTERN_STRIDE, scan.pattern_count, PATTERN_BYTES, s.pattern_stride))
        return e;
    const uint64_t slot_count = uint64_t{scan.total_rows} * scan.channel_count;
    if (const char* e =
            stride(in, HEADER_SLOT_STRIDE, slot_count ? 1 : 0, SLOT_BYTES, s.slot_stride))
        return e;
    if (const char* e = stride(in, HEADER_INSTRUMENT_STRIDE, scan.instrument_count,
                               INSTRUMENT_BYTES, s.instrument_stride))
        return e;
    if (const char* e =
            stride(in, HEADER_SAMPLE_STRIDE, scan.sample_count, SAMPLE_BYTES, s.sample_stride))
        return e;

    s.patterns = uint64_t{STRIDE_UNIT} * in.u8(HEADER_FIRST_SECTION);
    const uint16_t flags = in.u16le(HEADER_FLAGS);
    const uint64_t channel_tables = (flags & FLAG_IT) ? 2 : 1;
    const uint64_t macros = (flags & FLAG_IT) && (flags & FLAG_IT_MACROS) ? MACRO_TABLE_BYTES : 0;
    if (s.patterns < HEADER_PANNING + channel_tables * scan.channel_count + macros)
        return "sections overlap the header";
    s.slots = s.patterns + uint64_t{scan.pattern_count} * s.pattern_stride;
    s.instruments = s.slots + slot_count * s.slot_stride;
    s.samples = s.instruments + uint64_t{scan.instrument_count} * s.instrument_stride;
    s.sample_data = s.samples + uint64_t{scan.sample_count} * s.sample_stride;
    s.orders = s.sample_data + uint64_t{scan.total_sample_frames} * FRAME_BYTES;
    s.end = s.orders + uint64_t{stored_song_length} * ORDER_ENTRY_BYTES;
    if (s.end > OFFSET_LIMIT) return "section offsets wrap";
    return nullptr;
}

const char* check_pattern(const PatternRecord& pattern, uint32_t total_rows) {
    if (pattern.row_count == 0 || pattern.row_count > uint32_t{MAX_PATTERN_ROWS})
        return "pattern row count outside 1..256";
    if (uint32_t{pattern.first_row} + pattern.row_count > total_rows)
        return "pattern rows outside the slot array";
    return nullptr;
}

const char* check_sample(const SampleRecord& sample, uint32_t total_frames) {
    if (uint64_t{sample.data_index} + sample.length > total_frames)
        return "sample data outside the sample region";
    if (sample.loop_length > sample.length) return "sample loop longer than the sample";
    return nullptr;
}

const char* check_orders(const ReplayContext& ctx) {
    for (int i = 0; i < ctx.song_length; ++i)
        if (ctx.order_table[i] >= ctx.pattern_count) return "order entry names no pattern";
    return nullptr;
}

int16_t frame_from_float(float value) {
    if (std::isnan(value)) return 0;
    const float scaled = std::trunc(value * FRAME_SCALE);
    if (scaled >= 32767.0f) return 32767;
    if (scaled <= -32768.0f) return -32768;
    return static_cast<int16_t>(scaled);
}

} // namespace replayer::compact
