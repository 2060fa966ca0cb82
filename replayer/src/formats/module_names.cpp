// SPDX-License-Identifier: GPL-2.0-or-later
// The texts of a module file: its title and the names of its instruments and
// samples, found where each format keeps them. The replay context holds none
// of them, so they are read from the file whenever asked.
#include <cstring>

#include "it_layout.h"
#include "mod_layout.h"
#include "s3m_layout.h"
#include "xm_layout.h"

namespace replayer {

namespace {

namespace xm_names {
constexpr uint64_t TITLE = 17;
constexpr uint64_t TITLE_BYTES = 20;
constexpr uint64_t INSTRUMENT_NAME = 4; // in the instrument header
constexpr uint64_t SAMPLE_NAME = 18;    // in the sample header
constexpr uint64_t NAME_BYTES = 22;
} // namespace xm_names

namespace s3m_names {
constexpr uint64_t TITLE = 0;
constexpr uint64_t TITLE_BYTES = 28;
constexpr uint64_t INSTRUMENT_NAME = 48; // in the instrument header
constexpr uint64_t NAME_BYTES = 28;
} // namespace s3m_names

constexpr uint8_t FIRST_PRINTABLE = 0x20;
constexpr uint8_t CARRIAGE_RETURN = 0x0D; // IT's line break in the song message
constexpr uint8_t DELETE = 0x7F;

// Where a name lies in the file; {0, 0} for none.
struct Field {
    uint64_t offset;
    uint64_t bytes;
};

// Instrument k of an XM file and, for a sample name, sample s within it:
// stepping over the patterns and over each instrument's sample data.
Field xm_field(const ByteReader& in, NameKind kind, uint32_t index) {
    uint64_t p = xm::first_pattern_offset(in);
    const uint16_t patterns = in.u16le(xm::PATTERNS_OFFSET);
    for (uint16_t j = 0; j < patterns; ++j) p = xm::read_pattern_header(in, p).data_end;
    const uint16_t instruments = in.u16le(xm::INSTRUMENTS_OFFSET);
    uint32_t samples_before = 0;
    for (uint16_t k = 0; k < instruments; ++k) {
        const xm::InstrumentHeader header = xm::read_instrument_header(in, p);
        if (kind == NAME_INSTRUMENT && index == k)
            return {p + xm_names::INSTRUMENT_NAME, xm_names::NAME_BYTES};
        uint64_t data = header.end + uint64_t{header.samples} * xm::SAMPLE_HEADER_BYTES;
        for (uint16_t s = 0; s < header.samples; ++s) {
            const uint64_t q = header.end + s * xm::SAMPLE_HEADER_BYTES;
            if (kind == NAME_SAMPLE && index == samples_before + s)
                return {q + xm_names::SAMPLE_NAME, xm_names::NAME_BYTES};
            data += xm::read_sample_geometry(in, q).data_bytes;
        }
        samples_before += header.samples;
        p = data;
    }
    return {0, 0};
}

Field name_field(const ByteReader& in, const ModuleScan& scan, NameKind kind, uint32_t index) {
    switch (scan.format) {
    case FORMAT_XM:
        if (kind == NAME_TITLE) return {xm_names::TITLE, xm_names::TITLE_BYTES};
        return xm_field(in, kind, index);
    case FORMAT_MOD:
    case FORMAT_MOD_FLT8:
    case FORMAT_MOD_15:
        if (kind == NAME_TITLE) return {mod::TITLE, mod::TITLE_BYTES};
        return {mod::sample_header(static_cast<int>(index)), mod::SAMPLE_NAME_BYTES};
    case FORMAT_S3M: {
        if (kind == NAME_TITLE) return {s3m_names::TITLE, s3m_names::TITLE_BYTES};
        const uint64_t pointer = s3m::read_layout(in).instrument_pointers() + 2u * index;
        return {in.u16le(pointer) * s3m::PARAGRAPH + s3m_names::INSTRUMENT_NAME,
                s3m_names::NAME_BYTES};
    }
    case FORMAT_IT: {
        if (kind == NAME_TITLE) return {it::TITLE, it::TITLE_BYTES};
        if (kind == NAME_MESSAGE)
            return {in.u32le(it::MESSAGE_OFFSET), in.u16le(it::MESSAGE_LENGTH)};
        const it::Layout layout = it::read_layout(in);
        const bool instruments = in.u16le(it::FLAGS) & it::FLAG_INSTRUMENTS;
        if (kind == NAME_INSTRUMENT && instruments)
            return {it::instrument_header(in, layout, static_cast<uint16_t>(index)) +
                        it::INSTRUMENT_NAME,
                    it::INSTRUMENT_NAME_BYTES};
        return {it::sample_header(in, layout, static_cast<uint16_t>(index)) + it::SAMPLE_NAME,
                it::SAMPLE_NAME_BYTES};
    }
    default:
        return {0, 0}; // a compact image keeps no texts
    }
}

uint32_t count_of(const ByteReader& in, const ModuleScan& scan, NameKind kind) {
    switch (kind) {
    case NAME_MESSAGE:
        return scan.format == FORMAT_IT && (in.u16le(it::SPECIAL) & it::SPECIAL_MESSAGE) &&
                       in.u16le(it::MESSAGE_LENGTH)
                   ? 1
                   : 0;
    case NAME_TITLE:
        return 1;
    case NAME_INSTRUMENT:
        return scan.format == FORMAT_COMPACT ? 0 : scan.instrument_count;
    case NAME_SAMPLE:
        // An IT sustain loop's second record has no name of its own.
        if (scan.format == FORMAT_IT) return it::read_layout(in).sample_count;
        return scan.format == FORMAT_COMPACT ? 0 : scan.sample_count;
    }
    return 0;
}

} // namespace

uint32_t module_name_count(const uint8_t* data, size_t length, NameKind kind) {
    const ScanResult scanned = module_prescan(data, length);
    return scanned.error ? 0 : count_of(ByteReader{data, length}, scanned.scan, kind);
}

size_t module_name(const uint8_t* data, size_t length, NameKind kind, uint32_t index, char* out,
                   size_t capacity) {
    if (out && capacity) out[0] = '\0';
    const ScanResult scanned = module_prescan(data, length);
    const ByteReader in{data, length};
    if (scanned.error || index >= count_of(in, scanned.scan, kind)) return 0;
    const Field field = name_field(in, scanned.scan, kind, index);

    uint64_t size = 0;
    while (size < field.bytes && in.u8(field.offset + size) != 0) ++size;
    while (size > 0 && in.u8(field.offset + size - 1) == ' ') --size;
    if (out && capacity) {
        const uint64_t kept = size < capacity - 1 ? size : capacity - 1;
        for (uint64_t i = 0; i < kept; ++i) {
            const uint8_t c = in.u8(field.offset + i);
            if (kind == NAME_MESSAGE && c == CARRIAGE_RETURN)
                out[i] = '\n';
            else
                out[i] = static_cast<char>(c < FIRST_PRINTABLE || c == DELETE ? ' ' : c);
        }
        out[kept] = '\0';
    }
    return static_cast<size_t>(size);
}

} // namespace replayer
