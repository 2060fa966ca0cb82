// SPDX-License-Identifier: GPL-2.0-or-later
// Format recognition and sizing: decides which loader reads the module and how
// large the one allocation holding it must be, before anything is decoded.
#include <cstring>

#include "compact_layout.h"
#include "it_layout.h"

namespace replayer {

namespace {

constexpr char XM_MAGIC[] = "Extended Module: ";
constexpr size_t XM_MAGIC_LENGTH = 17;
constexpr size_t XM_EOF_MARK_OFFSET = 37;
constexpr uint8_t XM_EOF_MARK = 0x1A;
constexpr size_t S3M_TYPE_OFFSET = 29;
constexpr uint8_t S3M_FILE_TYPE = 0x10;
constexpr size_t S3M_MAGIC_OFFSET = 44;

// Context regions: bytes per element.
constexpr uint64_t SLOT_BYTES = sizeof(PatternSlot);
constexpr uint64_t PATTERN_BYTES = sizeof(PatternRecord);
constexpr uint64_t HEADER_BYTES = sizeof(ReplayContext);
constexpr uint64_t INSTRUMENT_BYTES = sizeof(InstrumentRecord);
constexpr uint64_t SAMPLE_BYTES = sizeof(SampleRecord);
constexpr uint64_t FRAME_BYTES = sizeof(int16_t);
constexpr uint64_t CHANNEL_BYTES = sizeof(ChannelState);
constexpr uint64_t ROWS_PER_ORDER = MAX_PATTERN_ROWS; // row-visit counters per order position

// The regions follow one another in the block (header, channels, instruments,
// samples, patterns, sample data, slots, row visits): each record size keeps
// the next region aligned whatever the counts.
static_assert(HEADER_BYTES % alignof(ChannelState) == 0);
static_assert(CHANNEL_BYTES % alignof(InstrumentRecord) == 0);
static_assert(INSTRUMENT_BYTES % alignof(SampleRecord) == 0);
static_assert(SAMPLE_BYTES % alignof(PatternRecord) == 0);
static_assert(PATTERN_BYTES % alignof(int16_t) == 0);

bool bytes_equal(const ByteReader& in, size_t offset, const uint8_t* expected, size_t count) {
    for (size_t i = 0; i < count; ++i)
        if (in.u8(offset + i) != expected[i]) return false;
    return true;
}

ModuleFormat recognise(const ByteReader& in) {
    if (bytes_equal(in, compact::HEADER_MAGIC, compact::MAGIC, sizeof compact::MAGIC))
        return FORMAT_COMPACT;
    // Any version: the XM prescan refuses the ones it does not read, by name.
    if (bytes_equal(in, 0, reinterpret_cast<const uint8_t*>(XM_MAGIC), XM_MAGIC_LENGTH) &&
        in.u8(XM_EOF_MARK_OFFSET) == XM_EOF_MARK)
        return FORMAT_XM;
    if (in.u8(S3M_TYPE_OFFSET) == S3M_FILE_TYPE && in.u8(S3M_TYPE_OFFSET + 1) == 0 &&
        in.u8(S3M_TYPE_OFFSET + 2) == 0 &&
        bytes_equal(in, S3M_MAGIC_OFFSET, reinterpret_cast<const uint8_t*>("SCRM"), 4))
        return FORMAT_S3M;
    if (bytes_equal(in, 0, it::MAGIC, sizeof it::MAGIC)) return FORMAT_IT;
    return FORMAT_MOD; // its signature check decides
}

} // namespace

ScanResult module_prescan(const uint8_t* data, size_t length) {
    ByteReader in{data, length};
    ScanResult result{};
    result.scan.format = recognise(in);
    switch (result.scan.format) {
    case FORMAT_COMPACT:
        result.error = prescan_compact(in, result.scan);
        break;
    case FORMAT_XM:
        result.error = prescan_xm(in, result.scan);
        break;
    case FORMAT_S3M:
        result.error = prescan_s3m(in, result.scan);
        break;
    case FORMAT_IT:
        result.error = prescan_it(in, result.scan);
        break;
    default:
        result.error = prescan_mod(in, result.scan);
        break;
    }
    // Playback needs at least one order to play.
    if (!result.error && result.scan.song_length == 0) result.error = "song length is 0";
    return result;
}

SizeResult context_size(const ModuleScan& scan) {
    constexpr uint64_t LIMIT_32 = 0xFFFFFFFFull;
    uint64_t a = uint64_t{scan.total_rows} * scan.channel_count * SLOT_BYTES +
                 uint64_t{scan.pattern_count} * PATTERN_BYTES + HEADER_BYTES;
    if (a > LIMIT_32) return {0, "pattern data too large"};
    a += uint64_t{scan.instrument_count} * INSTRUMENT_BYTES;
    a += uint64_t{scan.sample_count} * SAMPLE_BYTES;
    a += uint64_t{scan.total_sample_frames} * FRAME_BYTES;
    if (a > LIMIT_32) return {0, "sample data too large"};
    a += (uint64_t{scan.channel_count} + scan.voice_count) * CHANNEL_BYTES;
    a += uint64_t{scan.song_length} * ROWS_PER_ORDER;
    if (a > CONTEXT_SIZE_LIMIT) return {0, "module needs more than 128 MiB"};
    return {static_cast<uint32_t>(a), nullptr};
}

} // namespace replayer
