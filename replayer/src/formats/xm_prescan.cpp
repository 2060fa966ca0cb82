// SPDX-License-Identifier: GPL-2.0-or-later
// XM prescan: checks an XM module against the loader's limits and counts what
// its replay context must hold, walking the file exactly as the loader does.
#include "xm_layout.h"

namespace replayer {

namespace {

constexpr uint32_t ROW_COUNTER_MASK = 0xFFFFFF; // total rows is a 24-bit count
constexpr uint64_t MAX_TOTAL_FRAMES = 0xFFFFFFFF;
constexpr uint32_t MAX_TOTAL_SAMPLES = 0xFFFF;

// An Ogg Vorbis compressed sample (the OXM variant of the format) stores a
// 4-byte length, then the Ogg stream, whose pages start with this mark.
constexpr uint64_t OGG_MARK_OFFSET = 4;
constexpr uint8_t OGG_MARK[] = {'O', 'g', 'g', 'S'};

bool ogg_compressed(const ByteReader& in, uint64_t data, const xm::SampleGeometry& g) {
    if (g.data_bytes < OGG_MARK_OFFSET + sizeof OGG_MARK) return false;
    for (uint64_t i = 0; i < sizeof OGG_MARK; ++i)
        if (in.u8(data + OGG_MARK_OFFSET + i) != OGG_MARK[i]) return false;
    return true;
}

// Sample data the loader cannot decode: the reason, or null. Compressed
// bytes played as plain data would be loud noise.
const char* refused_sample(const ByteReader& in, uint64_t data, const xm::SampleGeometry& g) {
    if (g.adpcm && (g.sixteen_bit || g.stereo)) return REFUSED_WIDE_ADPCM;
    if (ogg_compressed(in, data, g))
        return "Ogg Vorbis compressed samples (an OXM file) cannot be played";
    return nullptr;
}

// Walks the pattern headers; returns the offset where the instruments start,
// or 0 with `error` set.
uint64_t scan_patterns(const ByteReader& in, ModuleScan& scan, const char*& error) {
    uint64_t p = xm::first_pattern_offset(in);
    for (uint16_t j = 0; j < scan.pattern_count; ++j) {
        const xm::PatternHeader h = xm::read_pattern_header(in, p);
        if (h.rows_too_many) {
            error = "pattern has more than 256 rows";
            return 0;
        }
        scan.total_rows = (scan.total_rows + h.rows) & ROW_COUNTER_MASK;
        p = h.data_end;
    }
    return p;
}

// The loader adds one empty pattern when the song names patterns that do not
// exist; every such order entry is pointed at it.
void count_added_pattern(const ByteReader& in, ModuleScan& scan) {
    for (uint16_t i = 0; i < scan.song_length; ++i) {
        if (in.u8(xm::ORDERS_OFFSET + i) >= scan.pattern_count) {
            scan.pattern_count += 1;
            scan.total_rows = (scan.total_rows + xm::EMPTY_PATTERN_ROWS) & ROW_COUNTER_MASK;
            return;
        }
    }
}

const char* scan_instruments(const ByteReader& in, uint64_t p, uint16_t instruments,
                             ModuleScan& scan) {
    uint32_t samples = 0;
    uint64_t frames = 0;
    for (uint16_t k = 0; k < instruments; ++k) {
        const xm::InstrumentHeader header = xm::read_instrument_header(in, p);
        if (header.samples > xm::MAX_SAMPLES_PER_INSTRUMENT)
            return "instrument has more than 255 samples";
        samples += header.samples;
        if (samples > MAX_TOTAL_SAMPLES) return "more than 65535 samples";
        // Sample data follows the instrument's last sample header.
        uint64_t data = header.end + uint64_t{header.samples} * xm::SAMPLE_HEADER_BYTES;
        for (uint16_t s = 0; s < header.samples; ++s) {
            const xm::SampleGeometry g =
                xm::read_sample_geometry(in, header.end + s * xm::SAMPLE_HEADER_BYTES);
            if (g.stored_frames > g.frame_limit) return "sample too long";
            if (const char* refused = refused_sample(in, data, g)) return refused;
            frames += g.stored_frames;
            data += g.data_bytes;
        }
        if (frames > MAX_TOTAL_FRAMES) return "sample data too large";
        p = data;
    }
    scan.sample_count = static_cast<uint16_t>(samples);
    scan.total_sample_frames = static_cast<uint32_t>(frames);
    return nullptr;
}

// Earlier versions of the format order and size their records differently.
const char* refused_version(uint16_t version) {
    constexpr uint16_t VERSION_1_02 = 0x0102, VERSION_1_03 = 0x0103;
    if (version == xm::VERSION) return nullptr;
    if (version == VERSION_1_02) return "XM version 1.02: only version 1.04 is read";
    if (version == VERSION_1_03) return "XM version 1.03: only version 1.04 is read";
    return "XM version unknown: only version 1.04 is read";
}

} // namespace

const char* prescan_xm(const ByteReader& in, ModuleScan& scan) {
    if (const char* refused = refused_version(in.u16le(xm::VERSION_OFFSET))) return refused;
    const uint16_t channels = in.u16le(xm::CHANNELS_OFFSET);
    const uint16_t patterns = in.u16le(xm::PATTERNS_OFFSET);
    const uint16_t instruments = in.u16le(xm::INSTRUMENTS_OFFSET);
    if (channels > xm::MAX_CHANNELS) return "more than 255 channels";
    if (patterns > xm::MAX_PATTERNS) return "more than 256 patterns";
    if (instruments > xm::MAX_INSTRUMENTS) return "more than 255 instruments";
    scan.channel_count = static_cast<uint8_t>(channels);
    scan.pattern_count = patterns;
    scan.instrument_count = static_cast<uint8_t>(instruments);

    const uint16_t song_length = in.u16le(xm::SONG_LENGTH_OFFSET);
    scan.song_length = song_length > xm::MAX_SONG_LENGTH ? xm::MAX_SONG_LENGTH : song_length;

    const char* error = nullptr;
    const uint64_t instruments_start = scan_patterns(in, scan, error);
    if (error) return error;
    count_added_pattern(in, scan);
    return scan_instruments(in, instruments_start, instruments, scan);
}

} // namespace replayer
