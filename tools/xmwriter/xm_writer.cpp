// SPDX-License-Identifier: GPL-2.0-or-later
#include "xm_writer.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <iterator>

#include "byte_writer.h"

namespace xmwriter {

namespace {

constexpr char MAGIC[] = "Extended Module: ";
constexpr size_t MAGIC_LENGTH = 17;
constexpr size_t NAME_LENGTH = 20;
constexpr uint8_t EOF_MARK = 0x1A;
constexpr uint32_t MODULE_HEADER_SIZE = 276; // from offset 60: 20 bytes + 256 orders
constexpr size_t ORDER_TABLE_SIZE = 256;
constexpr uint32_t PATTERN_HEADER_SIZE = 9;
constexpr uint32_t INSTRUMENT_HEADER_SIZE = 263;
constexpr uint32_t EMPTY_INSTRUMENT_HEADER_SIZE = 29;
constexpr size_t INSTRUMENT_NAME_LENGTH = 22;
constexpr uint32_t SAMPLE_HEADER_SIZE = 40;
constexpr size_t SAMPLE_NAME_LENGTH = 22;
constexpr size_t ENVELOPE_POINTS = 12;
constexpr uint8_t SIXTEEN_BIT = 0x10;
constexpr uint8_t STEREO = 0x20;
constexpr uint8_t PACKING_ADPCM = 0xAD; // the reserved byte of the sample header
constexpr uint8_t PACKED = 0x80;
constexpr int8_t ADPCM_DELTAS[16] = {0,  1,  2,  4,  8,   16,  32,  64,
                                     -1, -2, -4, -8, -16, -32, -64, -128};

void write_header(ByteWriter& out, const Module& m) {
    out.text(MAGIC, MAGIC_LENGTH);
    out.text(m.name, NAME_LENGTH);
    out.u8(EOF_MARK);
    out.text(m.tracker, NAME_LENGTH);
    out.u16(m.version);
    out.u32(MODULE_HEADER_SIZE);
    const size_t orders = std::min(m.orders.size(), ORDER_TABLE_SIZE);
    out.u16(m.song_length_override.value_or(static_cast<uint16_t>(orders)));
    out.u16(m.restart);
    out.u16(m.channel_count_override.value_or(m.channels));
    out.u16(m.pattern_count_override.value_or(static_cast<uint16_t>(m.patterns.size())));
    out.u16(m.instrument_count_override.value_or(static_cast<uint16_t>(m.instruments.size())));
    out.u16(m.linear_frequencies ? 1 : 0);
    out.u16(m.speed);
    out.u16(m.bpm);
    for (size_t i = 0; i < ORDER_TABLE_SIZE; ++i) out.u8(i < orders ? m.orders[i] : 0);
}

void write_pattern(ByteWriter& out, const Pattern& p) {
    const std::vector<uint8_t> data =
        p.packed ? *p.packed : (p.cells.empty() ? std::vector<uint8_t>{} : pack_cells(p.cells));
    out.u32(PATTERN_HEADER_SIZE);
    out.u8(0); // packing type
    out.u16(p.rows);
    out.u16(static_cast<uint16_t>(data.size()));
    out.append(data);
}

void write_envelope_points(ByteWriter& out, const Envelope& e) {
    for (size_t i = 0; i < ENVELOPE_POINTS; ++i) {
        const auto point = i < e.points.size() ? e.points[i] : std::pair<uint16_t, uint16_t>{};
        out.u16(point.first);
        out.u16(point.second);
    }
}

// Header lengths and loop points count bytes of plain data, both channels of
// a stereo sample; ADPCM samples count frames.
uint32_t bytes_per_frame(const Sample& s) {
    if (s.adpcm) return 1;
    return (s.sixteen_bit ? 2 : 1) * (s.right_frames.empty() ? 1 : 2);
}

void delta_code(std::vector<uint8_t>& data, const std::vector<int16_t>& frames, bool sixteen_bit) {
    int previous = 0; // every channel starts from 0
    for (int16_t frame : frames) {
        const int delta = frame - previous;
        previous = frame;
        data.push_back(static_cast<uint8_t>(delta));
        if (sixteen_bit) data.push_back(static_cast<uint8_t>(static_cast<uint16_t>(delta) >> 8));
    }
}

std::vector<uint8_t> sample_data(const Sample& s) {
    if (s.data_override) return *s.data_override;
    if (s.adpcm) return encode_adpcm(s.frames);
    std::vector<uint8_t> data;
    delta_code(data, s.frames, s.sixteen_bit);
    delta_code(data, s.right_frames, s.sixteen_bit);
    return data;
}

void write_sample_header(ByteWriter& out, const Sample& s) {
    const uint32_t width = bytes_per_frame(s);
    out.u32(s.length_override.value_or(static_cast<uint32_t>(s.frames.size()) * width));
    out.u32(s.loop_start_override.value_or(s.loop_start * width));
    out.u32(s.loop_length_override.value_or(s.loop_length * width));
    out.u8(s.volume);
    out.u8(static_cast<uint8_t>(s.finetune));
    out.u8(static_cast<uint8_t>(s.loop | (s.sixteen_bit ? SIXTEEN_BIT : 0) |
                                (s.right_frames.empty() ? 0 : STEREO)));
    out.u8(s.panning);
    out.u8(static_cast<uint8_t>(s.relative_note));
    out.u8(s.adpcm ? PACKING_ADPCM : 0);
    out.text(s.name, SAMPLE_NAME_LENGTH);
}

void write_instrument(ByteWriter& out, const Instrument& ins) {
    const size_t start = out.bytes.size();
    const uint32_t size = ins.header_size_override.value_or(
        ins.samples.empty() ? EMPTY_INSTRUMENT_HEADER_SIZE : INSTRUMENT_HEADER_SIZE);
    out.u32(size);
    out.text(ins.name, INSTRUMENT_NAME_LENGTH);
    out.u8(0); // type
    out.u16(ins.sample_count_override.value_or(static_cast<uint16_t>(ins.samples.size())));
    out.u32(SAMPLE_HEADER_SIZE);
    for (uint8_t v : ins.sample_map) out.u8(v);
    write_envelope_points(out, ins.volume_envelope);
    write_envelope_points(out, ins.panning_envelope);
    const Envelope* envelopes[] = {&ins.volume_envelope, &ins.panning_envelope};
    for (const Envelope* e : envelopes)
        out.u8(e->count_override.value_or(static_cast<uint8_t>(e->points.size())));
    for (const Envelope* e : envelopes) {
        out.u8(e->sustain);
        out.u8(e->loop_start);
        out.u8(e->loop_end);
    }
    for (const Envelope* e : envelopes) out.u8(e->type);
    out.u8(ins.vibrato_type);
    out.u8(ins.vibrato_sweep);
    out.u8(ins.vibrato_depth);
    out.u8(ins.vibrato_rate);
    out.u16(ins.fadeout);
    out.fit(start, size); // reserved bytes, or a header cut short on purpose

    for (const Sample& s : ins.samples) write_sample_header(out, s);
    for (const Sample& s : ins.samples) out.append(sample_data(s));
}

} // namespace

std::vector<uint8_t> pack_cells(const std::vector<Cell>& cells) {
    std::vector<uint8_t> out;
    for (const Cell& c : cells) {
        const uint8_t fields[] = {c.note, c.instrument, c.volume, c.effect, c.parameter};
        uint8_t flags = PACKED;
        for (int i = 0; i < 5; ++i)
            if (fields[i]) flags = static_cast<uint8_t>(flags | (1 << i));
        if (flags == (PACKED | 0x1F)) { // all present: the plain form is shorter
            out.insert(out.end(), fields, fields + 5);
            continue;
        }
        out.push_back(flags);
        for (uint8_t f : fields)
            if (f) out.push_back(f);
    }
    return out;
}

std::vector<uint8_t> encode_adpcm(const std::vector<int16_t>& frames) {
    std::vector<uint8_t> data;
    for (int8_t delta : ADPCM_DELTAS) data.push_back(static_cast<uint8_t>(delta));
    int8_t value = 0;
    for (size_t i = 0; i < frames.size(); ++i) {
        uint8_t best = 0;
        int best_error = INT_MAX;
        for (uint8_t k = 0; k < std::size(ADPCM_DELTAS); ++k) {
            const auto next = static_cast<int8_t>(value + ADPCM_DELTAS[k]);
            const int error = std::abs(next - frames[i]);
            if (error < best_error) {
                best = k;
                best_error = error;
            }
        }
        value = static_cast<int8_t>(value + ADPCM_DELTAS[best]);
        if (i % 2 == 0)
            data.push_back(best);
        else
            data.back() = static_cast<uint8_t>(data.back() | best << 4);
    }
    return data;
}

std::vector<uint8_t> write_xm(const Module& m) {
    std::vector<uint8_t> bytes;
    ByteWriter out{bytes};
    write_header(out, m);
    for (const Pattern& p : m.patterns) write_pattern(out, p);
    for (const Instrument& ins : m.instruments) write_instrument(out, ins);
    return bytes;
}

} // namespace xmwriter
